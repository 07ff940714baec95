// Feeds arbitrary bytes to the PPM loaders as if they were a file, and checks
// that the three ways of loading agree: into a small caller's buffer, into a
// buffer of the loader's own, and as 256x256 tiles.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "draw/ppm.h"

namespace {

// Pictures beyond this many texels are only loaded into the small buffer
// (which refuses them): the fuzzer's memory limit is not the loader's.
constexpr size_t MAX_FUZZ_TEXELS = size_t(1) << 20;
constexpr size_t SMALL_TEXELS = 64 * 64;

FILE *devNull;

FILE *openInput(const uint8_t *data, size_t size) {
  // fmemopen does not read from a zero-sized buffer: an empty file is a
  // buffer with nothing in it.
  static const char nothing[1] = {0};
  if (size == 0) {
    FILE *f = fmemopen(const_cast<char *>(nothing), 1, "r");
    if (f) fgetc(f);
    return f;
  }
  return fmemopen(const_cast<uint8_t *>(data), size, "r");
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
  devNull = fopen("/dev/null", "w");
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  int mode = size ? data[size - 1] % 5 : 0;  // 4: an unknown mode
  // The loaders' messages would drown the fuzzer's own; sanitizer reports
  // go to the descriptor, not to these streams.
  FILE *savedOut = stdout, *savedErr = stderr;
  stdout = stderr = devNull;

  int32_t w = -1, h = -1;
  uint32_t *small = new uint32_t[SMALL_TEXELS];
  FILE *f = openInput(data, size);
  if (!f) abort();
  uint32_t *intoSmall = loadTextureFromStream(f, small, SMALL_TEXELS, &w, &h, mode);
  fclose(f);
  if (intoSmall && intoSmall != small) abort();
  if (intoSmall && size_t(w) * size_t(h) > SMALL_TEXELS) abort();
  if (!intoSmall && w > 0 && size_t(w) * size_t(h) <= SMALL_TEXELS) abort();  // fitted, yet refused

  if (w > PPM_MAX_SIDE || h > PPM_MAX_SIDE || (w != -1 && (w < 1 || h < 1))) abort();
  bool headerRead = w > 0;
  if (!headerRead || size_t(w) * size_t(h) <= MAX_FUZZ_TEXELS) {
    int32_t w2 = -1, h2 = -1;
    f = openInput(data, size);
    uint32_t *own = loadTextureFromStream(f, nullptr, 0, &w2, &h2, mode);
    fclose(f);
    if (bool(own) != headerRead || w2 != w || h2 != h) abort();
    if (intoSmall && memcmp(own, small, size_t(w) * size_t(h) * 4) != 0) abort();

    int32_t across = -1, down = -1;
    f = openInput(data, size);
    uint32_t **tiles = loadTextureMatrixFromStream(f, &across, &down, mode);
    fclose(f);
    if (bool(tiles) != headerRead) abort();
    if (tiles) {
      if (across != (w + 255) / 256 || down != (h + 255) / 256) abort();
      // The tiles hold the same texels, except that the grey-to-white mode
      // whitens every one of them there.
      for (int32_t y = 0; y < h; y++)
        for (int32_t x = 0; x < w; x++) {
          uint32_t expected = own[size_t(y) * w + x];
          if (mode == ALPHA_GREY_TO_WHITE) expected |= 0x00FFFFFFu;
          if (tiles[x / 256 + across * (y / 256)][(y % 256) * 256 + x % 256] != expected) abort();
        }
      for (int32_t i = 0; i < across * down; i++) delete[] tiles[i];
      delete[] tiles;
    }
    delete[] own;
  }
  delete[] small;
  stdout = savedOut;
  stderr = savedErr;
  return 0;
}
