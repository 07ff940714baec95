// The song counter and every change of it. See songcounter.h.
#include "music/songcounter.h"

#include "music/music.h"

std::atomic<int32_t> currentSong{15};  // 15 selects row 0: the first song

namespace {

// Who counted the current player's end. One atomic for the handler and
// the watch, so that only one of them counts it.
enum EndNotice { END_OPEN, END_REPORTED, END_COUNTED_UNREPORTED };
std::atomic<int> endNotice{END_OPEN};

}  // namespace

void songEnded() {
  currentSong.fetch_add(1);
  changeSong.store(1);
}

void songEndExpected() { endNotice.store(END_OPEN); }

void songEndReported() {
  int seen = endNotice.load();
  while (!endNotice.compare_exchange_weak(seen, END_REPORTED)) {
  }
  if (seen != END_COUNTED_UNREPORTED) songEnded();
}

bool songEndUnreported() {
  int open = END_OPEN;
  if (!endNotice.compare_exchange_strong(open, END_COUNTED_UNREPORTED)) return false;
  songEnded();
  return true;
}

bool songEndWasReported() { return endNotice.load() == END_REPORTED; }

void songStepBackForPrevious() { currentSong.fetch_sub(2); }

void songPicked(int32_t step) { currentSong.fetch_add(step); }

void songKeepListRoom() {
  if (currentSong.load() - 2 < 0) currentSong.fetch_add(numberOfSongs);
}

void songCounterToFirstSong() { currentSong.store(numberOfSongs >= 2 ? numberOfSongs : 2); }

void songWrapToRow() {
  while (currentSong.load() < 0) currentSong.fetch_add(numberOfSongs);
}
