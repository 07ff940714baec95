// The 3D library's operations on SDL2's renderer.
//
// A context draws into one half of a W3D_Bitmap. Triangles are converted to
// SDL vertices as they come and queued in one fixed run buffer; the run goes
// to SDL as a single SDL_RenderGeometry call when the next triangle has
// another texture, the buffer is full, the draw region or scissor changes,
// or the display flushes before it shows or erases a half. Nothing here
// allocates after the context and its textures are made.
//
// On a bitmap whose halves are in memory (the renderer is a CPU rasteriser
// anyway), the run is filled by our own rasteriser instead, from a copy of
// the texels kept with each texture: the same pictures for far less work.
#include "platform/warp3d.h"

#include <SDL.h>
#include <glob.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "platform/softraster.h"

namespace {

// Triangles one run can hold before it has to go to SDL.
constexpr int RUN_CAPACITY = 4096;
// Runs of a frame drawn on the CPU that wait to be drawn together (their
// triangles share the run buffer).
constexpr int CPU_RUNS = 512;

// High bits of every mode ID this library gives out.
constexpr uint32_t MODE_ID_TAG = 0x40000000u;  // marks IDs this library made

}  // namespace

struct W3D_Texture {
  W3D_Context *context;
  SDL_Texture *texture;   // drawn by the GPU
  uint32_t *texels;       // drawn on the CPU: the texels as last uploaded
  bool opaque;            // drawn on the CPU: every texel's alpha is 255
  const uint32_t *image;  // the caller's texels, A8R8G8B8 words
  int32_t width, height;  // texels
  float uScale, vScale;   // 1 / width, 1 / height
  W3D_Texture *next;      // the context's textures, for its teardown
};

struct W3D_Context {
  W3D_Bitmap *bitmap;
  bool cpu;               // the bitmap's halves are in memory
  int32_t half;           // 0 upper, 1 lower
  bool scissorSet;
  SDL_Rect scissor;       // pixels of the half
  uint32_t states;        // enabled W3D_SetState bits
  bool locked;
  W3D_Fog fog;
  uint32_t fogMode;
  W3D_Color currentColor;
  W3D_Texture *textures;  // every texture still allocated
  W3D_Texture *runTexture;
  int runStart;     // drawn on the CPU: the first vertex of the current run (else 0)
  int runVertices;  // vertices in the buffer
  SDL_Vertex *run;  // RUN_CAPACITY * 3 vertices
  // Drawn on the CPU, the runs of a frame wait until the display flushes
  // and are then drawn by two threads at once, each taking every other row.
  struct CpuRun {
    W3D_Texture *texture;
    int first, count;  // vertices in run
    int half;
    bool scissorSet, blend;
    SDL_Rect scissor;
  } cpuRuns[CPU_RUNS];
  int cpuRunCount;
  double waitingArea;  // pixels the waiting runs' triangles cover, about
  W3D_SoftCover cover;  // rows of the bitmap; what later opaque triangles cover
  W3D_Stats stats;
};

void (*W3D_TraceHook)(const char *operation) = nullptr;
int W3D_CpuDrawing = -1;
// One thread alone might miss the display's frame time on a bigger frame;
// below it one thread does it all, which costs less CPU in all and waits for
// no other thread on a busy machine.
double W3D_SHARED_FRAME_PIXELS = 2.0e6;

