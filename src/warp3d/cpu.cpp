// The CPU backend of the 3D library: a frame's runs wait in the run buffer
// until the display flushes; then the triangles that later opaque ones hide
// are dropped, and the rest are filled by our own rasteriser, on two
// threads when the frame is big. Each texture keeps a copy of its texels.
#include <cmath>
#include <cstring>
#include <mutex>
#include <new>

#include "warp3d/context.h"

// One thread alone might miss the display's frame time on a bigger frame;
// below it one thread does it all, which costs less CPU in all and waits for
// no other thread on a busy machine.
double W3D_SHARED_FRAME_PIXELS = 2.0e6;

namespace {

bool openCpu(W3D_Context *context) {
  int32_t height = context->bitmap->height;
  context->cover.first = new (std::nothrow) int32_t[size_t(height) * 2];
  context->cover.last = context->cover.first ? context->cover.first + height : nullptr;
  context->cover.height = context->cover.first ? height : 0;
  return true;  // without a cover nothing is dropped, and all is still drawn
}

void closeCpu(W3D_Context *context) {
  w3d_SoftStopHelper();
  delete[] context->cover.first;
}

// Each run carries its own region.
void applyCpuRegion(W3D_Context *) {}

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
void drawCpuKept(W3D_Context *context) {
  if (context->cpuRunCount > 0) dropHidden(context);
  if (context->cpuRunCount > 0) w3d_SoftParallel(drawCpuRuns, context, context->waitingArea > W3D_SHARED_FRAME_PIXELS);
  context->cpuRunCount = 0;
  context->waitingArea = 0;
  context->runStart = 0;
  context->runVertices = 0;
}

void keepCpuRun(W3D_Context *context) {
  for (int k = context->runStart; k < context->runVertices; k += 3) {
    const SDL_FPoint &a = context->run[k].position, &b = context->run[k + 1].position, &c = context->run[k + 2].position;
    context->waitingArea += std::fabs((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x)) * 0.5;
  }
  context->cpuRuns[context->cpuRunCount++] =
      W3D_Context::CpuRun{context->runTexture, context->runStart, context->runVertices - context->runStart,
                          context->half, context->scissorSet, (context->states & W3D_BLENDING) != 0,
                          context->scissor};
  context->runStart = context->runVertices;
  context->stats.geometryRuns++;
  if (context->cpuRunCount == CPU_RUNS || context->runVertices + 3 > RUN_CAPACITY * 3) drawCpuKept(context);
}

bool allOpaque(const uint32_t *texels, int64_t count) {
  uint32_t alpha = 0xFF000000u;
  for (int64_t i = 0; i < count; i++) alpha &= texels[i];
  return alpha == 0xFF000000u;
}

bool makeCpuTexture(W3D_Context *, W3D_Texture *texture) {
  int64_t count = int64_t(texture->width) * texture->height;
  texture->texels = new (std::nothrow) uint32_t[count];
  if (!texture->texels) return false;
  std::memcpy(texture->texels, texture->image, size_t(count) * 4);
  texture->opaque = allOpaque(texture->texels, count);
  return true;
}

bool uploadCpuTexture(W3D_Context *context, W3D_Texture *texture) {
  drawCpuKept(context);  // the runs waiting to be drawn show the old texels
  int64_t count = int64_t(texture->width) * texture->height;
  std::memcpy(texture->texels, texture->image, size_t(count) * 4);
  texture->opaque = allOpaque(texture->texels, count);
  return true;
}

void releaseCpuTexture(W3D_Texture *texture) { delete[] texture->texels; }

}  // namespace

const W3D_Backend w3d_CpuBackend = {openCpu,     closeCpu,       applyCpuRegion,   keepCpuRun,
                                    drawCpuKept, makeCpuTexture, uploadCpuTexture, releaseCpuTexture};
