// The intro sequence: a timed scene list keyed to the intro clock.
//
// Until 114.5 s a nearly transparent, turning cow builds up into a smeared
// swirl over frames that are only erased at the bottom; after that the
// screen is erased every frame and a chain of balls circles behind the list
// of entrants. Star streaks drift along the bottom throughout. The scenes
// depend on t alone, so a slow frame rate skips parts of them but never
// changes their order.
#include "screens/intro.h"

#include <cmath>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textures.h"
#include "music/music.h"
#include "music/owndisk.h"
#include "screens/effects.h"

const char introAddress[] = "www.orbel.example.org";
const char introCoder[] = "Code: Kestrel";
const char introGraphics[] = "Gfx: Pixelwitch";
const char introComposer[] = "Msx: Zeb";

namespace {

constexpr int32_t INTRO_TIMEOUT = 34770;  // hundredths: the intro ends by itself
constexpr int32_t SWIRL_END = 11450;      // the swirl gives way to balls and entrants
constexpr int32_t INPUT_GRACE = 50;       // input in the first half second is ignored
constexpr int32_t ENTRANT_ROWS = 15;      // rows 5 to 19 name the entrants
constexpr int32_t ENTRANT_PAGE_TIME = 500;  // hundredths a page of entrants shows

// A fade-in from the start of a window: (t - start) / length, then 1.
float ramp(int32_t t, int32_t start, int32_t length) {
  return t < start + length ? (float)(t - start) / (float)length : 1.0f;
}

bool within(int32_t t, int32_t first, int32_t last) { return t >= first && t <= last; }

void drawLogo(int slot, float alpha) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  W3DTexturePolygonPosition(slot, W / 2, H / 2, 0.0f, (float)(SCREEN_WIDTH / 3), W / 3, 0, 0, 256, 256, 1.0f, alpha);
}

void drawBackground(int32_t t) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  if (t <= SWIRL_END) {
    W3DTextureRotAlphaPolygonPosition(COW_SLOT, W / 2, H / 2, 0.0f, W, W, 0, 0, 256, 256, (float)(t * 3.141592 / 150),
                                      0.0078f);
    return;
  }
  float alpha = t <= 12449 ? (float)(t - SWIRL_END) / 2000.0f : 0.5f;
  for (int k = 0; k < 30; k++) {
    double tk = t + 60.0 * k;
    float size = (float)(W * (1 + std::sin(tk / 228)) / 20);
    W3DTexturePolygonPosition(FONT_SLOT, (float)(W / 2 + W * std::sin(tk / 300) / 5),
                              (float)(H / 2 + W * std::cos(tk / 250) / 5), 0.0f, size, size, 128, 32, 160, 64, 1.0f,
                              alpha);
  }
}

// The entrants, ENTRANT_ROWS at a time: a disk of more songs shows them in
// pages that take turns, ENTRANT_PAGE_TIME each, from the first.
void drawEntrants(int32_t t, float alpha) {
  int32_t pages = (numberOfSongs + ENTRANT_ROWS - 1) / ENTRANT_ROWS;
  int32_t first = (t - SWIRL_END - 1) / ENTRANT_PAGE_TIME % pages * ENTRANT_ROWS;
  for (int k = 1; k <= ENTRANT_ROWS && first + k <= numberOfSongs; k++)
    W3DWriteText(songEntrant(first + k - 1), 4 + k, 1, alpha);
}

// An own disk's intro keeps the program's own scenes (the logos, "presents",
// the prompt) and puts the disk's name and credits where the built-in
// disk's competition and credits go; what the disk does not give is left
// out.
void drawOwnDiskScenes(int32_t t, const OwnDisk *disk) {
  if (within(t, 5201, 6899) && !disk->shownName.empty()) W3DWriteText(disk->shownName.c_str(), 10, 1, ramp(t, 5200, 500));
  if (within(t, 9051, 9599)) drawLogo(VELMO_SLOT, ramp(t, 9050, 100));
  if (within(t, 9651, 9899)) {
    float alpha = (float)(t - 9650) / 500.0f;
    int row = 8;
    for (const std::string &line : disk->shownCredits)
      if (row < ENTRANT_ROWS + 8) W3DWriteText(line.c_str(), row++, 1, alpha);
  }
  if (t > SWIRL_END) {
    float alpha = ramp(t, SWIRL_END, 200);
    W3DWriteText("Songs by:", 4, 1, alpha);
    drawEntrants(t, alpha);
    W3DWriteText("hit any key/button to start musicdisk", 23, 1, alpha);
  }
}

void drawScenes(int32_t t) {
  if (within(t, 1651, 2699)) drawLogo(JUB_SLOT, ramp(t, 1650, 500));
  if (within(t, 3451, 4499)) W3DWriteText("presents", 10, 1, ramp(t, 3450, 500));
  if (const OwnDisk *disk = playingOwnDisk()) {
    drawOwnDiskScenes(t, disk);
    return;
  }
  if (within(t, 5201, 6299)) W3DWriteText("a msx compo held by", 4, 1, ramp(t, 5200, 500));
  if (within(t, 5451, 6599)) drawLogo(ORBEL_SLOT, 1.0f);
  if (within(t, 6051, 6899)) W3DWriteText(introAddress, 24, 1, ramp(t, 6050, 500));
  if (within(t, 9051, 9599)) {
    float alpha = ramp(t, 9050, 100);
    drawLogo(VELMO_SLOT, alpha);
    W3DWriteText("feat. orbel", 18, 1, alpha);
  }
  if (within(t, 9651, 9899)) {
    // The window closes before the ramp ends: the credits stay faint.
    float alpha = (float)(t - 9650) / 500.0f;
    W3DWriteText("Torvane credits:", 8, 1, alpha);
    W3DWriteText(introCoder, 10, 1, alpha);
    W3DWriteText(introGraphics, 11, 1, alpha);
    W3DWriteText(introComposer, 12, 1, alpha);
  }
  if (t > SWIRL_END) {
    float alpha = ramp(t, SWIRL_END, 200);
    W3DWriteText("Orbel entries by:", 4, 1, alpha);
    drawEntrants(t, alpha);
    W3DWriteText("hit any key/button to start musicdisk", 23, 1, alpha);
  }
}

}  // namespace

IntroPass introPass(IntroState *state, int32_t t, const IntuiMessage *message) {
  flashin = 0;
  if (t > INTRO_TIMEOUT && !state->introEnding) {
    flashtime = t - 2;
    state->introEnding = true;
  }
  if (message && (message->Class == IDCMP_RAWKEY || message->Class == IDCMP_MOUSEBUTTONS) && t > INPUT_GRACE &&
      !state->introEnding) {
    flashtime = t - 2;
    state->introEnding = true;
  }
  drawBackground(t);
  moveIntroStreaks();
  drawScenes(t);
  introFlash(t, state->introEnding);

  IntroPass pass;
  pass.fullClear = (t > SWIRL_END || flashin == 1) ? 1 : 0;
  pass.finished = state->introEnding && flashin == 0;
  return pass;
}

void runIntro() {
  IntroState state = {};
  for (;;) {
    int32_t t = getTime();
    IntuiMessage *message = W3DGetMsg();
    IntroPass pass = introPass(&state, t, message);
    if (message) ReplyMsg(message);
    W3DShowFrame();
    W3DClearWindow(pass.fullClear);
    if (pass.finished || W3DCloseRequested()) return;
  }
}
