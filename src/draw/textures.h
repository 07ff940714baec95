// The twenty texture slots: texture objects in tex, the pictures behind
// them in texmap. Filled once at start-up, released by W3DCleanup.
#pragma once

#include <cstdint>

#include "platform/warp3d.h"

constexpr int TEXTURE_SLOTS = 20;
constexpr int FONT_SLOT = 1;

extern W3D_Texture *tex[TEXTURE_SLOTS];
extern uint32_t *texmap[TEXTURE_SLOTS];

int GenTexture(W3D_Context *context, const char *filename, int slot, int mode);
int GenTextureMatrix(W3D_Context *context, const char *filename, int firstSlot, int mode);
// Releases every slot in order (texture object, then picture); used by W3DCleanup.
void freeTextures(W3D_Context *context);
