// Star streaks, sparks and the water overlay.
//
// The streaks drift right along the bottom tenth of the intro at three
// speeds; the sparks spray from the pointer on the disk screen and fall with
// a gravity the user picks. Both advance one step per frame. The overlay is
// water01 over the left H x H of the screen and the left quarter of water02
// stretched over the rest: on a 4:3 screen the two cover it exactly.
#include "screens/effects.h"

#include <cstdlib>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textures.h"
#include "music/music.h"

Star stars[STAR_RECORDS];
int STARS = 20;
int flashtime = -100;
int flashin = 0;

namespace {

constexpr double RAND_SCALE = 2147483647.0;  // the generator's largest value

// A streak's distance below 0.9 H: 0 .. H/10.
float streakDepth() { return (float)((rand() / RAND_SCALE) * SCREEN_HEIGHT / 10); }

void placeStreak(Star *s, float x, float r, float fast, float middle) {
  float W = (float)SCREEN_WIDTH;
  s->x = x;
  s->y = (float)(SCREEN_HEIGHT + SCREEN_HEIGHT / -10.0 + r);
  s->dy = 0.0f;
  // The lowest streaks move fastest.
  if (r > SCREEN_HEIGHT / 15) s->dx = W / fast;
  else if (r > SCREEN_HEIGHT / 20) s->dx = W / middle;
  else s->dx = W / 100.0f;
}

void clearRecord(Star *s, float age) {
  s->x = s->y = s->dx = s->dy = 0.0f;
  s->age = age;
}

}  // namespace

void initIntroStreaks() {
  for (int i = 0; i < INTRO_STREAKS; i++) {
    float r = streakDepth();
    placeStreak(&stars[i], (float)(i / 50.0 * SCREEN_WIDTH), r, 50.0f, 75.0f);
  }
}

void moveIntroStreaks() {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  for (int i = 0; i < INTRO_STREAKS; i++) {
    Star *s = &stars[i];
    if (s->x > W) {
      // Reborn at the left edge, slower than at the start.
      placeStreak(s, 0.0f, streakDepth(), 75.0f, 87.5f);
    } else {
      s->x += s->dx;
      s->y += s->dy;
    }
    if (s->x > 0 && s->x < W && s->y > 0 && s->y < H)
      W3DTexturePolygonPosition(FONT_SLOT, s->x, s->y, 1.0f, W / 10.0f, H / 15.0f, 128, 0, 160, 32, 1.0f, 0.03f);
  }
}

void initSparks() {
  for (int i = 0; i < STAR_RECORDS; i++) clearRecord(&stars[i], (float)i / (float)STARS);
}

void resetSparks(int count) {
  if (count < 1) count = 1;
  if (count > STAR_RECORDS) count = STAR_RECORDS;
  STARS = count;
  float step = 1.0f / (float)count;
  for (int i = 0; i < count; i++) clearRecord(&stars[i], (float)i * step);
}

void moveSparks(float starGravity) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  for (int i = 0; i < STARS; i++) {
    Star *s = &stars[i];
    if (s->age > 1.0f) {
      s->x = w3d_Screen ? w3d_Screen->MouseX : 0;
      s->y = w3d_Screen ? w3d_Screen->MouseY : 0;
      s->dx = (float)(0.5 - rand() / RAND_SCALE);
      s->age = 0.01f;
      s->dy = (float)(0.5 - rand() / RAND_SCALE);
    } else {
      s->age += 0.01f;
      s->x += s->dx;
      s->y += s->dy;
      s->dy += starGravity;
    }
    if (s->x > 0 && s->x < W && s->y > 0 && s->y < H) {
      float u = 64.0f + 32.0f * (float)(i % 3);  // "*", "+" and "," in turn
      W3DTexturePolygonPosition(FONT_SLOT, s->x, s->y, 1.0f, s->age * W / 20.0f, s->age * H / 15.0f, u, 32, u + 32,
                                64, 1.0f, 1.01f - s->age);
    }
  }
}

void drawFlashOverlay(float a, float z) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  W3DTexturePolygonPosition(WATER_SLOT, H / 2, H / 2, z, H, H, 0, 0, 256, 256, 1.0f, a);
  W3DTexturePolygonPosition(WATER_STRIP_SLOT, W - H / 6, H / 2, z, H / 3, H, 0, 0, 64, 256, 1.0f, a);
}

void introFlash(int32_t t, bool introEnding) {
  if (t < flashtime + 100) {
    float a = (float)(t - flashtime) / 100.0f;
    drawFlashOverlay(a > 1.0f ? 1.0f : a, 1.0f);
    flashin = 1;
  } else if (introEnding && flashin == 0) {
    drawFlashOverlay(1.0f, 1.0f);
  }
}

bool diskFlash(int32_t t) {
  // When every song has failed, the overlay fades back as after a load, so
  // that the panel and the list show while the disk waits for a pick.
  bool waitingForPick = songsHalted();
  if (waitingForPick) W3DWriteText("FAILED", 29, 1, 1.0f);
  if (loadingSong.load() != 0 && !waitingForPick) {
    flashin = t;
    float a = t < flashtime + 100 ? (float)(t - flashtime) / 100.0f : 1.0f;
    drawFlashOverlay(a > 1.0f ? 1.0f : a, 0.0f);
    // A song that could not be played says so until the next one loads.
    W3DWriteText(lastSongFailed ? "FAILED" : "LOADING", 29, 1, 1.0f);
    return false;
  }
  if (flashin != 0) {
    if (t >= flashin + 100) flashin = 0;
    else drawFlashOverlay(1.0f - (float)(t - flashin) / 100.0f, 0.0f);
    return true;
  }
  return false;
}
