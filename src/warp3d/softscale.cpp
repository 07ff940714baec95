// A finished picture scaled into a rectangle of a window's image: bilinear,
// as the GPU scales it (pixel centres sampled, edges repeated, positions
// and both mixes rounded to the nearest 1/256), across first, then down.
// Each picture row a thread needs is scaled across once into a row of the
// output's width; each output row then mixes two such rows.
#include <cstring>
#include <new>
#include <utility>

#include "warp3d/softedges.h"
#include "warp3d/softlanes.h"
#include "warp3d/softraster.h"

namespace {

using namespace softlanes;

// Where an output pixel samples: picture pixel first, and the weight of the
// one after it, w (0..256, so that the last pixel is reached without
// reading beyond it), kept as the pair w << 16 | (256 - w) that SSE2
// multiplies by.
struct Step {
  int32_t first;
  uint32_t weights;
};

Step step(int32_t first, uint32_t w) { return Step{first, w << 16 | (256 - w)}; }

// Output pixel i of count, over a picture side of size (at least 2) pixels.
Step stepFor(int64_t i, int64_t count, int64_t size) {
  // (i + 0.5) * size / count - 0.5 pixels, to the nearest 1/256.
  int64_t position = softedges::floorDiv(2 * ((2 * i + 1) * size * 256 - count * 256) + 2 * count, 4 * count);
  if (position <= 0) return step(0, 0);
  if (position >= (size - 1) * 256) return step(int32_t(size - 2), 256);
  return step(int32_t(position >> 8), uint32_t(position & 255));
}

inline uint32_t mixAcross(const uint32_t *in, Step at) {
  return lerpPixels<128>(in[at.first], in[at.first + 1], at.weights >> 16);
}

#ifdef W3D_SOFT_SSE2
void scaleAcross(const uint32_t *in, const Step *steps, uint32_t *out, int count) {
  const __m128i zero = _mm_setzero_si128(), half = _mm_set1_epi32(128);
  int i = 0;
  for (; i + 2 <= count; i += 2) {  // two output pixels at a time
    __m128i a = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + steps[i].first));
    __m128i b = _mm_loadl_epi64(reinterpret_cast<const __m128i *>(in + steps[i + 1].first));
    __m128i both = _mm_unpacklo_epi32(a, b);  // a's left, b's left, a's right, b's right
    __m128i pairs = _mm_unpacklo_epi8(both, _mm_srli_si128(both, 8));  // each channel's left and right side by side
    __m128i twoSteps = _mm_loadu_si128(reinterpret_cast<const __m128i *>(steps + i));
    __m128i first = _mm_madd_epi16(_mm_unpacklo_epi8(pairs, zero), _mm_shuffle_epi32(twoSteps, 0x55));
    __m128i second = _mm_madd_epi16(_mm_unpackhi_epi8(pairs, zero), _mm_shuffle_epi32(twoSteps, 0xFF));
    __m128i mixed =
        _mm_packs_epi32(_mm_srli_epi32(_mm_add_epi32(first, half), 8), _mm_srli_epi32(_mm_add_epi32(second, half), 8));
    _mm_storel_epi64(reinterpret_cast<__m128i *>(out + i), _mm_packus_epi16(mixed, mixed));
  }
  for (; i < count; i++) out[i] = mixAcross(in, steps[i]);
}

void mixDown(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out, int count) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i up = _mm_set1_epi16(short(256 - w)), down = _mm_set1_epi16(short(w)), half = _mm_set1_epi16(128);
  int i = 0;
  for (; i + 4 <= count; i += 4) {  // four pixels at a time; a channel x 256 + 128 fits 16 bits
    __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i *>(upper + i));
    __m128i l = _mm_loadu_si128(reinterpret_cast<const __m128i *>(lower + i));
    __m128i low = _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(u, zero), up),
                                _mm_add_epi16(_mm_mullo_epi16(_mm_unpacklo_epi8(l, zero), down), half));
    __m128i high = _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(u, zero), up),
                                 _mm_add_epi16(_mm_mullo_epi16(_mm_unpackhi_epi8(l, zero), down), half));
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i),
                     _mm_packus_epi16(_mm_srli_epi16(low, 8), _mm_srli_epi16(high, 8)));
  }
  for (; i < count; i++) out[i] = lerpPixels<128>(upper[i], lower[i], w);
}
#else
void scaleAcross(const uint32_t *in, const Step *steps, uint32_t *out, int count) {
  for (int i = 0; i < count; i++) out[i] = mixAcross(in, steps[i]);
}

void mixDown(const uint32_t *upper, const uint32_t *lower, uint32_t w, uint32_t *out, int count) {
  for (int i = 0; i < count; i++) out[i] = lerpPixels<128>(upper[i], lower[i], w);
}
#endif

}  // namespace

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
  Step *steps = new (std::nothrow) Step[size_t(width)];
  if (!rows || !steps) {
    delete[] rows;
    delete[] steps;
    return false;
  }
  for (int x = 0; x < width; x++) steps[x] = stepFor(x, width, picture->width);
  uint32_t *upper = rows, *lower = rows + width;
  int upperRow = -1, lowerRow = -1;
  for (int y = first; y < end; y++, out += pitch) {
    Step down = stepFor(y, rect->h, picture->height);
    if (upperRow != down.first) {
      if (lowerRow == down.first) {  // going down the picture: the lower row becomes the upper one
        std::swap(upper, lower);
        std::swap(upperRow, lowerRow);
      } else {
        scaleAcross(picture->pixels + int64_t(down.first) * picture->width, steps, upper, width);
        upperRow = down.first;
      }
    }
    uint32_t weight = down.weights >> 16;
    if (weight == 0) {
      std::memcpy(out, upper, size_t(width) * 4);
      continue;
    }
    if (lowerRow != down.first + 1) {
      scaleAcross(picture->pixels + int64_t(down.first + 1) * picture->width, steps, lower, width);
      lowerRow = down.first + 1;
    }
    mixDown(upper, lower, weight, out, width);
  }
  delete[] rows;
  delete[] steps;
  return true;
}
