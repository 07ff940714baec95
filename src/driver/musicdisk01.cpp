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
#include "draw/ppm.h"
#include "draw/textures.h"
#include "driver/lifecycle.h"
#include "driver/staging.h"
#include "music/music.h"
#include "platform/files.h"
#include "platform/task.h"
#include "platform/termination.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"

namespace {

struct SlotPicture {
  const char *file;
  int mode;
};

const SlotPicture slotPictures[TEXTURE_SLOTS] = {
    {"ram:water01.ppm", ALPHA_OPAQUE},   {"ram:font32.ppm", ALPHA_GREY_TO_WHITE},
    {"ram:orbel.ppm", ALPHA_KEY_BLACK},  {"ram:water02.ppm", ALPHA_OPAQUE},
    {"ram:cow_big.ppm", ALPHA_OPAQUE},   {"ram:control2_texture2.ppm", ALPHA_OPAQUE},
    {"ram:bkg00.ppm", ALPHA_KEY_BLACK},  {"ram:bkg01.ppm", ALPHA_KEY_BLACK},
    {"ram:bkg02.ppm", ALPHA_KEY_BLACK},  {"ram:bkg03.ppm", ALPHA_KEY_BLACK},
    {"ram:bkg04.ppm", ALPHA_KEY_BLACK},  {"ram:bkg05.ppm", ALPHA_KEY_BLACK},
    {"ram:bkg10.ppm", ALPHA_KEY_BLACK},  {"ram:bkg11.ppm", ALPHA_KEY_BLACK},
    {"ram:bkg12.ppm", ALPHA_KEY_BLACK},  {"ram:bkg13.ppm", ALPHA_KEY_BLACK},
    {"ram:bkg14.ppm", ALPHA_KEY_BLACK},  {"ram:bkg15.ppm", ALPHA_KEY_BLACK},
    {"ram:jub.ppm", ALPHA_KEY_BLACK},    {"ram:velmologo.ppm", ALPHA_KEY_BLACK},
};

const char PLAYER_PORT[] = "musicplayerport";
const char HANDLER_PORT[] = "demoport";

}  // namespace

int main() {
  installTerminationHandlers();
  atexit(removeStagingDirectory);
  if (!enterDataDirectory()) fprintf(stderr, "Unable to find the music folder: playing without sound\n");

  srand((unsigned)getTime());
  fwrite("Unpack data... ", 1, 15, stderr);
  unpackData();
  fwrite("done!\n", 1, 6, stderr);

  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    tex[slot] = nullptr;
    texmap[slot] = nullptr;
  }
  if (W3DSetup() == -1) {
    W3DCleanup();
    deleteData();
    return -1;
  }
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++)
    GenTexture(w3d_Context, slotPictures[slot].file, slot, slotPictures[slot].mode);
  deleteData();

  // Keys and buttons pressed while loading are dropped.
  W3DSwitchBuffer();
  while (IntuiMessage *message = W3DGetMsg()) ReplyMsg(message);

  initIntroStreaks();
  getTimeWithStatus(1);
  startPlayer(introtheme, false);
  triPos = 0;
  runIntro();

  flashtime = -100;
  syncmusic(PLAYER_PORT, PLAYER_QUIT);
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

    syncmusic(PLAYER_PORT, PLAYER_QUIT);
    runFarewell();
    syncmusic(HANDLER_PORT, HANDLER_QUIT);
  }
  W3DCleanup();
  return 0;
}