namespace {

void trace(const char *operation) {
  if (W3D_TraceHook) W3D_TraceHook(operation);
}

uintptr_t tagValue(std::initializer_list<W3D_Tag> tags, uint32_t tag, uintptr_t fallback) {
  for (const W3D_Tag &item : tags)
    if (item.tag == tag) return item.data;
  return fallback;
}

// A colour component 0..1 as a byte, rounded: an opacity of 0.0078 is 2/255,
// so that a nearly transparent picture still builds up over many frames.
Uint8 colourByte(float value) {
  if (!(value > 0.0f)) return 0;  // also NaN
  if (value >= 1.0f) return 255;
  return static_cast<Uint8>(value * 255.0f + 0.5f);
}

// Makes the bitmap half and scissor of the context current in SDL. SDL
// resets the clip rectangle when the target changes, and others (the
// display) change the target between runs, so both are set every time.
void applyRegion(W3D_Context *context) {
  if (context->cpu) return;
  SDL_Renderer *renderer = context->bitmap->renderer;
  SDL_SetRenderTarget(renderer, context->bitmap->half[context->half]);
  SDL_RenderSetClipRect(renderer, context->scissorSet ? &context->scissor : nullptr);
}

// One thread's share of the waiting runs: every parts-th row.
void drawCpuRuns(void *data, int part, int parts) {
  W3D_Context *context = static_cast<W3D_Context *>(data);
  W3D_Bitmap *bitmap = context->bitmap;
  W3D_SoftCounts counts{0, 0};
  for (int i = 0; i < context->cpuRunCount; i++) {
    const W3D_Context::CpuRun &r = context->cpuRuns[i];
    W3D_SoftImage target{bitmap->pixels[r.half], bitmap->width, bitmap->height};
    W3D_SoftImage image{r.texture->texels, r.texture->width, r.texture->height};
    w3d_SoftTriangles(&target, r.scissorSet ? &r.scissor : nullptr, &image, context->run + r.first, r.count, r.blend,
                      part, parts, &counts);
  }
  // Both threads add to the totals: one at a time.
  static std::mutex totals;
  std::lock_guard<std::mutex> hold(totals);
  context->stats.pixelsCovered += counts.covered;
  context->stats.pixelsWritten += counts.written;
}

bool samePosition(const SDL_Vertex &a, const SDL_Vertex &b) {
  return a.position.x == b.position.x && a.position.y == b.position.y;
}

// A dropped triangle is collapsed to a point, which draws nothing.
void collapse(SDL_Vertex *v) {
  v[1].position = v[0].position;
  v[2].position = v[0].position;
}

// Whether a triangle of a run replaces every pixel it covers.
bool opaqueTriangle(const W3D_Context::CpuRun &run, const SDL_Vertex *v) {
  return !run.blend || (run.texture->opaque && v[0].color.a == 255 && v[1].color.a == 255 && v[2].color.a == 255);
}

// Going back from the last run of the frame, drops the triangles that
// opaque ones drawn after them hide completely (the water overlay over the
// whole screen hides the landscapes and the lists below it).
void dropHidden(W3D_Context *context) {
  if (!context->cover.first || context->cover.height < context->bitmap->height) return;
  w3d_SoftClearCover(&context->cover);
  int half = context->cpuRuns[context->cpuRunCount - 1].half;
  for (int i = context->cpuRunCount - 1; i >= 0; i--) {
    const W3D_Context::CpuRun &r = context->cpuRuns[i];
    if (r.half != half) break;
    SDL_Rect whole{0, 0, context->bitmap->width, context->bitmap->height}, clip;
    if (!SDL_IntersectRect(r.scissorSet ? &r.scissor : &whole, &whole, &clip)) continue;
    for (int k = r.first + r.count - 3; k >= r.first; k -= 3) {
      SDL_Vertex *v = context->run + k;
      if (w3d_SoftHidden(&context->cover, &clip, v, &context->stats.pixelsCovered)) {
        collapse(v);
        continue;
      }
      if (!opaqueTriangle(r, v)) continue;
      // The first half of a quad (drawn just before, sharing the first and
      // last corner) goes into the cover together with this one.
      SDL_Vertex *other = v - 3;
      if (k - 3 >= r.first && opaqueTriangle(r, other) && samePosition(other[0], v[0]) &&
          samePosition(other[2], v[2])) {
        if (w3d_SoftHidden(&context->cover, &clip, other, &context->stats.pixelsCovered)) collapse(other);
        w3d_SoftAddCover(&context->cover, &clip, other, 2);
        k -= 3;
      } else {
        w3d_SoftAddCover(&context->cover, &clip, v, 1);
      }
    }
  }
}

// Draws the waiting runs and empties the run buffer.
void drawWaitingRuns(W3D_Context *context) {
  if (context->cpuRunCount > 0) dropHidden(context);
  if (context->cpuRunCount > 0) w3d_SoftParallel(drawCpuRuns, context, context->waitingArea > W3D_SHARED_FRAME_PIXELS);
  context->cpuRunCount = 0;
  context->waitingArea = 0;
  context->runStart = 0;
  context->runVertices = 0;
}

void flushRun(W3D_Context *context) {
  if (context->runVertices == context->runStart) return;
  if (context->cpu) {
    context->cpuRuns[context->cpuRunCount++] =
        W3D_Context::CpuRun{context->runTexture, context->runStart, context->runVertices - context->runStart,
                            context->half, context->scissorSet, (context->states & W3D_BLENDING) != 0,
                            context->scissor};
    context->runStart = context->runVertices;
    context->stats.geometryRuns++;
    if (context->cpuRunCount == CPU_RUNS || context->runVertices + 3 > RUN_CAPACITY * 3) drawWaitingRuns(context);
    return;
  }
  applyRegion(context);
  SDL_Texture *texture = context->runTexture->texture;
  SDL_SetTextureBlendMode(texture,
                          (context->states & W3D_BLENDING) ? SDL_BLENDMODE_BLEND : SDL_BLENDMODE_NONE);
  if (SDL_RenderGeometry(context->bitmap->renderer, texture, context->run, context->runVertices, nullptr, 0) !=
      0)
    SDL_Log("W3D: a run of %d triangles was not drawn: %s", context->runVertices / 3, SDL_GetError());
  context->stats.geometryRuns++;
  context->runVertices = 0;
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

bool allOpaque(const uint32_t *texels, int64_t count) {
  uint32_t alpha = 0xFF000000u;
  for (int64_t i = 0; i < count; i++) alpha &= texels[i];
  return alpha == 0xFF000000u;
}

bool finiteVertex(const W3D_Vertex &v) { return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.u) && std::isfinite(v.v); }

}  // namespace

