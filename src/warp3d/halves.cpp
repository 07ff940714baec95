// The two halves of a bitmap as the display touches them directly: erased,
// made ready to show or scaled into the window's image, read back. A half
// in memory (drawn on the CPU) is filled and copied here; a render target
// (drawn by the GPU) goes through SDL.
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

namespace {

// Scaling more output pixels than this is shared with the helper thread: at
// 1920 x 1080 and above one thread alone would take a good part of a frame.
constexpr double SHARED_SCALE_PIXELS = 1.0e6;

struct ScaleJob {
  W3D_SoftImage picture;
  uint32_t *pixels;
  int64_t pitch;
  SDL_Rect rect;
  bool failed[2];
};

void scalePart(void *data, int part, int parts) {
  ScaleJob *job = static_cast<ScaleJob *>(data);
  job->failed[part] = !w3d_SoftScale(&job->picture, job->pixels, job->pitch, &job->rect, part, parts);
}

}  // namespace

bool W3D_ScaleHalf(W3D_Bitmap *bitmap, int half, uint32_t *pixels, int32_t pitch, const SDL_Rect *rect) {
  if (!bitmap->pixels[half] || pitch % 4 != 0) return false;
  ScaleJob job{{bitmap->pixels[half], bitmap->width, bitmap->height}, pixels, pitch / 4, *rect, {false, false}};
  w3d_SoftParallel(scalePart, &job, double(rect->w) * rect->h > SHARED_SCALE_PIXELS);
  return !job.failed[0] && !job.failed[1];
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
