// Choosing the disk before anything runs: with no folder or file on the
// command line the built-in disk plays exactly as it always has.
#include "driver/diskchoice.h"

#include "draw/text.h"
#include "driver/commandline.h"
#include "music/owndisk.h"

int chooseDisk() {
  if (diskArguments.empty()) return -1;
  OwnDisk disk;
  if (!readOwnDisk(diskArguments.data(), int(diskArguments.size()), &disk)) return 2;
  useOwnDisk(&disk);
  const OwnDisk *playing = playingOwnDisk();
  scrollMessage = playing->shownScroller.empty() ? nullptr : playing->shownScroller.c_str();
  return -1;
}