// ---------------------------------------------------------------- modes

uint32_t W3D_ModeId(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > 4095 || height > 4095) return W3D_NOMODE;
  return MODE_ID_TAG | static_cast<uint32_t>(width) << 12 | static_cast<uint32_t>(height);
}

bool W3D_GetModeNominal(uint32_t modeId, W3D_ModeRect *rect) {
  if (modeId == W3D_NOMODE || (modeId & 0xFF000000u) != MODE_ID_TAG || !rect) return false;
  int32_t width = (modeId >> 12) & 0xFFF, height = modeId & 0xFFF;
  if (width == 0 || height == 0) return false;
  rect->MinX = 0;
  rect->MinY = 0;
  rect->MaxX = static_cast<int16_t>(width - 1);
  rect->MaxY = static_cast<int16_t>(height - 1);
  return true;
}

uint32_t W3D_CheckDriver() { return SDL_GetNumRenderDrivers() > 0 ? 0u : W3D_DRIVER_UNAVAILABLE; }

// The largest 4:3 size inside the requested bounds that fits the desktop.
// Sizes are multiples of 8 x 6, which all the usual ones (640 x 480,
// 800 x 600, 1024 x 768, 1280 x 960) are.
uint32_t W3D_RequestModeTags(std::initializer_list<W3D_Tag> tags) {
  int32_t minWidth = static_cast<int32_t>(tagValue(tags, ASLSM_MinWidth, 0));
  int32_t maxWidth = static_cast<int32_t>(tagValue(tags, ASLSM_MaxWidth, 4095));
  int32_t minHeight = static_cast<int32_t>(tagValue(tags, ASLSM_MinHeight, 0));
  int32_t maxHeight = static_cast<int32_t>(tagValue(tags, ASLSM_MaxHeight, 4095));
  if (maxWidth > 4095) maxWidth = 4095;
  if (maxHeight > 4095) maxHeight = 4095;

  int64_t height = maxHeight;
  if (maxWidth * 3 / 4 < height) height = maxWidth * 3 / 4;
  // With no display to measure there is no desktop to fit: the request is
  // answered with its smallest size, and opening the screen will tell.
  bool measured = false;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
      if (desktop.h < height) height = desktop.h;
      if (int64_t(desktop.w) * 3 / 4 < height) height = int64_t(desktop.w) * 3 / 4;
      measured = true;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  if (!measured) {
    height = minHeight;
    if ((minWidth * 3 + 3) / 4 > height) height = (minWidth * 3 + 3) / 4;
    height = (height + 5) / 6 * 6;
  }
  height -= height % 6;
  int64_t width = height * 4 / 3;
  if (height <= 0 || height < minHeight || width < minWidth || height > maxHeight || width > maxWidth)
    return W3D_NOMODE;
  return W3D_ModeId(static_cast<int32_t>(width), static_cast<int32_t>(height));
}

