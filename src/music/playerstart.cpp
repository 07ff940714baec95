// Starting the player program for a song or for the intro theme.
//
// The command line is built as the shell line the musicdisk has always used
// ("run >NIL: musicplayer/sdlmusicplayer PATH" plus " 1" for the last song)
// within PLAYER_COMMAND_SIZE bytes; a path that would not fit is refused
// rather than cut. The program itself is started without a shell, from the
// same pieces, so no character of a path is ever interpreted.
#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "music/music.h"
#include "music/volume.h"
#include "platform/spawn.h"

namespace {

constexpr char RUN_PREFIX[] = "run >NIL: ";
constexpr char LAST_SONG_ARGUMENT[] = "1";

// Starts the player and watches it from now on.
int launchPlayer(const char *path, bool lastSong, bool isSong, int64_t now) {
  char command[PLAYER_COMMAND_SIZE];
  int n = snprintf(command, sizeof command, "%s%s %s%s%s", RUN_PREFIX, PLAYER_PROGRAM, path,
                   lastSong ? " " : "", lastSong ? LAST_SONG_ARGUMENT : "");
  int pid = -1;
  if (n < 0 || static_cast<size_t>(n) >= sizeof command) {
    fprintf(stderr, "musicdisk: the player's command would be too long for %s\n", path);
  } else {
    const char *argv[] = {PLAYER_PROGRAM, path, lastSong ? LAST_SONG_ARGUMENT : nullptr, nullptr};
    // Our process id goes with it: a player whose parent is someone else
    // has lost us before it could ask to die with us.
    // So does the volume, to start at.
    char parent[64], volume[64];
    snprintf(parent, sizeof parent, "%s=%ld", MUSICDISK_PID_VARIABLE, static_cast<long>(getpid()));
    snprintf(volume, sizeof volume, "%s=%d", MUSICDISK_VOLUME_VARIABLE, static_cast<int>(musicVolume.load()));
    const char *const variables[] = {parent, volume, nullptr};
    pid = spawnBackground(argv, variables);
  }
  watchNewPlayer(pid, path, isSong, now);
  return pid;
}

}  // namespace

int startPlayer(const char *path, bool lastSong, int64_t now) { return launchPlayer(path, lastSong, false, now); }

void startSongPlayer(int64_t now) {
  // The counter never goes below 0 in the disk loop; the row is in range
  // even if it did.
  int32_t row = songRow(currentSong.load());
  launchPlayer(songPath(row), row == numberOfSongs - 1, true, now);
}
