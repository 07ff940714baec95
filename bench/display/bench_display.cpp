// What a frame of 5000 textured quads costs the display: CPU time to hand
// them to the library (W3D_DrawTriangle, runs of one texture, 20 textures
// a frame), CPU time of the whole frame with SDL's drawing and the switch,
// and the allocations made in frames after the first (there must be none).
//
// Side by side, on the same renderer and the same vertices:
//   floor    - the vertices already in SDL's layout, one SDL_RenderGeometry
//              per run: what any submission costs at least;
//   per-tri  - one SDL_RenderGeometry per triangle: what a port without
//              runs would cost.
//
// Usage: bench_display [software|offscreen|xvfb] [frames]
//   software  - SDL's dummy driver: the software renderer, no display
//   offscreen - OpenGL through EGL (llvmpipe), no display
//   xvfb      - a private Xvfb, drawn as the display chooses there: without
//               a GPU, on the CPU into the software renderer's halves
#include <SDL.h>
#include <dlfcn.h>
#include <time.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "fixture.h"
#include "xserver.h"

// ------------------------------------------------- allocation counting
// malloc and friends of the whole program, counted on the main thread
// while counting is on (the GL driver's own threads are not ours).
extern "C" void *__libc_malloc(size_t);
extern "C" void *__libc_calloc(size_t, size_t);
extern "C" void *__libc_realloc(void *, size_t);
extern "C" void __libc_free(void *);

namespace {
thread_local bool counting = false;
thread_local long allocations = 0;
}  // namespace

extern "C" void *malloc(size_t size) {
  if (counting) allocations++;
  return __libc_malloc(size);
}
extern "C" void *calloc(size_t count, size_t size) {
  if (counting) allocations++;
  return __libc_calloc(count, size);
}
extern "C" void *realloc(void *pointer, size_t size) {
  if (counting) allocations++;
  return __libc_realloc(pointer, size);
}
extern "C" void free(void *pointer) { __libc_free(pointer); }

namespace {

constexpr int QUADS = 5000;
constexpr int TEXTURES = 20;
constexpr int TEXTURE_SIZE = 256;

double seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return double(now.tv_sec) + double(now.tv_nsec) * 1e-9;
}

struct Quad {
  W3D_Triangle first, second;
};

// 5000 quads of 48 x 48 pixels spread over the half, textures in runs:
// quads 0-249 texture 0, 250-499 texture 1, ... with varied grey and alpha.
std::vector<Quad> makeQuads(W3D_Texture *const *textures) {
  std::vector<Quad> quads(QUADS);
  uint32_t seed = 12345;
  auto next = [&seed](int range) {
    seed = seed * 1103515245u + 12345u;
    return int((seed >> 8) % uint32_t(range));
  };
  for (int i = 0; i < QUADS; i++) {
    float x = float(next(SCREEN_WIDTH - 48)), y = float(next(SCREEN_HEIGHT - 48));
    float grey = 0.5f + float(next(50)) / 100.0f, alpha = 0.3f + float(next(70)) / 100.0f;
    auto vertex = [&](float vx, float vy, float u, float v) { return quadVertex(vx, vy, u, v, grey, alpha); };
    W3D_Vertex a = vertex(x, y, 0, 0), b = vertex(x + 48, y, 256, 0), c = vertex(x + 48, y + 48, 256, 256),
               d = vertex(x, y + 48, 0, 256);
    W3D_Texture *texture = textures[i / (QUADS / TEXTURES)];
    quads[i].first = W3D_Triangle{a, b, c, texture, nullptr};
    quads[i].second = W3D_Triangle{a, d, c, texture, nullptr};
  }
  return quads;
}

// The same triangles in SDL's layout, per run.
std::vector<std::vector<SDL_Vertex>> sdlRuns(const std::vector<Quad> &quads) {
  std::vector<std::vector<SDL_Vertex>> runs(TEXTURES);
  auto convert = [](const W3D_Vertex &v) {
    SDL_Vertex out;
    out.position = SDL_FPoint{v.x, v.y};
    out.color = SDL_Color{Uint8(v.color.r * 255 + 0.5f), Uint8(v.color.g * 255 + 0.5f), Uint8(v.color.b * 255 + 0.5f),
                          Uint8(v.color.a * 255 + 0.5f)};
    out.tex_coord = SDL_FPoint{v.u / TEXTURE_SIZE, v.v / TEXTURE_SIZE};
    return out;
  };
  for (int i = 0; i < QUADS; i++) {
    std::vector<SDL_Vertex> &run = runs[i / (QUADS / TEXTURES)];
    for (const W3D_Triangle *t : {&quads[i].first, &quads[i].second}) {
      run.push_back(convert(t->v1));
      run.push_back(convert(t->v2));
      run.push_back(convert(t->v3));
    }
  }
  return runs;
}

SDL_Texture *sdlTexture(W3D_Texture *texture, SDL_Renderer *renderer, std::vector<SDL_Texture *> &owned,
                        const uint32_t *texels) {
  (void)texture;
  SDL_Texture *made = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STATIC, TEXTURE_SIZE,
                                        TEXTURE_SIZE);
  SDL_UpdateTexture(made, nullptr, texels, TEXTURE_SIZE * 4);
  SDL_SetTextureBlendMode(made, SDL_BLENDMODE_BLEND);
  SDL_SetTextureScaleMode(made, SDL_ScaleModeLinear);
  owned.push_back(made);
  return made;
}

struct Figures {
  double submitCpuMs = 0;  // main thread, handing the frame over
  double frameCpuMs = 0;   // whole process, frame including the switch
  double frameWallMs = 0;
  long submitAllocationsFirst = 0;  // main thread, while handing over
  long submitAllocationsLater = 0;  // the same in all frames after the first
  long switchAllocationsLater = 0;  // SDL drawing the frame and showing it
  int frames = 0;                   // after the first
};

