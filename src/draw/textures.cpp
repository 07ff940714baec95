// The twenty texture slots and their release at the end of the run.
#include "draw/textures.h"

W3D_Texture *tex[TEXTURE_SLOTS];
uint32_t *texmap[TEXTURE_SLOTS];

void freeTextures(W3D_Context *context) {
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    if (tex[slot]) W3D_FreeTexObj(context, tex[slot]);
    if (texmap[slot]) delete[] texmap[slot];
  }
}
