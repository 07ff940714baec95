// The front of the 3D library: the operations the system calls, checked,
// with the state they set, the texture objects, and the gathering of
// triangles into runs that share a texture.
//
// A context draws into one half of a W3D_Bitmap. Triangles are converted to
// SDL vertices as they come and queued in one fixed run buffer; the run ends
// when the next triangle has another texture, the buffer is full, the state,
// draw region or scissor changes, or the display flushes before it shows or
// erases a half. The context's backend then draws it: the GPU's at once, the
// CPU's with the rest of the frame (context.h). Nothing here allocates after
// the context and its textures are made.
#include "warp3d/warp3d.h"

#include <cmath>
#include <new>

#include "warp3d/context.h"

void (*W3D_TraceHook)(const char *operation) = nullptr;

namespace {

void trace(const char *operation) {
  if (W3D_TraceHook) W3D_TraceHook(operation);
}

// A colour component 0..1 as a byte, rounded: an opacity of 0.0078 is 2/255,
// so that a nearly transparent picture still builds up over many frames.
Uint8 colourByte(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 1.0f) return 255;
  return static_cast<Uint8>(value * 255.0f + 0.5f);
}

// Ends the current run, if it holds a triangle.
void flushRun(W3D_Context *context) {
  if (context->runVertices == context->runStart) return;
  context->backend->endRun(context);
}

// The backend that draws into the bitmap: the CPU's when its halves are in
// memory.
const W3D_Backend *backendFor(const W3D_Bitmap *bitmap) {
  return bitmap->pixels[0] && bitmap->pixels[1] ? &w3d_CpuBackend : &w3d_GpuBackend;
}

// Texture coordinates 0..1 of one axis of a triangle. SDL only takes 0..1;
// the library repeats the texture, so a triangle that lies wholly in
// another period is moved into the first one. A triangle that spans a
// texture edge cannot be repeated by SDL and is clamped.
void wrapAxis(float &a, float &b, float &c) {
  if (a >= 0.0f && a <= 1.0f && b >= 0.0f && b <= 1.0f && c >= 0.0f && c <= 1.0f) return;  // the usual case
  // The small margin keeps a coordinate a rounding error below a period
  // edge (0.99999 for 1) in the period above it.
  float shift = std::floor(std::fmin(a, std::fmin(b, c)) + 1e-4f);
  a -= shift;
  b -= shift;
  c -= shift;
  a = std::fmin(std::fmax(a, 0.0f), 1.0f);
  b = std::fmin(std::fmax(b, 0.0f), 1.0f);
  c = std::fmin(std::fmax(c, 0.0f), 1.0f);
}

void toSdlVertex(const W3D_Vertex &in, float u, float v, SDL_Vertex *out) {
  out->position.x = in.x;
  out->position.y = in.y;
  out->color.r = colourByte(in.color.r);
  out->color.g = colourByte(in.color.g);
  out->color.b = colourByte(in.color.b);
  out->color.a = colourByte(in.color.a);
  out->tex_coord.x = u;
  out->tex_coord.y = v;
}

bool finiteVertex(const W3D_Vertex &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.u) && std::isfinite(v.v); }

}  // namespace

uintptr_t w3d_TagValue(std::initializer_list<W3D_Tag> tags, uint32_t tag, uintptr_t fallback) {
  for (const W3D_Tag &item : tags)
    if (item.tag == tag) return item.data;
  return fallback;
}

uint32_t W3D_CheckDriver() { return SDL_GetNumRenderDrivers() > 0 ? 0u : W3D_DRIVER_UNAVAILABLE; }

// ---------------------------------------------------------------- context

W3D_Context *W3D_CreateContextTags(int32_t *error, std::initializer_list<W3D_Tag> tags) {
  auto fail = [error](int32_t code) -> W3D_Context * {
    if (error) *error = code;
    return nullptr;
  };
  W3D_Bitmap *bitmap = reinterpret_cast<W3D_Bitmap *>(w3d_TagValue(tags, W3D_CC_BITMAP, 0));
  if (!bitmap) return fail(W3D_ILLEGALBITMAP);
  if (!bitmap->renderer || !bitmap->half[0] || !bitmap->half[1] || bitmap->width <= 0 || bitmap->height <= 0)
    return fail(W3D_NOTVISIBLE);
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(bitmap->renderer, &info) != 0 || !(info.flags & SDL_RENDERER_TARGETTEXTURE))
    return fail(W3D_NODRIVER);
  int32_t yOffset = static_cast<int32_t>(w3d_TagValue(tags, W3D_CC_YOFFSET, 0));
  if (yOffset != 0 && yOffset != bitmap->height) return fail(W3D_ILLEGALINPUT);

  W3D_Context *context = new (std::nothrow) W3D_Context{};
  if (!context) return fail(W3D_NOMEMORY);
  context->run = new (std::nothrow) SDL_Vertex[RUN_CAPACITY * 3];
  if (!context->run) {
    delete context;
    return fail(W3D_NOMEMORY);
  }
  context->bitmap = bitmap;
  context->backend = backendFor(bitmap);
  if (!context->backend->open(context)) {
    delete[] context->run;
    delete context;
    return fail(W3D_NOMEMORY);
  }
  context->half = yOffset == 0 ? 0 : 1;
  if (error) *error = W3D_SUCCESS;
  return context;
}

