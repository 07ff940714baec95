// Start-up, the farewell fade and the pause between the phases.
#include "driver/lifecycle.h"

#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "display/display.h"
#include "music/music.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "driver/staging.h"
#include "platform/files.h"
#include "platform/termination.h"

namespace {

struct SlotPicture {
  int slot;
  const char *file;
  int mode;
};

// Every slot's picture, in slot order.
const SlotPicture slotPictures[] = {
    {WATER_SLOT, "ram:water01.ppm", ALPHA_OPAQUE},
    {FONT_SLOT, "ram:font32.ppm", ALPHA_GREY_TO_WHITE},
    {ORBEL_SLOT, "ram:orbel.ppm", ALPHA_KEY_BLACK},
    {WATER_STRIP_SLOT, "ram:water02.ppm", ALPHA_OPAQUE},
    {COW_SLOT, "ram:cow_big.ppm", ALPHA_OPAQUE},
    {PANEL_SLOT, "ram:control2_texture2.ppm", ALPHA_OPAQUE},
    {UPPER_BAND_SLOT, "ram:bkg00.ppm", ALPHA_KEY_BLACK},
    {UPPER_BAND_SLOT + 1, "ram:bkg01.ppm", ALPHA_KEY_BLACK},
    {UPPER_BAND_SLOT + 2, "ram:bkg02.ppm", ALPHA_KEY_BLACK},
    {UPPER_BAND_SLOT + 3, "ram:bkg03.ppm", ALPHA_KEY_BLACK},
    {UPPER_BAND_SLOT + 4, "ram:bkg04.ppm", ALPHA_KEY_BLACK},
    {UPPER_BAND_SLOT + 5, "ram:bkg05.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT, "ram:bkg10.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT + 1, "ram:bkg11.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT + 2, "ram:bkg12.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT + 3, "ram:bkg13.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT + 4, "ram:bkg14.ppm", ALPHA_KEY_BLACK},
    {LOWER_BAND_SLOT + 5, "ram:bkg15.ppm", ALPHA_KEY_BLACK},
    {JUB_SLOT, "ram:jub.ppm", ALPHA_KEY_BLACK},
    {VELMO_SLOT, "ram:velmologo.ppm", ALPHA_KEY_BLACK},
};
static_assert(sizeof slotPictures / sizeof slotPictures[0] == TEXTURE_SLOTS, "a picture for every slot");

}  // namespace

bool startProgram() {
  // Before the first reset the clock reads the time of day: a fresh seed.
  srand((unsigned)getTime());
  // The staging folder first: what making it has to say (a leftover of a
  // killed run removed, a folder that cannot be made) stands on its own lines.
  stagingDirectory();
  fwrite("Unpack data... ", 1, 15, stderr);
  // Without its pictures the program would show a black screen and claim
  // success: a staging that failed ends it here, before the display opens.
  if (unpackData() != 0) {
    deleteData();
    return false;
  }
  fwrite("done!\n", 1, 6, stderr);

  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    tex[slot] = nullptr;
    texmap[slot] = nullptr;
  }
  // Torn down before the context, the music handler first.
  W3DAtCleanup(releaseTextureSlots);
  W3DAtCleanup(endMusicHandler);
  if (W3DSetup() == -1) {
    W3DCleanup();
    deleteData();
    return false;
  }
  for (const SlotPicture &picture : slotPictures) GenTexture(w3d_Context, picture.file, picture.slot, picture.mode);
  deleteData();

  // Keys and buttons pressed while loading are dropped.
  W3DSwitchBuffer();
  while (IntuiMessage *message = W3DGetMsg()) ReplyMsg(message);
  return true;
}

void farewellFrame(int k) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  W3DTexturePolygonPosition(COW_SLOT, W / 2, H / 2, 0.0f, W, W, 0, 0, 256, 256, 1.0f,
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
