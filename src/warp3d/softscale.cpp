// A finished picture scaled into a rectangle of a window's image: bilinear,
// as the GPU scales it (pixel centres sampled, edges repeated, positions
// and both mixes rounded to the nearest 1/256), across first, then down.
// Each picture row a thread needs is scaled across once into a row of the
// output's width; each output row then mixes two such rows.
#include <cstring>
#ifdef __SSE2__
#include <immintrin.h>
#endif
#include <new>
#include <utility>

#include "warp3d/softedges.h"
#include "warp3d/softlanes.h"
#include "warp3d/softraster.h"

namespace {

using namespace softlanes;

// Where an output pixel samples: picture pixel first, and the weight of the
// one after it (0..256, so that the last pixel is reached without reading
// beyond it).
struct Step {
  int32_t first;
  uint32_t weight;
};

// Output pixel i of count, over a picture side of size (at least 2) pixels.
Step stepFor(int64_t i, int64_t count, int64_t size) {
  // (i + 0.5) * size / count - 0.5 pixels, to the nearest 1/256.
  int64_t position = softedges::floorDiv(2 * ((2 * i + 1) * size * 256 - count * 256) + 2 * count, 4 * count);
  if (position <= 0) return Step{0, 0};
  if (position >= (size - 1) * 256) return Step{int32_t(size - 2), 256};
  return Step{int32_t(position >> 8), uint32_t(position & 255)};
}

// Where every output column samples: its first picture pixel and its
// weights, WEIGHT_LANES 16-bit lanes of them. SSE2 takes two columns at
// once, x and x + 1 (x even): 256 - w of both, once for each channel,
// then w of both.
#ifdef W3D_SOFT_SSE2
constexpr int WEIGHT_LANES = 8;
#else
constexpr int WEIGHT_LANES = 1;
#endif
// Where a picture is enlarged across, every eight output columns from 0 to
// wideEnd sample within nine pixels in a row: AVX2 then takes them with two
// loads and two permutes (offsets: first - the group's first), not eight
// loads, and their weights in the order it mixes them, pixels 0, 1, 4, 5
// and then 2, 3, 6, 7: 256 - w of the four, then w of the four.
struct Columns {
  int32_t *first;
  uint16_t *weights;  // 16-byte aligned, as new gives it
  int32_t *offsets;
  int wideEnd;
};

// The groups of eight from the first on whose nine pixels lie inside a row
// of width pixels.
int wideEndOf(Columns *columns, int count, int width) {
  int end = 0;
  for (; end + 8 <= count; end += 8) {
    int32_t first = columns->first[end];
    if (columns->first[end + 7] - first > 7 || first + 8 >= width) break;
    for (int k = 0; k < 8; k++) columns->offsets[end + k] = columns->first[end + k] - first;
    // The group's weights were made as pairs of columns, 256 - w and w of 0, 1, then of 2, 3, ...
    uint16_t *weights = columns->weights + end * WEIGHT_LANES, pairs[8 * WEIGHT_LANES];
    std::memcpy(pairs, weights, sizeof pairs);
    const int order[8] = {0, 4, 1, 5, 2, 6, 3, 7};
    for (int k = 0; k < 8; k++) std::memcpy(weights + k * 8, pairs + order[k] * 8, 8 * sizeof *pairs);
  }
  return end;
}

void setColumn(Columns *columns, int x, Step at) {
  columns->first[x] = at.first;
  if (WEIGHT_LANES == 1) {
    columns->weights[x] = uint16_t(at.weight);
    return;
  }
  uint16_t *pair = columns->weights + (x & ~1) * WEIGHT_LANES;
  for (int k = 0; k < 4; k++) {
    pair[(x & 1) * 4 + k] = uint16_t(256 - at.weight);
    pair[8 + (x & 1) * 4 + k] = uint16_t(at.weight);
  }
}

inline uint32_t mixAcross(const uint32_t *in, const Columns &columns, int x) {
  uint32_t weight = WEIGHT_LANES == 1 ? columns.weights[x] : columns.weights[(x & ~1) * WEIGHT_LANES + 8 + (x & 1) * 4];
  return lerpPixels<128>(in[columns.first[x]], in[columns.first[x] + 1], weight);
}

#ifdef W3D_SOFT_SSE2
// Where the machine has AVX2, eight pixels are taken at a time where SSE2
// takes four, with the same arithmetic: half the work of the scaling.
#define WIDE __attribute__((target("avx2")))

bool machineHasAvx2() {
  __builtin_cpu_init();
  return __builtin_cpu_supports("avx2");
}

// Two output pixels on 16-bit lanes: left pixel x (256 - w) + right pixel
// x w + 128, shifted down. A channel x 256 + 128 fits 16 bits.
inline __m128i mixTwo(const uint32_t *in, const Columns &columns, int i, __m128i zero, __m128i half) {
  __m128i a = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + columns.first[i])), zero);
  __m128i b = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + columns.first[i + 1])), zero);
  const __m128i *weights = reinterpret_cast<const __m128i *>(columns.weights + i * WEIGHT_LANES);
  __m128i left = _mm_mullo_epi16(_mm_unpacklo_epi64(a, b), _mm_load_si128(weights));
  __m128i right = _mm_mullo_epi16(_mm_unpackhi_epi64(a, b), _mm_load_si128(weights + 1));
  return _mm_srli_epi16(_mm_add_epi16(_mm_add_epi16(left, right), half), 8);
}

