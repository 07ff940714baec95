#include "sdl_fixture.h"

#include <cstdlib>

bool openTestSurface(const char *driver, int width, int height, TestSurface *surface) {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  setenv("SDL_VIDEODRIVER", driver, 1);  // the dummy driver offers itself only when named so
  if (SDL_VideoInit(driver) != 0) return false;
  surface->window = SDL_CreateWindow("test", 0, 0, width, height, SDL_WINDOW_HIDDEN);
  if (!surface->window) return false;
  surface->renderer = SDL_CreateRenderer(surface->window, -1, SDL_RENDERER_TARGETTEXTURE);
  if (!surface->renderer) return false;
  SDL_RendererInfo info;
  SDL_GetRendererInfo(surface->renderer, &info);
  surface->rendererName = info.name;
  surface->bitmap.renderer = surface->renderer;
  surface->bitmap.width = width;
  surface->bitmap.height = height;
  for (SDL_Texture *&half : surface->bitmap.half) {
    half = SDL_CreateTexture(surface->renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, width, height);
    if (!half) return false;
    fillHalf(surface->renderer, half, 0, 0, 0);
  }
  return true;
}

void closeTestSurface(TestSurface *surface) {
  for (SDL_Texture *half : surface->bitmap.half)
    if (half) SDL_DestroyTexture(half);
  if (surface->renderer) SDL_DestroyRenderer(surface->renderer);
  if (surface->window) SDL_DestroyWindow(surface->window);
  SDL_VideoQuit();
  *surface = TestSurface{};
}

Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y) {
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, half);
  SDL_Rect rect{x, y, 1, 1};
  uint32_t pixel = 0;
  if (SDL_RenderReadPixels(renderer, &rect, SDL_PIXELFORMAT_ARGB8888, &pixel, 4) != 0) return Rgba{-1, -1, -1, -1};
  SDL_SetRenderTarget(renderer, previous);
  return Rgba{int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255), int(pixel >> 24)};
}

void fillHalf(SDL_Renderer *renderer, SDL_Texture *half, Uint8 r, Uint8 g, Uint8 b) {
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, half);
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, r, g, b, 255);
  SDL_RenderFillRect(renderer, nullptr);
  SDL_SetRenderTarget(renderer, previous);
}

void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha) {
  auto vertex = [&](float x, float y, float u, float v) {
    W3D_Vertex out{};
    out.x = x;
    out.y = y;
    out.z = 0.5;
    out.w = 2.0f;
    out.u = u;
    out.v = v;
    out.color = W3D_Color{brightness, brightness, brightness, alpha};
    return out;
  };
  W3D_Triangle triangle{};
  triangle.tex = texture;
  triangle.v1 = vertex(x0, y0, u0, v0);
  triangle.v2 = vertex(x1, y0, u1, v0);
  triangle.v3 = vertex(x1, y1, u1, v1);
  W3D_DrawTriangle(context, &triangle);
  triangle.v2 = vertex(x0, y1, u0, v1);
  W3D_DrawTriangle(context, &triangle);
}
