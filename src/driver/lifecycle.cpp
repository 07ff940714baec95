// Start-up, the farewell fade and the pause between the phases.
#include "driver/lifecycle.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "driver/staging.h"
#include "platform/termination.h"

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

}  // namespace

bool startProgram() {
  // Before the first reset the clock reads the time of day: a fresh seed.
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
    return false;
  }
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++)
    GenTexture(w3d_Context, slotPictures[slot].file, slot, slotPictures[slot].mode);
  deleteData();

  // Keys and buttons pressed while loading are dropped.
  W3DSwitchBuffer();
  while (IntuiMessage *message = W3DGetMsg()) ReplyMsg(message);
  return true;
}

void farewellFrame(int k) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  W3DTexturePolygonPosition(4, W / 2, H / 2, 0.0f, W, W, 0, 0, 256, 256, 1.0f,
                            1.0f - (float)k / (float)FAREWELL_FRAMES);
}

int runFarewell() {
  int k = 0;
  // The fade counts frames, not time, and reads no input.
  for (; k < FAREWELL_FRAMES && !terminationRequested(); k++) {
    farewellFrame(k);
    W3DShowFrame();
    W3DClearWindow(1);
  }
  return k;
}

void phasePause() {
  // Nothing is drawn: the intro's last frame stays up. Sliced, so that a
  // termination request is not kept waiting.
  const struct timespec slice = {0, 50 * 1000 * 1000};
  for (int i = 0; i < PHASE_PAUSE_SECONDS * 20 && !terminationRequested(); i++) nanosleep(&slice, nullptr);
}
