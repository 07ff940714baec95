// The twenty texture slots: texture objects in tex, the pictures behind
// them in texmap. Filled once at start-up, released by W3DCleanup
// (releaseTextureSlots, registered by the program at start-up).
#pragma once

#include <cstdint>

#include "warp3d/warp3d.h"

constexpr int TEXTURE_SLOTS = 20;

// What each slot holds (the pictures and their modes: lifecycle.cpp).
constexpr int WATER_SLOT = 0;         // water01: the overlay's square part
constexpr int FONT_SLOT = 1;          // the glyph sheet, also sparks, streaks and balls
constexpr int ORBEL_SLOT = 2;         // the competition's logo
constexpr int WATER_STRIP_SLOT = 3;   // water02: the overlay's strip on the right
constexpr int COW_SLOT = 4;           // the swirl and the farewell fade
constexpr int PANEL_SLOT = 5;         // the control panel
constexpr int UPPER_BAND_SLOT = 6;    // bkg00..bkg05: the upper band, six tiles
constexpr int LOWER_BAND_SLOT = 12;   // bkg10..bkg15: the lower band, six tiles
constexpr int JUB_SLOT = 18;          // the organisers' logo
constexpr int VELMO_SLOT = 19;        // the production's logo

extern W3D_Texture *tex[TEXTURE_SLOTS];
extern uint32_t *texmap[TEXTURE_SLOTS];

int GenTexture(W3D_Context *context, const char *filename, int slot, int mode);
int GenTextureMatrix(W3D_Context *context, const char *filename, int firstSlot, int mode);
// Releases every slot in order (texture object, then picture).
void freeTextures(W3D_Context *context);
// Frees every slot of w3d_Context and empties the slots: the release the
// program registers with W3DAtCleanup.
void releaseTextureSlots();
