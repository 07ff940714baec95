// The twenty texture slots: loading a picture, making and uploading its
// texture object, and releasing every slot at the end of the run.
// Pictures come from ppm.cpp (new[]); texture objects from the library.
#include "draw/textures.h"

#include <cstdio>

#include "display/display.h"
#include "draw/ppm.h"

W3D_Texture *tex[TEXTURE_SLOTS];
uint32_t *texmap[TEXTURE_SLOTS];

namespace {

void reportTextureError(int32_t error) {
  printf("Error generating texture: ");
  printf("%s\n", W3DErrorText(error, W3D_TEXTURE_STEP));
}

// Empties a slot that already holds something, so that filling it again
// does not lose the old picture and texture object.
void releaseSlot(W3D_Context *context, int slot) {
  if (tex[slot]) W3D_FreeTexObj(context, tex[slot]);
  delete[] texmap[slot];
  tex[slot] = nullptr;
  texmap[slot] = nullptr;
}

// Makes the slot's texture object from its picture in texmap and uploads
// it; 1 on success, 0 after the reason line. The result is kept in tex
// whatever it is.
int makeTextureObject(W3D_Context *context, int slot, int32_t width, int32_t height) {
  int32_t error = W3D_SUCCESS;
  tex[slot] = W3D_AllocTexObjTags(context, &error,
                                  {{W3D_ATO_IMAGE, uintptr_t(texmap[slot])},
                                   {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                   {W3D_ATO_WIDTH, uintptr_t(width)},
                                   {W3D_ATO_HEIGHT, uintptr_t(height)},
                                   {W3D_ATO_MIPMAP, 0xFFFF}});
  if (!tex[slot] || error != W3D_SUCCESS) {
    reportTextureError(error);
    return 0;
  }
  W3D_UploadTexture(context, tex[slot]);
  return 1;
}

}  // namespace

int GenTexture(W3D_Context *context, const char *filename, int slot, int mode) {
  if (slot < 0 || slot >= TEXTURE_SLOTS) {
    reportTextureError(W3D_ILLEGALINPUT);
    return 0;
  }
  int32_t width = 0, height = 0;
  uint32_t *picture = LoadTextureFromPPM(nullptr, filename, &width, &height, mode);
  if (!picture) return 0;  // the loader has said why
  releaseSlot(context, slot);
  texmap[slot] = picture;
  return makeTextureObject(context, slot, width, height);
}

int GenTextureMatrix(W3D_Context *context, const char *filename, int firstSlot, int mode) {
  int32_t across = 0, down = 0;
  uint32_t **tiles = LoadTextureMatrixFromPPM(filename, &across, &down, mode);
  if (!tiles) return 0;
  int count = across * down;
  if (firstSlot < 0 || firstSlot > TEXTURE_SLOTS - count) {
    // More tiles than slots from firstSlot on: nothing is filed.
    for (int i = 0; i < count; i++) delete[] tiles[i];
    delete[] tiles;
    reportTextureError(W3D_ILLEGALINPUT);
    return 0;
  }
  int made = 1;
  for (int i = 0; i < count; i++) {
    int slot = firstSlot + i;
    if (!made) {  // a texture failed: the tiles not yet filed go back
      delete[] tiles[i];
      continue;
    }
    releaseSlot(context, slot);
    texmap[slot] = tiles[i];
    made = makeTextureObject(context, slot, PPM_TILE_SIDE, PPM_TILE_SIDE);
  }
  delete[] tiles;  // the tiles themselves now belong to texmap
  return made ? count : 0;
}

void freeTextures(W3D_Context *context) {
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    if (tex[slot]) W3D_FreeTexObj(context, tex[slot]);
    if (texmap[slot]) delete[] texmap[slot];
  }
}

void releaseTextureSlots() {
  freeTextures(w3d_Context);
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    tex[slot] = nullptr;
    texmap[slot] = nullptr;
  }
}
