// The two halves of a bitmap as the display touches them directly: erased,
// made ready to show, read back. A half in memory (drawn on the CPU) is
// filled and copied here; a render target (drawn by the GPU) goes through
// SDL.
#include <cstring>

#include "warp3d/context.h"

void W3D_EraseHalf(W3D_Bitmap *bitmap, int half, const SDL_Rect *rect) {
  if (bitmap->pixels[half]) {
    W3D_SoftImage image{bitmap->pixels[half], bitmap->width, bitmap->height};
    w3d_SoftFill(&image, rect, 0xFF000000u);
    return;
  }
  SDL_Renderer *renderer = bitmap->renderer;
  SDL_SetRenderTarget(renderer, bitmap->half[half]);
  // SDL_RenderClear would ignore the rectangle; a fill without blending
  // replaces the pixels.
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderFillRect(renderer, rect);
}

SDL_Texture *W3D_ShowableHalf(W3D_Bitmap *bitmap, int half) {
  if (bitmap->pixels[half]) SDL_UpdateTexture(bitmap->half[half], nullptr, bitmap->pixels[half], bitmap->width * 4);
  return bitmap->half[half];
}

bool W3D_ReadHalf(W3D_Bitmap *bitmap, int half, uint32_t *pixels) {
  if (bitmap->pixels[half]) {
    std::memcpy(pixels, bitmap->pixels[half], size_t(bitmap->width) * bitmap->height * 4);
    return true;
  }
  SDL_Renderer *renderer = bitmap->renderer;
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, bitmap->half[half]);
  bool read = SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, pixels, bitmap->width * 4) == 0;
  SDL_SetRenderTarget(renderer, previous);
  return read;
}
