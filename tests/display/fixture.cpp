#include "fixture.h"

W3D_Texture *makeTexture(W3D_Context *context, const uint32_t *texels, int width, int height) {
  int32_t error = -1;
  return W3D_AllocTexObjTags(context, &error,
                             {{W3D_ATO_IMAGE, uintptr_t(texels)},
                              {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                              {W3D_ATO_WIDTH, uintptr_t(width)},
                              {W3D_ATO_HEIGHT, uintptr_t(height)}});
}

Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y) {
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, half);
  SDL_Rect rect{x, y, 1, 1};
  uint32_t pixel = 0;
  int result = SDL_RenderReadPixels(renderer, &rect, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  SDL_SetRenderTarget(renderer, previous);
  if (result != 0) return Rgba{-1, -1, -1, -1};
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

W3D_Vertex quadVertex(float x, float y, float u, float v, float brightness, float alpha) {
  W3D_Vertex out{};
  out.x = x;
  out.y = y;
  out.z = 0.5;
  out.w = 2.0f;
  out.u = u;
  out.v = v;
  out.color = W3D_Color{brightness, brightness, brightness, alpha};
  return out;
}

void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha) {
  auto vertex = [&](float x, float y, float u, float v) { return quadVertex(x, y, u, v, brightness, alpha); };
  W3D_Triangle triangle{};
  triangle.tex = texture;
  triangle.v1 = vertex(x0, y0, u0, v0);
  triangle.v2 = vertex(x1, y0, u1, v0);
  triangle.v3 = vertex(x1, y1, u1, v1);
  W3D_DrawTriangle(context, &triangle);
  triangle.v2 = vertex(x0, y1, u0, v1);
  W3D_DrawTriangle(context, &triangle);
}