// ---------------------------------------------------------------- context

W3D_Context *W3D_CreateContextTags(int32_t *error, std::initializer_list<W3D_Tag> tags) {
  auto fail = [error](int32_t code) -> W3D_Context * {
    if (error) *error = code;
    return nullptr;
  };
  W3D_Bitmap *bitmap = reinterpret_cast<W3D_Bitmap *>(tagValue(tags, W3D_CC_BITMAP, 0));
  if (!bitmap) return fail(W3D_ILLEGALBITMAP);
  if (!bitmap->renderer || !bitmap->half[0] || !bitmap->half[1] || bitmap->width <= 0 || bitmap->height <= 0)
    return fail(W3D_NOTVISIBLE);
  SDL_RendererInfo info;
  if (SDL_GetRendererInfo(bitmap->renderer, &info) != 0 || !(info.flags & SDL_RENDERER_TARGETTEXTURE))
    return fail(W3D_NODRIVER);
  int32_t yOffset = static_cast<int32_t>(tagValue(tags, W3D_CC_YOFFSET, 0));
  if (yOffset != 0 && yOffset != bitmap->height) return fail(W3D_ILLEGALINPUT);

  W3D_Context *context = new (std::nothrow) W3D_Context{};
  if (!context) return fail(W3D_NOMEMORY);
  context->run = new (std::nothrow) SDL_Vertex[RUN_CAPACITY * 3];
  if (!context->run) {
    delete context;
    return fail(W3D_NOMEMORY);
  }
  context->bitmap = bitmap;
  context->cpu = bitmap->pixels[0] && bitmap->pixels[1];
  if (context->cpu) {
    context->cover.first = new (std::nothrow) int32_t[size_t(bitmap->height) * 2];
    context->cover.last = context->cover.first ? context->cover.first + bitmap->height : nullptr;
    context->cover.height = context->cover.first ? bitmap->height : 0;
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
      (bitmap->pixels[0] && bitmap->pixels[1]) != context->cpu)
    return static_cast<uint32_t>(W3D_ILLEGALBITMAP);
  if (yOffset != 0 && yOffset != bitmap->height) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  flushRun(context);  // what is queued belongs to the old region
  if (context->cpu && bitmap != context->bitmap) drawWaitingRuns(context);  // and to the old bitmap
  context->bitmap = bitmap;
  context->half = yOffset == 0 ? 0 : 1;
  storeScissor(context, scissor);
  applyRegion(context);
  return W3D_SUCCESS;
}

void W3D_SetScissor(W3D_Context *context, const W3D_Scissor *scissor) {
  if (!context) return;
  flushRun(context);
  storeScissor(context, scissor);
  applyRegion(context);
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
  if (context->cpu) drawWaitingRuns(context);
}