// The picture pixel pairs of columns k and k + 1, side by side.
WIDE inline __m128i pairsOf(const uint32_t *in, const Columns &columns, int k) {
  return _mm_unpacklo_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + columns.first[k])),
                            _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + columns.first[k + 1])));
}

WIDE inline __m256i twice(__m128i low, __m128i high) {
  return _mm256_inserti128_si256(_mm256_castsi128_si256(low), high, 1);
}

// mixTwo for pixels i, i + 1 (low half) and i + 4, i + 5 (high half).
WIDE inline __m256i mixTwoTwice(const uint32_t *in, const Columns &columns, int i, __m256i zero, __m256i half) {
  __m256i both = twice(pairsOf(in, columns, i), pairsOf(in, columns, i + 4));
  __m256i first = _mm256_unpacklo_epi8(both, zero), second = _mm256_unpackhi_epi8(both, zero);
  const __m128i *weights = reinterpret_cast<const __m128i *>(columns.weights + i * WEIGHT_LANES);
  __m256i left = _mm256_mullo_epi16(_mm256_unpacklo_epi64(first, second),
                                    twice(_mm_load_si128(weights), _mm_load_si128(weights + 4)));
  __m256i right = _mm256_mullo_epi16(_mm256_unpackhi_epi64(first, second),
                                     twice(_mm_load_si128(weights + 1), _mm_load_si128(weights + 5)));
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(left, right), half), 8);
}

// The picture's pixels of eight output columns, one 32-bit lane each.
WIDE inline __m256i gather(const uint32_t *in, __m256i offsets) {
  return _mm256_permutevar8x32_epi32(_mm256_loadu_si256(reinterpret_cast<const __m256i *>(in)), offsets);
}

// mixTwoTwice for the columns of a group from wideEnd's: its left pixels
// and right pixels gathered first, each a row of eight.
WIDE inline __m256i mixGathered(__m256i left, __m256i right, const uint16_t *weights, __m256i half) {
  __m256i l = _mm256_mullo_epi16(left, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(weights)));
  __m256i r = _mm256_mullo_epi16(right, _mm256_loadu_si256(reinterpret_cast<const __m256i *>(weights + 16)));
  return _mm256_srli_epi16(_mm256_add_epi16(_mm256_add_epi16(l, r), half), 8);
}

