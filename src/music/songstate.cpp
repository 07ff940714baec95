// The song-state flags shared by the main task and the music handler, and
// the handler's task globals.
#include "music/music.h"

std::atomic<int16_t> loadingSong{1};   // the disk screen starts loading
std::atomic<int16_t> changeSong{1};    // ...and starts the first player by itself

int32_t songRow(int32_t counter) {
  int32_t row = counter % numberOfSongs;
  return row < 0 ? row + numberOfSongs : row;
}

MusicTask *subtask = nullptr;
char subtaskname[] = "musichandler_subtask";
std::atomic<int32_t> musicdisk{0};
