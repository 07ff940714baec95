// The two effects both screens share: the particle records (the intro's
// star streaks, the disk screen's sparks) and the water overlay that flashes
// in when the intro ends and covers the screen while a song loads.
#pragma once

#include <cstdint>

struct Star {
  float x, y;    // screen position, pixels
  float dx, dy;  // movement per frame, pixels
  float age;     // grows by 0.01 per frame; a spark is reborn past 1
};

constexpr int STAR_RECORDS = 100;
constexpr int INTRO_STREAKS = 50;

extern Star stars[STAR_RECORDS];
extern int STARS;      // sparks in use on the disk screen, 10..100
extern int flashtime;  // time at which the current fade-in began; -100: none
extern int flashin;    // intro: overlay drawn this frame; disk: see diskFlash

// Intro streaks.
void initIntroStreaks();
void moveIntroStreaks();  // moves and queues the 50 streaks

// Disk sparks.
void initSparks();                // all 100 records, ages staggered by STARS
void resetSparks(int count);      // F1..F10: STARS = count, records 0..count-1 anew
void moveSparks(float starGravity);  // moves, respawns at the pointer, queues

// The water overlay at opacity a and depth z (two full-screen quads).
void drawFlashOverlay(float a, float z);
// The intro's end flash: sets flashin to 1 while the overlay fades in.
void introFlash(int32_t t, bool introEnding);
// The disk screen's loading overlay and its fade-out; returns true when the
// song list's offset is to go back to 0.
bool diskFlash(int32_t t);