// Scales pixels 0 .. 8n - 1 of the row; returns 8n.
WIDE int scaleAcrossWide(const uint32_t *in, const Columns &columns, uint32_t *out, int count) {
  const __m256i zero = _mm256_setzero_si256(), half = _mm256_set1_epi16(128);
  int i = 0;
  for (; i < columns.wideEnd; i += 8) {
    const uint32_t *from = in + columns.first[i];
    __m256i offsets = _mm256_loadu_si256(reinterpret_cast<const __m256i *>(columns.offsets + i));
    __m256i left = gather(from, offsets), right = gather(from + 1, offsets);
    const uint16_t *weights = columns.weights + i * WEIGHT_LANES;
    // Pixels 0, 1, 4, 5 on the low halves of the lanes, 2, 3, 6, 7 on the high.
    _mm256_storeu_si256(
        reinterpret_cast<__m256i *>(out + i),
        _mm256_packus_epi16(
            mixGathered(_mm256_unpacklo_epi8(left, zero), _mm256_unpacklo_epi8(right, zero), weights, half),
            mixGathered(_mm256_unpackhi_epi8(left, zero), _mm256_unpackhi_epi8(right, zero), weights + 32, half)));
  }
  for (; i + 8 <= count; i += 8)
    _mm256_storeu_si256(reinterpret_cast<__m256i *>(out + i),
                        _mm256_packus_epi16(mixTwoTwice(in, columns, i, zero, half),
                                            mixTwoTwice(in, columns, i + 2, zero, half)));
  return i;
}

void scaleAcross(const uint32_t *in, const Columns &columns, uint32_t *out, int count) {
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi16(128);
  int i = w3d_SoftWide ? scaleAcrossWide(in, columns, out, count) : 0;
  for (; i + 4 <= count; i += 4)
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                     _mm_packus_epi16(mixTwo(in, columns, i, zero, half), mixTwo(in, columns, i + 2, zero, half)));
  for (; i < count; i++) out[i] = mixAcross(in, columns, i);
}

// N pixels mixed down at once (4 with SSE2, 8 with AVX2, where it is
// inlined into a function for AVX2). A channel x 256 + 128 fits 16 bits.
template <int N>
struct Run {
  typedef uint8_t Bytes __attribute__((vector_size(4 * N)));
  typedef uint16_t Channels __attribute__((vector_size(8 * N)));
};

template <int N>
__attribute__((always_inline)) inline void mixDownRun(const uint32_t *upper, const uint32_t *lower, uint32_t w,
                                                      typename Run<N>::Bytes *out) {
  using Channels = typename Run<N>::Channels;
  typename Run<N>::Bytes u, l;
  std::memcpy(&u, upper, sizeof u);
  std::memcpy(&l, lower, sizeof l);
  Channels mixed = (__builtin_convertvector(u, Channels) * uint16_t(256 - w) +
                    __builtin_convertvector(l, Channels) * uint16_t(w) + 128) >> 8;
  *out = __builtin_convertvector(mixed, typename Run<N>::Bytes);
}

// The output goes to the window's image, far larger than the caches, and
// is read next by the X server: it is streamed to memory without being
// read into the cache first, which would double the memory traffic. From
// pixel i on (out + i 32-byte aligned); returns where it stopped.
WIDE int mixDownWide(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out, int i, int count) {
  for (; i + 8 <= count; i += 8) {
    Run<8>::Bytes mixed;
    mixDownRun<8>(upper + i, lower + i, w, &mixed);
    _mm256_stream_si256(reinterpret_cast<__m256i *>(out + i), reinterpret_cast<__m256i &>(mixed));
  }
  return i;
}

