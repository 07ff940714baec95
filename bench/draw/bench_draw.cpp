// How long drawing takes: loading the twenty 256x256 pictures of the
// start-up, filling a frame's batch with 5000 quads, the text of a frame,
// and handing a full batch to the library. Each is set beside a reference
// that does only the unavoidable part of the work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <SDL.h>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/text.h"
#include "draw/textures.h"
#include "platform/files.h"

namespace {

const char *const PICTURES[20] = {
    "ram:water01.ppm", "ram:font32.ppm", "ram:orbel.ppm", "ram:water02.ppm", "ram:cow_big.ppm",
    "ram:control2_texture2.ppm", "ram:bkg00.ppm", "ram:bkg01.ppm", "ram:bkg02.ppm", "ram:bkg03.ppm",
    "ram:bkg04.ppm", "ram:bkg05.ppm", "ram:bkg10.ppm", "ram:bkg11.ppm", "ram:bkg12.ppm",
    "ram:bkg13.ppm", "ram:bkg14.ppm", "ram:bkg15.ppm", "ram:jub.ppm", "ram:velmologo.ppm"};
const int MODES[20] = {2, 3, 0, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// The twenty pictures the program ships, staged as at start-up; made-up
// 256x256 pictures with varied pixels where a picture is missing.
void stagePictures() {
  static bool staged = false;
  if (staged) return;
  std::string pixels(256 * 256 * 3, '\0');
  for (int n = 0; n < 20; n++) {
    std::string shipped = std::string(MUSICDISK_SOURCE_DIR) + "/assets/" + (PICTURES[n] + 4);
    std::string bytes;
    if (FILE *in = fopen(shipped.c_str(), "rb")) {
      char chunk[65536];
      size_t got;
      while ((got = fread(chunk, 1, sizeof chunk, in)) > 0) bytes.append(chunk, got);
      fclose(in);
    } else {
      fprintf(stderr, "%s missing: a made-up picture stands in\n", shipped.c_str());
      for (size_t i = 0; i < pixels.size(); i++) pixels[i] = char((i * 7 + n * 31 + (i >> 9)) & 0xFF);
      bytes = "P6\n256 256\n255\n" + pixels;
    }
    FILE *f = openFile(PICTURES[n], "w");
    if (!f) abort();
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  staged = true;
}

void BM_LoadTwentyPictures(benchmark::State &state) {
  stagePictures();
  for (auto _ : state) {
    for (int n = 0; n < 20; n++) {
      int32_t w, h;
      uint32_t *texels = LoadTextureFromPPM(nullptr, PICTURES[n], &w, &h, MODES[n]);
      benchmark::DoNotOptimize(texels);
      delete[] texels;
    }
  }
  state.SetBytesProcessed(state.iterations() * 20 * 256 * 256 * 3);
}
BENCHMARK(BM_LoadTwentyPictures)->Unit(benchmark::kMillisecond);

// Reference: only opening and reading the same twenty files.
void BM_ReadTwentyFilesOnly(benchmark::State &state) {
  stagePictures();
  std::vector<char> bytes(256 * 256 * 3 + 64);
  for (auto _ : state) {
    for (int n = 0; n < 20; n++) {
      FILE *f = openFile(PICTURES[n], "r");
      size_t got = fread(bytes.data(), 1, bytes.size(), f);
      benchmark::DoNotOptimize(got);
      fclose(f);
    }
  }
  state.SetBytesProcessed(state.iterations() * 20 * 256 * 256 * 3);
}
BENCHMARK(BM_ReadTwentyFilesOnly)->Unit(benchmark::kMillisecond);

// A frame of 5000 picture quads, the most the batch holds.
void BM_FillFrameOf5000Quads(benchmark::State &state) {
  for (auto _ : state) {
    triPos = 0;
    for (int i = 0; i < BATCH_CAPACITY / 2; i++) {
      float f = float(i);
      W3DTexturePolygonPosition(i % 20, f, f * 0.5f, (i & 1) ? 0.0f : 1.0f, 32, 32, 0, 0, 256, 256, 1.0f, 0.5f);
    }
    benchmark::DoNotOptimize(w3d_TriWorld);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (BATCH_CAPACITY / 2));
}
BENCHMARK(BM_FillFrameOf5000Quads)->Unit(benchmark::kMicrosecond);

// The same with turned quads (two sines and cosines each).
void BM_FillFrameOf5000TurnedQuads(benchmark::State &state) {
  for (auto _ : state) {
    triPos = 0;
    for (int i = 0; i < BATCH_CAPACITY / 2; i++)
      W3DTextureRotAlphaPolygonPosition(4, 320, 240, 0, 640, 640, 0, 0, 256, 256, float(i) * 0.01f, 0.0078f);
    benchmark::DoNotOptimize(w3d_TriWorld);
    benchmark::ClobberMemory();
  }
  state.SetItemsProcessed(state.iterations() * (BATCH_CAPACITY / 2));
}
BENCHMARK(BM_FillFrameOf5000TurnedQuads)->Unit(benchmark::kMicrosecond);

// Reference: writing the whole batch (1,000,000 bytes) in one copy.
void BM_CopyWholeBatch(benchmark::State &state) {
  static TriRecord source[BATCH_CAPACITY];
  for (auto _ : state) {
    memcpy(w3d_TriWorld, source, sizeof w3d_TriWorld);
    benchmark::DoNotOptimize(w3d_TriWorld);
    benchmark::ClobberMemory();
  }
  state.SetBytesProcessed(state.iterations() * int64_t(sizeof w3d_TriWorld));
}
BENCHMARK(BM_CopyWholeBatch)->Unit(benchmark::kMicrosecond);

// The text of a busy disk-screen frame: the scroller, five song lines, the
// frame counter and two status words.
void BM_TextOfADiskFrame(benchmark::State &state) {
  SCREEN_WIDTH = 640;
  SCREEN_HEIGHT = 480;
  loop = 0;
  int t = 50 * 21;
  for (auto _ : state) {
    triPos = 0;
    W3DText(t++);
    for (int row = 0; row < 5; row++) W3DWriteText("12. Some artist - A song title", 10 + row, 1, 1.0f);
    W3DWriteText("060 FPS", 0, 0, 1.0f);
    W3DWriteText("STOPPED", 14, 1, 1.0f);
    W3DWriteText("PAUSED", 15, 1, 1.0f);
    benchmark::DoNotOptimize(w3d_TriWorld);
    if (t > 50 * 2300) t = 50 * 21;
  }
}
BENCHMARK(BM_TextOfADiskFrame)->Unit(benchmark::kMicrosecond);

// Submission through the library on SDL's offscreen renderer (OpenGL
// through EGL), against the same triangles handed to the library directly:
// the time to hand a frame to SDL; the drawing itself is waited for
// outside the timing.
struct Renderer {
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  W3D_Bitmap bitmap{};
  W3D_Context *context = nullptr;
  std::vector<uint32_t> picture = std::vector<uint32_t>(256 * 256, 0x80FF8040u);

  bool open() {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    if (SDL_VideoInit("offscreen") != 0) return false;
    window = SDL_CreateWindow("bench", 0, 0, 640, 480, SDL_WINDOW_HIDDEN);
    renderer = window ? SDL_CreateRenderer(window, -1, SDL_RENDERER_TARGETTEXTURE) : nullptr;
    if (!renderer) return false;
    bitmap = W3D_Bitmap{renderer, {}, 640, 480, {}};
    for (SDL_Texture *&half : bitmap.half)
      half = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, 640, 480);
    int32_t error = -1;
    context = W3D_CreateContextTags(&error, {{W3D_CC_MODEID, W3D_ModeId(640, 480)},
                                             {W3D_CC_BITMAP, uintptr_t(&bitmap)},
                                             {W3D_CC_YOFFSET, 0},
                                             {W3D_CC_DOUBLEHEIGHT, 1}});
    if (!context) return false;
    W3D_SetState(context, W3D_TEXMAPPING, W3D_ENABLE);
    W3D_SetState(context, W3D_BLENDING, W3D_ENABLE);
    W3D_Scissor scissor{0, 0, 640, 480};
    W3D_SetDrawRegion(context, &bitmap, 0, &scissor);
    for (int slot = 0; slot < 2; slot++)
      tex[slot] = W3D_AllocTexObjTags(context, &error,
                                      {{W3D_ATO_IMAGE, uintptr_t(picture.data())},
                                       {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                       {W3D_ATO_WIDTH, 256},
                                       {W3D_ATO_HEIGHT, 256}});
    return tex[0] && tex[1];
  }
  // Waits until the renderer has drawn everything handed to it, so that
  // one frame's drawing does not spill into the next one's timing.
  void finish() {
    uint32_t pixel;
    SDL_Rect one{0, 0, 1, 1};
    SDL_SetRenderTarget(renderer, bitmap.half[0]);
    SDL_RenderReadPixels(renderer, &one, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  }
};
Renderer *sharedRenderer() {
  static Renderer *r = nullptr;
  if (!r) {
    r = new Renderer;
    if (!r->open()) return nullptr;
  }
  return r;
}

// 5000 small quads, slots alternating every 8 quads.
void fillSmallQuads() {
  triPos = 0;
  for (int i = 0; i < BATCH_CAPACITY / 2; i++)
    W3DTexturePolygonPosition((i / 8) & 1, float(i % 640), float(i / 640 * 40 + 20), 0, 8, 8, 0, 0, 256, 256, 1.0f,
                              0.5f);
}

void BM_SubmitFrameOf5000Quads(benchmark::State &state) {
  Renderer *r = sharedRenderer();
  if (!r) return state.SkipWithError("no offscreen renderer");
  fillSmallQuads();
  for (auto _ : state) {
    W3DDrawTriangles(r->context);
    W3D_Flush(r->context);
    state.PauseTiming();
    r->finish();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (BATCH_CAPACITY / 2));
}
BENCHMARK(BM_SubmitFrameOf5000Quads)->Unit(benchmark::kMillisecond);

// Reference: the same 10000 triangles, prepared beforehand, straight into
// the library with one lock around them all.
void BM_LibraryAloneFor10000Triangles(benchmark::State &state) {
  Renderer *r = sharedRenderer();
  if (!r) return state.SkipWithError("no offscreen renderer");
  fillSmallQuads();
  std::vector<W3D_Triangle> triangles;
  for (int i = 0; i < triPos; i += 2)
    for (int half = 0; half < 2; half++) {
      const TriVertex *v[3] = {&w3d_TriWorld[i].v[0], half ? &w3d_TriWorld[i + 1].v[1] : &w3d_TriWorld[i].v[1],
                               &w3d_TriWorld[i].v[2]};
      W3D_Triangle t{};
      W3D_Vertex *out[3] = {&t.v1, &t.v2, &t.v3};
      for (int k = 0; k < 3; k++) {
        out[k]->x = v[k]->x;
        out[k]->y = v[k]->y;
        out[k]->z = v[k]->z;
        out[k]->w = v[k]->w;
        out[k]->u = v[k]->u;
        out[k]->v = v[k]->v;
        out[k]->color = W3D_Color{v[k]->brightness, v[k]->brightness, v[k]->brightness, v[k]->alpha};
      }
      t.tex = tex[w3d_TriWorld[i].slot];
      triangles.push_back(t);
    }
  for (auto _ : state) {
    W3D_LockHardware(r->context);
    for (const W3D_Triangle &t : triangles) W3D_DrawTriangle(r->context, &t);
    W3D_UnLockHardware(r->context);
    W3D_Flush(r->context);
    state.PauseTiming();
    r->finish();
    state.ResumeTiming();
  }
  state.SetItemsProcessed(state.iterations() * (BATCH_CAPACITY / 2));
}
BENCHMARK(BM_LibraryAloneFor10000Triangles)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  removeStagingDirectory();
  return 0;
}
