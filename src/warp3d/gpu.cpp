// The GPU backend of the 3D library: each run goes to SDL as one
// SDL_RenderGeometry call into the half's render target, the textures are
// SDL textures with linear filtering.
#include "warp3d/context.h"

#include <cstdio>

namespace {

bool openGpu(W3D_Context *) { return true; }
void closeGpu(W3D_Context *) {}

// Makes the bitmap half and scissor of the context current in SDL. SDL
// resets the clip rectangle when the target changes, and others (the
// display) change the target between runs, so both are set every time.
void applyGpuRegion(W3D_Context *context) {
  SDL_Renderer *renderer = context->bitmap->renderer;
  SDL_SetRenderTarget(renderer, context->bitmap->half[context->half]);
  SDL_RenderSetClipRect(renderer, context->scissorSet ? &context->scissor : nullptr);
}

void drawGpuRun(W3D_Context *context) {
  applyGpuRegion(context);
  SDL_Texture *texture = context->runTexture->texture;
  SDL_SetTextureBlendMode(texture, (context->states & W3D_BLENDING) ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
  if (SDL_RenderGeometry(context->bitmap->renderer, texture, context->run, context->runVertices, nullptr, 0) != 0)
    fprintf(stderr, "musicdisk: a run of %d triangles was not drawn: %s\n", context->runVertices / 3, SDL_GetError());
  context->stats.geometryRuns++;
  context->runVertices = 0;
}

// SDL has drawn every run as it came.
void drawGpuKept(W3D_Context *) {}

bool makeGpuTexture(W3D_Context *context, W3D_Texture *texture) {
  // The texel words are A8R8G8B8 by value, which is SDL's ARGB8888 on any
  // byte order.
  texture->texture = SDL_CreateTexture(context->bitmap->renderer, SDL_PIXELFORMAT_ARGB8888,
                                       SDL_TEXTUREACCESS_STATIC, texture->width, texture->height);
  if (!texture->texture) return false;
  SDL_SetTextureBlendMode(texture->texture, SDL_BLENDMODE_BLEND);
  SDL_SetTextureScaleMode(texture->texture, SDL_ScaleModeLinear);
  SDL_UpdateTexture(texture->texture, nullptr, texture->image, texture->width * 4);
  return true;
}

bool uploadGpuTexture(W3D_Context *, W3D_Texture *texture) {
  return SDL_UpdateTexture(texture->texture, nullptr, texture->image, texture->width * 4) == 0;
}

void releaseGpuTexture(W3D_Texture *texture) {
  if (texture->texture) SDL_DestroyTexture(texture->texture);
}

}  // namespace

const W3D_Backend w3d_GpuBackend = {openGpu,      closeGpu,       applyGpuRegion,  drawGpuRun,
                                    drawGpuKept,  makeGpuTexture, uploadGpuTexture, releaseGpuTexture};
