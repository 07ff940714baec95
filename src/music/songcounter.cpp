// The song counter and every change of it. See songcounter.h.
#include "music/songcounter.h"

#include "music/music.h"

std::atomic<int32_t> currentSong{15};  // 15 selects row 0: the first song

void songEnded() {
  currentSong.fetch_add(1);
  changeSong.store(1);
}

void songStepBackForPrevious() { currentSong.fetch_sub(2); }

void songPicked(int32_t step) { currentSong.fetch_add(step); }

void songKeepListRoom() {
  if (currentSong.load() - 2 < 0) currentSong.fetch_add(numberOfSongs);
}

void songCounterToFirstSong() { currentSong.store(numberOfSongs >= 2 ? numberOfSongs : 2); }

void songWrapToRow() {
  while (currentSong.load() < 0) currentSong.fetch_add(numberOfSongs);
}
