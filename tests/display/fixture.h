// Shared by the display and drawing tests and the display benchmark:
// textures from texels, quads drawn as the batch draws them, and pixels of
// the halves filled and read back.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "warp3d/warp3d.h"

struct Rgba {
  int r, g, b, a;
};

// A texture of width x height texels (A8R8G8B8) that stay the caller's.
W3D_Texture *makeTexture(W3D_Context *context, const uint32_t *texels, int width, int height);
// One pixel of a half, read back from the render target.
Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y);
// Fills a whole half with one opaque colour.
void fillHalf(SDL_Renderer *renderer, SDL_Texture *half, Uint8 r, Uint8 g, Uint8 b);
// One corner of a quad as the batch makes it: grey level and opacity 0 to 1.
W3D_Vertex quadVertex(float x, float y, float u, float v, float brightness, float alpha);
// A textured rectangle x0..x1, y0..y1 with the given texel range, grey
// level and alpha, drawn as the batch does it: triangles A, B, C and A, D, C.
void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha);