void mixDown(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out, int count) {
  int i = 0;
  for (; i < count && reinterpret_cast<uintptr_t>(out + i) % 32 != 0; i++) out[i] = lerpPixels<128>(upper[i], lower[i], w);
  if (w3d_SoftWide) i = mixDownWide(upper, lower, w, out, i, count);
  for (; i + 4 <= count; i += 4) {
    Run<4>::Bytes mixed;
    mixDownRun<4>(upper + i, lower + i, w, &mixed);
    _mm_stream_si128(reinterpret_cast<__m128i *>(out + i), reinterpret_cast<__m128i &>(mixed));
  }
  for (; i < count; i++) out[i] = lerpPixels<128>(upper[i], lower[i], w);
}

// The streamed pixels reach memory before anyone is told of them.
void finishRows() { _mm_sfence(); }
#else
void scaleAcross(const uint32_t *in, const Columns &columns, uint32_t *out, int count) {
  for (int i = 0; i < count; i++) out[i] = mixAcross(in, columns, i);
}

void mixDown(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out, int count) {
  for (int i = 0; i < count; i++) out[i] = lerpPixels<128>(upper[i], lower[i], w);
}

void finishRows() {}
#endif

}  // namespace

#ifdef W3D_SOFT_SSE2
bool w3d_SoftWide = machineHasAvx2();
#else
bool w3d_SoftWide = false;
#endif

bool w3d_SoftScale(const W3D_SoftImage *picture, uint32_t *pixels, int64_t pitch, const SDL_Rect *rect, int part,
                   int parts) {
  int first = int(int64_t(rect->h) * part / parts), end = int(int64_t(rect->h) * (part + 1) / parts);
  int width = rect->w;
  if (first >= end || width <= 0) return true;
  uint32_t *out = pixels + (rect->y + first) * pitch + rect->x;
  if (width == picture->width && rect->h == picture->height) {  // the same size: each pixel as it is
    for (int y = first; y < end; y++, out += pitch)
      std::memcpy(out, picture->pixels + int64_t(y) * picture->width, size_t(width) * 4);
    return true;
  }
  if (picture->width < 2 || picture->height < 2) return false;
  // Two picture rows scaled across (the pair the last output row mixed),
  // and where each output column samples.
  uint32_t *rows = new (std::nothrow) uint32_t[size_t(width) * 2];
  Columns columns{new (std::nothrow) int32_t[size_t(width)], new (std::nothrow) uint16_t[size_t(width + 1) * WEIGHT_LANES],
                  new (std::nothrow) int32_t[size_t(width)], 0};
  if (!rows || !columns.first || !columns.weights || !columns.offsets) {
    delete[] rows;
    delete[] columns.first;
    delete[] columns.weights;
    delete[] columns.offsets;
    return false;
  }
  for (int x = 0; x < width; x++) setColumn(&columns, x, stepFor(x, width, picture->width));
  if (w3d_SoftWide) columns.wideEnd = wideEndOf(&columns, width, picture->width);
  uint32_t *upper = rows, *lower = rows + width;
  int upperRow = -1, lowerRow = -1;
  for (int y = first; y < end; y++, out += pitch) {
    Step down = stepFor(y, rect->h, picture->height);
    if (upperRow != down.first) {
      if (lowerRow == down.first) {  // going down the picture: the lower row becomes the upper one
        std::swap(upper, lower);
        std::swap(upperRow, lowerRow);
      } else {
        scaleAcross(picture->pixels + int64_t(down.first) * picture->width, columns, upper, width);
        upperRow = down.first;
      }
    }
    if (down.weight == 0) {  // the row alone, as it is
      mixDown(upper, upper, 0, out, width);
      continue;
    }
    if (lowerRow != down.first + 1) {
      scaleAcross(picture->pixels + int64_t(down.first + 1) * picture->width, columns, lower, width);
      lowerRow = down.first + 1;
    }
    mixDown(upper, lower, down.weight, out, width);
  }
  finishRows();
  delete[] rows;
  delete[] columns.first;
  delete[] columns.weights;
  delete[] columns.offsets;
  return true;
}
