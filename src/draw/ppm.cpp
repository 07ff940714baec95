// Reading "P6" pictures into ARGB texels: the header, the four conversion
// modes, the whole-picture loader and the 256x256 tile loader.
#include "draw/ppm.h"

#include <limits.h>

#include <algorithm>
#include <cerrno>
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/files.h"

namespace {

// Buffered single-byte reads. Past the end of the file every byte reads as
// 255: the end-of-file result with only its low 8 bits kept.
struct ByteReader {
  FILE *file;
  unsigned char data[16384];
  size_t pos = 0, len = 0;
  bool atEnd = false;

  explicit ByteReader(FILE *f) : file(f) {}

  // The next byte, or -1 at the end of the file.
  int next() {
    if (pos == len) {
      if (atEnd) return -1;
      len = fread(data, 1, sizeof data, file);
      pos = 0;
      if (len == 0) {
        atEnd = true;
        return -1;
      }
    }
    return data[pos++];
  }
  // The next byte, or -1 at the end of the file, without taking it.
  int peek() {
    int c = next();
    if (c >= 0) pos--;
    return c;
  }
  uint32_t sample() { return uint32_t(next()) & 0xFFu; }
};

bool isBlank(int c) { return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r'; }

void skipBlanks(ByteReader &in) {
  while (isBlank(in.peek())) in.next();
}

// A decimal number with an optional sign, as "%ld" reads it after the blanks.
// Values too large to matter are clamped: the caller refuses them anyway.
bool readNumber(ByteReader &in, long *value) {
  skipBlanks(in);
  bool negative = false;
  int c = in.peek();
  if (c == '+' || c == '-') {
    negative = c == '-';
    in.next();
  }
  int digits = 0;
  long n = 0;
  while ((c = in.peek()) >= '0' && c <= '9') {
    in.next();
    if (n <= PPM_MAX_SIDE) n = n * 10 + (c - '0');
    digits++;
  }
  *value = negative ? -n : n;
  return digits > 0;
}

// "P6", width, height, "255" and one blank byte (or the end of the file).
bool readHeader(ByteReader &in, int32_t *width, int32_t *height) {
  if (in.next() != 'P' || in.next() != '6') return false;
  long w, h;
  if (!readNumber(in, &w) || !readNumber(in, &h)) return false;
  if (w < 1 || w > PPM_MAX_SIDE || h < 1 || h > PPM_MAX_SIDE) return false;
  // Only one-byte samples are read: any other maximum value is refused.
  skipBlanks(in);
  if (in.next() != '2' || in.next() != '5' || in.next() != '5') return false;
  int end = in.next();
  if (end >= 0 && !isBlank(end)) return false;
  *width = int32_t(w);
  *height = int32_t(h);
  return true;
}

void reportNoPPM() { printf("Error: This seems to be no PPM file\n"); }

// The loader's own line on standard output, then what it means on
// standard error: where the file was looked for and why it could not be read.
void reportUnopened(const char *filename) {
  int error = errno;
  printf("Error: Unable to open file '%s'\n", filename);
  fflush(stdout);
  char path[PATH_MAX];
  fprintf(stderr, "musicdisk: cannot read the picture %s: %s; it stays blank\n",
          resolvePath(filename, path, sizeof path) ? path : filename, strerror(error));
}
void reportOutOfMemory() { printf("Error: Out of memory\n"); }

// One pixel as a texel. The tile loader whitens every pixel in
// ALPHA_GREY_TO_WHITE; the whole-picture loader only the grey ones.
inline uint32_t makeTexel(uint32_t r, uint32_t g, uint32_t b, int mode, bool tileLoader) {
  uint32_t mean = (r + g + b) / 3;
  uint32_t a;
  switch (mode) {
    case ALPHA_LUMINANCE:
      a = mean;
      break;
    case ALPHA_OPAQUE:
      a = 255;
      break;
    case ALPHA_GREY_TO_WHITE:
      a = mean;
      if (tileLoader || (r == g && g == b)) r = g = b = 255;
      break;
    default:  // ALPHA_KEY_BLACK and every unknown mode
      a = (r | g | b) ? 255 : 0;
      break;
  }
  return a << 24 | r << 16 | g << 8 | b;
}

inline uint32_t readTexel(ByteReader &in, int mode, bool tileLoader) {
  uint32_t r = in.sample();
  uint32_t g = in.sample();
  uint32_t b = in.sample();
  return makeTexel(r, g, b, mode, tileLoader);
}

}  // namespace

uint32_t *loadTextureFromStream(FILE *file, uint32_t *buffer, size_t bufferTexels, int32_t *width, int32_t *height,
                                int mode) {
  ByteReader in(file);
  int32_t w, h;
  if (!readHeader(in, &w, &h)) {
    reportNoPPM();
    return nullptr;
  }
  if (width) *width = w;
  if (height) *height = h;

  size_t texels = size_t(w) * size_t(h);
  if (buffer && texels > bufferTexels) {
    // Larger than the caller's buffer: refused rather than written past it.
    reportNoPPM();
    return nullptr;
  }
  uint32_t *out = buffer ? buffer : new (std::nothrow) uint32_t[texels];
  if (!out) {
    reportOutOfMemory();
    return nullptr;
  }

  size_t i = 0;
  while (i < texels && !in.atEnd) out[i++] = readTexel(in, mode, false);
  // A file cut short: what is left reads as 255, 255, 255.
  if (i < texels) std::fill(out + i, out + texels, makeTexel(255, 255, 255, mode, false));
  return out;
}

uint32_t **loadTextureMatrixFromStream(FILE *file, int32_t *tilesAcross, int32_t *tilesDown, int mode) {
  ByteReader in(file);
  int32_t w, h;
  if (!readHeader(in, &w, &h)) {
    reportNoPPM();
    return nullptr;
  }
  int32_t across = (w + PPM_TILE_SIDE - 1) / PPM_TILE_SIDE;
  int32_t down = (h + PPM_TILE_SIDE - 1) / PPM_TILE_SIDE;
  fprintf(stderr, "Dimensions: %d/%d %d/%d\n", w, h, across, down);

  int32_t count = across * down;
  uint32_t **matrix = new (std::nothrow) uint32_t *[count];
  if (!matrix) {
    reportOutOfMemory();
    return nullptr;
  }
  for (int32_t i = 0; i < count; i++) {
    fprintf(stderr, "%d Before texture allocation!\n", i);
    // Zeroed, so that the parts of edge tiles outside the picture are
    // transparent black rather than whatever the memory held.
    matrix[i] = new (std::nothrow) uint32_t[PPM_TILE_TEXELS]();
    fprintf(stderr, "%d After! %" PRIuPTR "\n", i, uintptr_t(matrix[i]));
    if (!matrix[i]) {
      for (int32_t j = 0; j < i; j++) {
        fprintf(stderr, "%d %d\n", i, j);
        delete[] matrix[j];
      }
      delete[] matrix;
      reportOutOfMemory();
      return nullptr;
    }
  }
  if (tilesAcross) *tilesAcross = across;
  if (tilesDown) *tilesDown = down;

  for (int32_t y = 0; y < h; y++) {
    uint32_t **tileRow = matrix + size_t(across) * (y / PPM_TILE_SIDE);
    size_t rowOffset = size_t(y % PPM_TILE_SIDE) * PPM_TILE_SIDE;
    for (int32_t x = 0; x < w; x++)
      tileRow[x / PPM_TILE_SIDE][rowOffset + x % PPM_TILE_SIDE] = readTexel(in, mode, true);
  }
  fprintf(stderr, "Vector element allocated and loaded!\n");
  return matrix;
}

uint32_t *LoadTextureFromPPM(uint32_t *buffer, const char *filename, int32_t *width, int32_t *height, int mode,
                             size_t bufferTexels) {
  FILE *file = openFile(filename, "r");
  if (!file) {
    reportUnopened(filename);
    return nullptr;
  }
  uint32_t *result = loadTextureFromStream(file, buffer, bufferTexels, width, height, mode);
  fclose(file);
  return result;
}

uint32_t **LoadTextureMatrixFromPPM(const char *filename, int32_t *tilesAcross, int32_t *tilesDown, int mode) {
  FILE *file = openFile(filename, "r");
  if (!file) {
    reportUnopened(filename);
    return nullptr;
  }
  uint32_t **result = loadTextureMatrixFromStream(file, tilesAcross, tilesDown, mode);
  fclose(file);
  return result;
}