void W3D_DestroyContext(W3D_Context *context) {
  if (!context) return;
  // Textures the caller left are the context's to release.
  while (context->textures) W3D_FreeTexObj(context, context->textures);
  if (context->cpu) w3d_SoftStopHelper();
  delete[] context->cover.first;
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
  const uint32_t *image = reinterpret_cast<const uint32_t *>(tagValue(tags, W3D_ATO_IMAGE, 0));
  uint32_t format = static_cast<uint32_t>(tagValue(tags, W3D_ATO_FORMAT, 0));
  int64_t width = static_cast<int64_t>(tagValue(tags, W3D_ATO_WIDTH, 0));
  int64_t height = static_cast<int64_t>(tagValue(tags, W3D_ATO_HEIGHT, 0));
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
  if (context->cpu) {
    texture->texels = new (std::nothrow) uint32_t[width * height];
    if (!texture->texels) {
      delete texture;
      return fail(W3D_NOMEMORY);
    }
    std::memcpy(texture->texels, image, size_t(width * height) * 4);
    texture->opaque = allOpaque(texture->texels, width * height);
    texture->next = context->textures;
    context->textures = texture;
    if (error) *error = W3D_SUCCESS;
    return texture;
  }
  // The texel words are A8R8G8B8 by value, which is SDL's ARGB8888 on any
  // byte order.
  texture->texture = SDL_CreateTexture(context->bitmap->renderer, SDL_PIXELFORMAT_ARGB8888,
                                       SDL_TEXTUREACCESS_STATIC, static_cast<int>(width), static_cast<int>(height));
  if (!texture->texture) {
    delete texture;
    return fail(W3D_NOMEMORY);
  }
  SDL_SetTextureBlendMode(texture->texture, SDL_BLENDMODE_BLEND);
  SDL_SetTextureScaleMode(texture->texture, SDL_ScaleModeLinear);
  SDL_UpdateTexture(texture->texture, nullptr, image, texture->width * 4);
  texture->next = context->textures;
  context->textures = texture;
  if (error) *error = W3D_SUCCESS;
  return texture;
}

// Copies the caller's texels (again) into the texture.
uint32_t W3D_UploadTexture(W3D_Context *context, W3D_Texture *texture) {
  if (!context || !texture || texture->context != context) return static_cast<uint32_t>(W3D_ILLEGALINPUT);
  if (context->runTexture == texture) flushRun(context);  // queued triangles show the old texels
  if (texture->texels) {
    drawWaitingRuns(context);  // and so do the runs waiting to be drawn
    std::memcpy(texture->texels, texture->image, size_t(texture->width) * texture->height * 4);
    texture->opaque = allOpaque(texture->texels, int64_t(texture->width) * texture->height);
    return W3D_SUCCESS;
  }
  if (SDL_UpdateTexture(texture->texture, nullptr, texture->image, texture->width * 4) != 0)
    return static_cast<uint32_t>(W3D_NOMEMORY);
  return W3D_SUCCESS;
}

void W3D_FreeTexObj(W3D_Context *context, W3D_Texture *texture) {
  if (!context || !texture || texture->context != context) return;
  if (context->runTexture == texture) {
    flushRun(context);
    context->runTexture = nullptr;
  }
  if (context->cpu) drawWaitingRuns(context);  // they may use its texels
  for (W3D_Texture **link = &context->textures; *link; link = &(*link)->next) {
    if (*link == texture) {
      *link = texture->next;
      break;
    }
  }
  if (texture->texture) SDL_DestroyTexture(texture->texture);
  delete[] texture->texels;
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
  if (context->cpu) {
    const W3D_Vertex &a = triangle->v1, &b = triangle->v2, &c = triangle->v3;
    context->waitingArea += std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) * 0.5;
  }
  return W3D_SUCCESS;
}

// ---------------------------------------------------------------- halves

bool W3D_IsCpuRasteriser(SDL_Renderer *renderer) {
  SDL_RendererInfo info;
  if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0) return false;
  if (SDL_strcmp(info.name, "software") == 0) return true;
  if (SDL_strncmp(info.name, "opengl", 6) != 0) return false;
  // The OpenGL renderer's context is current: ask it who rasterises.
  using GetString = const unsigned char *(*)(unsigned int);
  GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const char *name = getString ? reinterpret_cast<const char *>(getString(0x1F01 /* GL_RENDERER */)) : nullptr;
  if (!name) return false;
  const char *const cpuRasterisers[] = {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SWR"};
  for (const char *cpu : cpuRasterisers)
    if (SDL_strstr(name, cpu)) return true;
  return false;
}

bool W3D_GpuDevicePresent() {
  const char *const patterns[] = {"/dev/dri/renderD*", "/dev/dri/card*", "/dev/nvidia[0-9]*"};
  bool present = false;
  for (const char *pattern : patterns) {
    glob_t found;
    if (glob(pattern, 0, nullptr, &found) == 0)
      for (size_t i = 0; i < found.gl_pathc && !present; i++) present = access(found.gl_pathv[i], R_OK | W_OK) == 0;
    globfree(&found);
  }
  return present;
}

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
