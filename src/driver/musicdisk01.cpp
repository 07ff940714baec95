// The musicdisk's entry point: the whole life of the program in order.
//
// Stage the pictures, open the display, make the textures, remove the staged
// files, run the intro with its theme, pause on the overlay, start the music
// handler, run the disk screen until Esc, fade out and close everything.
// Every way out removes the staging directory; a player still running dies
// with the program.
#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/commandline.h"
#include "driver/diskchoice.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "music/volume.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "desktop/artwork.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "desktop/instance.h"
#include "desktop/mpris.h"
#include "platform/task.h"
#include "platform/termination.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"

int main(int argc, char **argv) {
  int optionsExit = readCommandLine(argc, argv);
  if (optionsExit >= 0) return optionsExit;
  int diskExit = chooseDisk();
  if (diskExit >= 0) return diskExit;

  installTerminationHandlers();
  if (!claimSingleInstance()) return -1;
  // Before the display opens: it must not start a session bus of its own.
  mprisStart({playerSongLength, playerSongPosition, playerCanSeek, playerSeek});
  atexit(mprisStop);
  // The last run's volume, for every player of this one.
  loadVolume();
  mprisShowVolume(musicVolume.load());
  atexit(removeStagingDirectory);
  enterDataDirectory();  // without it the program runs silent; it says so

  if (!startProgram()) return -1;
  writeLogoPicture(texmap[VELMO_SLOT], PPM_TILE_SIDE);  // the desktop's picture of the disk

  initIntroStreaks();
  getTimeWithStatus(1);
  startPlayer(introtheme, false, monotonicMs());
  triPos = 0;
  runIntro();

  flashtime = -100;
  quitPlayer(monotonicMs());
  initSparks();
  getTimeWithStatus(1);
  if (!terminationRequested()) phasePause();

  if (!terminationRequested()) {
    subtask = createTask(subtaskname, musichandler);
    if (!subtask) {
      puts("Can't create subtask");
      W3DCleanup();
      return -1;
    }
    getTimeWithStatus(1);
    int32_t startTime = getTime();
    musicdisk.store(1);
    runDisk(startTime);
    mprisShow(MPRIS_NOTHING);  // the farewell plays nothing and takes no commands

    quitPlayer(monotonicMs());
    runFarewell();
    syncmusic(HANDLER_PORT, HANDLER_QUIT);
  }
  W3DCleanup();
  // A window closed by another program ends the run like a close request;
  // an X server that went away is a failure.
  return W3DDisplayLost() ? -1 : 0;
}