uint32_t W3D_SetState(W3D_Context *context, uint32_t state, uint32_t action) {
  if (!context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  if (action != W3D_ENABLE && action != W3D_DISABLE) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  flushRun(context);  // queued triangles were made under the old state
  if (action == W3D_ENABLE)
    context->states |= state;
  else
    context->states &= ~state;
  return W3D_SUCCESS;
}

// The one blend the system uses, and the only one offered:
// source x alpha + destination x (1 - alpha).
uint32_t W3D_SetBlendMode(W3D_Context *context, uint32_t srcFunc, uint32_t dstFunc) {
  if (!context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  if (srcFunc != W3D_SRC_ALPHA || dstFunc != W3D_ONE_MINUS_SRC_ALPHA) return static_cast<uint32_t>(W3D_UNSUPPORTEDBLEND);
  return W3D_SUCCESS;
}

// Fog is kept but never applied: the system never enables it.
uint32_t W3D_SetFogParams(W3D_Context *context, const W3D_Fog *fog, uint32_t fogMode) {
  if (!context || !fog) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  context->fog = *fog;
  context->fogMode = fogMode;
  return W3D_SUCCESS;
}

uint32_t W3D_SetCurrentColor(W3D_Context *context, const W3D_Color *color) {
  if (!context || !color) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  context->currentColor = *color;
  return W3D_SUCCESS;
}

namespace {
void storeScissor(W3D_Context *context, const W3D_Scissor *scissor) {
  context->scissorSet = scissor != nullptr;
  if (scissor)
    context->scissor = SDL_Rect{static_cast<int>(scissor->left), static_cast<int>(scissor->top),
                                static_cast<int>(scissor->width), static_cast<int>(scissor->height)};
}
}  // namespace

uint32_t W3D_SetDrawRegion(W3D_Context *context, W3D_Bitmap *bitmap, int32_t yOffset, const W3D_Scissor *scissor) {
  if (!context || !bitmap || !bitmap->renderer || bitmap->renderer != context->bitmap->renderer ||
      backendFor(bitmap) != context->backend)
    return static_cast<uint32_t>(W3D_ILLEGALBITMAP);
  if (yOffset != 0 && yOffset != bitmap->height) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  flushRun(context);  // what is queued belongs to the old region
  if (bitmap != context->bitmap) context->backend->drawKept(context);  // and to the old bitmap
  context->bitmap = bitmap;
  context->half = yOffset == 0 ? 0 : 1;
  storeScissor(context, scissor);
  context->backend->applyRegion(context);
  return W3D_SUCCESS;
}

void W3D_SetScissor(W3D_Context *context, const W3D_Scissor *scissor) {
  if (!context) return;
  flushRun(context);
  storeScissor(context, scissor);
  context->backend->applyRegion(context);
}

// The lock is the library's promise that drawing may start; on SDL it is a
// flag. Queued triangles stay queued across an unlock: giving the lock up
// for a moment must not break a run.
uint32_t W3D_LockHardware(W3D_Context *context) {
  trace("lock");
  if (!context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  if (context->locked) return static_cast<uint32_t>(W3D_ALREADYLOCKED);
  context->locked = true;
  context->stats.locks++;
  return W3D_SUCCESS;
}

void W3D_UnLockHardware(W3D_Context *context) {
  trace("unlock");
  if (!context) return;
  context->locked = false;
  context->stats.unlocks++;
}

void W3D_Flush(W3D_Context *context) {
  if (!context) return;
  flushRun(context);
  context->backend->drawKept(context);
}

void W3D_DestroyContext(W3D_Context *context) {
  if (!context) return;
  // Textures the caller left are the context's to release.
  while (context->textures) W3D_FreeTexObj(context, context->textures);
  context->backend->close(context);
  delete[] context->run;
  delete context;
}

const W3D_Stats *W3D_GetStats(const W3D_Context *context) { return context ? &context->stats : nullptr; }

// ---------------------------------------------------------------- textures

W3D_Texture *W3D_AllocTexObjTags(W3D_Context *context, int32_t *error, std::initializer_list<W3D_Tag> tags) {
  auto fail = [error](int32_t code) -> W3D_Texture * {
    if (error) *error = code;
    return nullptr;
  };
  if (!context) return fail(W3D_ILLEGALINPUT);
  const uint32_t *image = reinterpret_cast<const uint32_t *>(w3d_TagValue(tags, W3D_ATO_IMAGE, 0));
  uint32_t format = static_cast<uint32_t>(w3d_TagValue(tags, W3D_ATO_FORMAT, 0));
  int64_t width = static_cast<int64_t>(w3d_TagValue(tags, W3D_ATO_WIDTH, 0));
  int64_t height = static_cast<int64_t>(w3d_TagValue(tags, W3D_ATO_HEIGHT, 0));
  if (!image) return fail(W3D_ILLEGALINPUT);
  if (format != W3D_A8R8G8B8) return fail(W3D_UNSUPPORTEDTEXFMT);
  SDL_RendererInfo info;
  SDL_GetRendererInfo(context->bitmap->renderer, &info);
  if (width <= 0 || height <= 0 || width > 4096 || height > 4096 ||
      (info.max_texture_width && width > info.max_texture_width) ||
      (info.max_texture_height && height > info.max_texture_height))
    return fail(W3D_UNSUPPORTEDTEXSIZE);

  W3D_Texture *texture = new (std::nothrow) W3D_Texture{};
  if (!texture) return fail(W3D_NOMEMORY);
  texture->context = context;
  texture->image = image;
  texture->width = static_cast<int32_t>(width);
  texture->height = static_cast<int32_t>(height);
  texture->uScale = 1.0f / static_cast<float>(width);
  texture->vScale = 1.0f / static_cast<float>(height);
  if (!context->backend->makeTexture(context, texture)) {
    delete texture;
    return fail(W3D_NOMEMORY);
  }
  texture->next = context->textures;
  context->textures = texture;
  if (error) *error = W3D_SUCCESS;
  return texture;
}

// Copies the caller's texels (again) into the texture.
uint32_t W3D_UploadTexture(W3D_Context *context, W3D_Texture *texture) {
  if (!context || !texture || texture->context != context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  if (context->runTexture == texture) flushRun(context);  // queued triangles show the old texels
  if (!context->backend->uploadTexture(context, texture)) return static_cast<uint32_t>(W3D_NOMEMORY);
  return W3D_SUCCESS;
}

void W3D_FreeTexObj(W3D_Context *context, W3D_Texture *texture) {
  if (!context || !texture || texture->context != context) return;
  if (context->runTexture == texture) {
    flushRun(context);
    context->runTexture = nullptr;
  }
  context->backend->drawKept(context);  // kept runs may use its texels
  for (W3D_Texture **link = &context->textures; *link; link = &(*link)->next) {
    if (*link == texture) {
      *link = texture->next;
      break;
    }
  }
  context->backend->releaseTexture(texture);
  delete texture;
}

// ---------------------------------------------------------------- triangles

uint32_t W3D_DrawTriangle(W3D_Context *context, const W3D_Triangle *triangle) {
  trace("draw");
  if (!context || !triangle) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  context->stats.triangleCalls++;
  if (!context->locked) return static_cast<uint32_t>(W3D_NOTLOCKED);
  W3D_Texture *texture = triangle->tex;
  if (!texture) return static_cast<uint32_t>(W3D_NOTEXTURE);
  if (texture->context != context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  // SDL refuses a whole run for one bad coordinate: such a triangle is
  // dropped alone.
  if (!finiteVertex(triangle->v1) || !finiteVertex(triangle->v2) || !finiteVertex(triangle->v3))
    return static_cast<uint32_t>(W3D_ILLEGALINPUT);

  if (texture != context->runTexture || context->runVertices + 3 > RUN_CAPACITY * 3) {
    flushRun(context);
    context->runTexture = texture;
  }
  float u1 = triangle->v1.u * texture->uScale, u2 = triangle->v2.u * texture->uScale,
        u3 = triangle->v3.u * texture->uScale;
  float v1 = triangle->v1.v * texture->vScale, v2 = triangle->v2.v * texture->vScale,
        v3 = triangle->v3.v * texture->vScale;
  wrapAxis(u1, u2, u3);
  wrapAxis(v1, v2, v3);
  SDL_Vertex *out = context->run + context->runVertices;
  toSdlVertex(triangle->v1, u1, v1, out);
  toSdlVertex(triangle->v2, u2, v2, out + 1);
  toSdlVertex(triangle->v3, u3, v3, out + 2);
  context->runVertices += 3;
  context->stats.trianglesDrawn++;
  return W3D_SUCCESS;
}
