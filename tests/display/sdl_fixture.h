// A renderer of a chosen SDL video driver with a double-height bitmap, for
// tests that draw through the library and read the halves back.
#pragma once

#include <SDL.h>

#include <cstdint>
#include <string>

#include "platform/warp3d.h"

struct Rgba {
  int r, g, b, a;
};

struct TestSurface {
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  W3D_Bitmap bitmap{};
  std::string rendererName;
};

// Starts video with the driver ("offscreen", "dummy") and makes a window,
// a renderer and two black halves of width x height. False: SDL's error.
bool openTestSurface(const char *driver, int width, int height, TestSurface *surface);
void closeTestSurface(TestSurface *surface);
// One pixel of a half, read back from the render target.
Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y);
// Fills a whole half with one opaque colour.
void fillHalf(SDL_Renderer *renderer, SDL_Texture *half, Uint8 r, Uint8 g, Uint8 b);

// A textured quad with the given corners, texel range, grey level and alpha,
// drawn as the batch does: triangles (A, B, C) and (A, D, C).
void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha);