template <typename Submit>
Figures measure(int frames, Submit submit) {
  Figures figures;
  for (int frame = 0; frame <= frames; frame++) {
    double wall0 = seconds(CLOCK_MONOTONIC), process0 = seconds(CLOCK_PROCESS_CPUTIME_ID),
           thread0 = seconds(CLOCK_THREAD_CPUTIME_ID);
    allocations = 0;
    counting = true;
    submit();
    double thread1 = seconds(CLOCK_THREAD_CPUTIME_ID);
    long submitAllocations = allocations;
    W3DSwitchBuffer();
    counting = false;
    long switchAllocations = allocations - submitAllocations;
    double process1 = seconds(CLOCK_PROCESS_CPUTIME_ID), wall1 = seconds(CLOCK_MONOTONIC);
    if (frame == 0) {
      figures.submitAllocationsFirst = submitAllocations;
      continue;  // the first frame fills SDL's and the driver's buffers
    }
    figures.frames++;
    figures.submitAllocationsLater += submitAllocations;
    figures.switchAllocationsLater += switchAllocations;
    figures.submitCpuMs += (thread1 - thread0) * 1000.0 / frames;
    figures.frameCpuMs += (process1 - process0) * 1000.0 / frames;
    figures.frameWallMs += (wall1 - wall0) * 1000.0 / frames;
  }
  return figures;
}

void print(const char *what, const Figures &f, double reference) {
  printf("  %-8s submit %7.3f ms CPU (x%.2f of floor) | frame %8.3f ms CPU, %8.3f ms wall | allocations in "
         "submit: frame 1 %ld, all %d later frames %ld; in SDL's drawing and show: %.0f a frame\n",
         what, f.submitCpuMs, reference > 0 ? f.submitCpuMs / reference : 0.0, f.frameCpuMs, f.frameWallMs,
         f.submitAllocationsFirst, f.frames, f.submitAllocationsLater,
         f.frames ? double(f.switchAllocationsLater) / f.frames : 0.0);
}

}  // namespace

int main(int argc, char **argv) {
  std::string mode = argc > 1 ? argv[1] : "software";
  int frames = argc > 2 ? atoi(argv[2]) : 60;
  XServer server;
  if (!useVideoDriver(mode.c_str(), &server)) {
    fprintf(stderr, "usage: %s [software|offscreen|xvfb] [frames] (xvfb: Xvfb must start)\n", argv[0]);
    return 2;
  }
  if (W3DSetup() != 1) {
    W3DCleanup();
    stopXvfb(&server);
    return 1;
  }
  SDL_RendererInfo info;
  SDL_GetRendererInfo(w3d_Screen->renderer, &info);
  printf("%s: renderer %s, %d x %d, %d quads a frame in %d runs, %d frames\n", mode.c_str(), info.name,
         SCREEN_WIDTH, SCREEN_HEIGHT, QUADS, TEXTURES, frames);

  std::vector<std::vector<uint32_t>> texels(TEXTURES);
  W3D_Texture *textures[TEXTURES];
  std::vector<SDL_Texture *> plain;
  SDL_Texture *plainTextures[TEXTURES];
  for (int t = 0; t < TEXTURES; t++) {
    texels[t].resize(TEXTURE_SIZE * TEXTURE_SIZE);
    for (int i = 0; i < TEXTURE_SIZE * TEXTURE_SIZE; i++)
      texels[t][i] = 0xFF000000u | uint32_t(t * 12) << 16 | uint32_t(i & 255) << 8 | uint32_t((i >> 8) & 255);
    textures[t] = makeTexture(w3d_Context, texels[t].data(), TEXTURE_SIZE, TEXTURE_SIZE);
    plainTextures[t] = sdlTexture(textures[t], w3d_Screen->renderer, plain, texels[t].data());
  }
  std::vector<Quad> quads = makeQuads(textures);
  std::vector<std::vector<SDL_Vertex>> runs = sdlRuns(quads);
  SDL_Renderer *renderer = w3d_Screen->renderer;
  W3DSwitchBuffer();

  // The floor: SDL calls only, the vertices ready.
  Figures floor = measure(frames, [&] {
    SDL_SetRenderTarget(renderer, w3d_BitMap->half[1 - bufnum]);
    for (int t = 0; t < TEXTURES; t++)
      SDL_RenderGeometry(renderer, plainTextures[t], runs[t].data(), int(runs[t].size()), nullptr, 0);
  });
  Figures library = measure(frames, [&] {
    W3D_LockHardware(w3d_Context);
    for (const Quad &quad : quads) {
      W3D_DrawTriangle(w3d_Context, &quad.first);
      W3D_DrawTriangle(w3d_Context, &quad.second);
    }
    W3D_UnLockHardware(w3d_Context);
    W3D_Flush(w3d_Context);
  });
  Figures perTriangle = measure(frames, [&] {
    SDL_SetRenderTarget(renderer, w3d_BitMap->half[1 - bufnum]);
    for (int t = 0; t < TEXTURES; t++)
      for (size_t v = 0; v < runs[t].size(); v += 3)
        SDL_RenderGeometry(renderer, plainTextures[t], runs[t].data() + v, 3, nullptr, 0);
  });
  print("floor", floor, floor.submitCpuMs);
  print("W3D", library, floor.submitCpuMs);
  print("per-tri", perTriangle, floor.submitCpuMs);
  printf("  W3D runs a frame: %.1f\n",
         double(W3D_GetStats(w3d_Context)->geometryRuns) / double(frames + 1));

  for (SDL_Texture *texture : plain) SDL_DestroyTexture(texture);
  W3DCleanup();
  stopXvfb(&server);
  return 0;
}
