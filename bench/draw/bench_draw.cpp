// How long drawing's CPU side takes: loading the twenty 256x256 pictures of
// the start-up, and filling a frame's batch with 5000 quads. Each is set
// beside a reference that does only the unavoidable part of the work.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "draw/batch.h"
#include "draw/ppm.h"
#include "platform/files.h"

namespace {

const char *const PICTURES[20] = {
    "ram:water01.ppm", "ram:font32.ppm", "ram:orbel.ppm", "ram:water02.ppm", "ram:cow_big.ppm",
    "ram:control2_texture2.ppm", "ram:bkg00.ppm", "ram:bkg01.ppm", "ram:bkg02.ppm", "ram:bkg03.ppm",
    "ram:bkg04.ppm", "ram:bkg05.ppm", "ram:bkg10.ppm", "ram:bkg11.ppm", "ram:bkg12.ppm",
    "ram:bkg13.ppm", "ram:bkg14.ppm", "ram:bkg15.ppm", "ram:jub.ppm", "ram:velmologo.ppm"};
const int MODES[20] = {2, 3, 0, 2, 2, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

// Twenty 256x256 pictures with varied pixels, staged as at start-up (the
// header in the form most of the shipped pictures use).
void stagePictures() {
  static bool staged = false;
  if (staged) return;
  std::string pixels(256 * 256 * 3, '\0');
  for (int n = 0; n < 20; n++) {
    for (size_t i = 0; i < pixels.size(); i++) pixels[i] = char((i * 7 + n * 31 + (i >> 9)) & 0xFF);
    FILE *f = openFile(PICTURES[n], "w");
    if (!f) abort();
    fputs("P6\n256 256\n255\n", f);
    fwrite(pixels.data(), 1, pixels.size(), f);
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

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  removeStagingDirectory();
  return 0;
}
