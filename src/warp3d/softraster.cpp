// Triangles filled on the CPU: edge functions on a 1/256 pixel grid, one
// span per row, texture coordinates stepped in 32.32 fixed point, bilinear
// filtering and blending with SSE2 (blended spans along a texel row four
// pixels at a time with AVX2) or, without it, on two colour channels of a
// word at once (softlanes.h).
#include "warp3d/softraster.h"

#include <algorithm>
#include <climits>
#include <cmath>

#include "warp3d/softedges.h"
#include "warp3d/softlanes.h"
#ifdef W3D_SOFT_SSE2
#include <immintrin.h>
#endif

namespace {

using namespace softedges;
using namespace softlanes;

// The four texels around texel position s, t (16.16 fixed point, texel
// centres at .5 already taken off) and the weights of the right and lower
// ones. CLAMP: the position may lie on or beyond an edge, which repeats.
struct Texels {
  uint32_t p00, p10, p01, p11, wx, wy;
};

template <bool CLAMP>
inline void fetch(const W3D_SoftImage *texture, int32_t s, int32_t t, Texels *q) {
  int32_t x0 = s >> 16, y0 = t >> 16;
  q->wx = (s >> 8) & 255;
  q->wy = (t >> 8) & 255;
  if (!CLAMP) {
    const uint32_t *p = texture->pixels + int64_t(y0) * texture->width + x0;
    q->p00 = p[0];
    q->p10 = p[1];
    q->p01 = p[texture->width];
    q->p11 = p[texture->width + 1];
    return;
  }
  int32_t x1 = x0 + 1, y1 = y0 + 1;
  int32_t lastX = texture->width - 1, lastY = texture->height - 1;
  x0 = x0 < 0 ? 0 : (x0 > lastX ? lastX : x0);
  x1 = x1 < 0 ? 0 : (x1 > lastX ? lastX : x1);
  y0 = y0 < 0 ? 0 : (y0 > lastY ? lastY : y0);
  y1 = y1 < 0 ? 0 : (y1 > lastY ? lastY : y1);
  const uint32_t *row0 = texture->pixels + int64_t(y0) * texture->width;
  const uint32_t *row1 = texture->pixels + int64_t(y1) * texture->width;
  q->p00 = row0[x0];
  q->p10 = row0[x1];
  q->p01 = row1[x0];
  q->p11 = row1[x1];
}

// One attribute over the triangle: value = at0 + dx * (x - x0) + dy * (y - y0).
struct Plane {
  double at0, dx, dy;
};

struct Setup {
  double x0, y0, e1x, e1y, e2x, e2y, det;
};

Plane plane(const Setup &s, double f0, double f1, double f2) {
  double d1 = f1 - f0, d2 = f2 - f0;
  return Plane{f0, (d1 * s.e2y - d2 * s.e1y) / s.det, (d2 * s.e1x - d1 * s.e2x) / s.det};
}

double at(const Plane &p, const Setup &s, double x, double y) { return p.at0 + p.dx * (x - s.x0) + p.dy * (y - s.y0); }

struct Colour {
  uint32_t r, g, b, a;
};

// The filtering, tinting and blending of one pixel, on either path. Each
// path has: Mixed (a filtered texel), Tint (the vertex colour as the path
// wants it), Factors (blend factors kept across a span), quad() (four
// texels to their rows, ready to mix), mix() (a quad mixed by its weights,
// across first, then down), column() and across() (the same two steps
// taken apart, for spans along one texel row) and shade().
#ifdef W3D_SOFT_SSE2
// b, g, r, a on the low four 16-bit lanes.
using Mixed = __m128i;
using Tint = __m128i;

Tint tintOf(Colour c) { return _mm_set_epi16(0, 0, 0, 0, short(c.a), short(c.r), short(c.g), short(c.b)); }

// x * y / 255 rounded, on 16-bit lanes.
inline __m128i mul8x8(__m128i x, __m128i y) {
  __m128i v = _mm_add_epi16(_mm_mullo_epi16(x, y), _mm_set1_epi16(128));
  return _mm_srli_epi16(_mm_add_epi16(v, _mm_srli_epi16(v, 8)), 8);
}

// The two rows of a texel quad as pairs: b, g, r, a of the left and right
// texel side by side on 16-bit lanes.
struct Quad {
  __m128i upper, lower;
};

inline Quad quad(const Texels &q) {
  const __m128i zero = _mm_setzero_si128();
  return Quad{
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(q.p00)), _mm_cvtsi32_si128(int(q.p10))), zero),
      _mm_unpacklo_epi8(_mm_unpacklo_epi8(_mm_cvtsi32_si128(int(q.p01)), _mm_cvtsi32_si128(int(q.p11))), zero)};
}

// Each step is one multiply-add of pairs with the weight pair (256 - w, w),
// taken from a table: made afresh for every pixel it cost a tenth of the
// drawing.
struct WeightPairs {
  alignas(16) uint32_t lanes[256][4];
};
constexpr WeightPairs makeWeightPairs() {
  WeightPairs table{};
  for (uint32_t w = 0; w < 256; w++)
    for (uint32_t &lane : table.lanes[w]) lane = w << 16 | (256 - w);
  return table;
}
constexpr WeightPairs WEIGHT_PAIRS = makeWeightPairs();

inline __m128i weights(uint32_t w) { return _mm_load_si128(reinterpret_cast<const __m128i *>(WEIGHT_PAIRS.lanes[w])); }

inline Mixed mix(const Quad &q, uint32_t wx, uint32_t wy) {
  __m128i across = weights(wx);
  __m128i top = _mm_srli_epi32(_mm_madd_epi16(q.upper, across), 8);
  __m128i bottom = _mm_srli_epi32(_mm_madd_epi16(q.lower, across), 8);
  __m128i mixed = _mm_srli_epi32(_mm_madd_epi16(_mm_or_si128(top, _mm_slli_epi32(bottom, 16)), weights(wy)), 8);
  return _mm_packs_epi32(mixed, mixed);
}

// A texel column mixed down by weight wy: b, g, r, a on 32-bit lanes.
using Column = __m128i;
inline Column column(const uint32_t *upper, int64_t width, uint32_t wy) {
  __m128i pair = _mm_unpacklo_epi8(
      _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(upper[0])), _mm_cvtsi32_si128(int(upper[width]))), _mm_setzero_si128());
  return _mm_srli_epi32(_mm_madd_epi16(pair, weights(wy)), 8);
}

inline Mixed across(Column left, Column right, uint32_t wx) {
  __m128i mixed = _mm_srli_epi32(_mm_madd_epi16(_mm_or_si128(left, _mm_slli_epi32(right, 16)), weights(wx)), 8);
  return _mm_packs_epi32(mixed, mixed);
}

// The blend factors of the last alpha seen: a span mostly keeps one alpha.
struct Factors {
  uint32_t a = 256;  // none yet
  __m128i source = _mm_setzero_si128(), destination = _mm_setzero_si128();
};

// Tints a filtered texel and writes or blends it into *out. False: it was
// transparent and *out stays as it is.
template <bool MODULATE>
inline bool shade(Mixed source, uint32_t *out, Tint tint, bool blend, Factors *factors) {
  if (MODULATE) source = mul8x8(source, tint);
  uint32_t a = uint32_t(_mm_extract_epi16(source, 3));
  if (blend) {
    if (a == 0) return false;
    if (a != 255) {
      if (a != factors->a) {
        factors->a = a;
        factors->source = _mm_set_epi16(0, 0, 0, 0, 255, short(a), short(a), short(a));
        factors->destination = _mm_set1_epi16(short(255 - a));
      }
      __m128i destination = _mm_unpacklo_epi8(_mm_cvtsi32_si128(int(*out)), _mm_setzero_si128());
      source = _mm_add_epi16(mul8x8(source, factors->source), mul8x8(destination, factors->destination));
    }
  }
  *out = uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(source, source)));
  return true;
}

// A blended span along one texel row (as fillRow) four pixels at a time,
// where the machine has AVX2, with shade()'s arithmetic: every pixel is
// blended by its own alpha, which gives a transparent pixel back as it was
// and an opaque one as the source, and only the pixels not transparent
// count as written. The texel columns the span crosses are mixed down
// first, each beside the next. Returns the pixels done, a multiple of
// four; the rest are the caller's.
constexpr int64_t WIDE_COLUMNS = 512;
#define WIDE __attribute__((target("avx2")))

WIDE inline __m256i mul8x8Wide(__m256i x, __m256i y) {
  __m256i v = _mm256_add_epi16(_mm256_mullo_epi16(x, y), _mm256_set1_epi16(128));
  return _mm256_srli_epi16(_mm256_add_epi16(v, _mm256_srli_epi16(v, 8)), 8);
}

// Each pixel's lane 0 or 3 on all four of its lanes.
template <int LANE>
WIDE inline __m256i spread(__m256i v) {
  return _mm256_shufflehi_epi16(_mm256_shufflelo_epi16(v, LANE * 0x55), LANE * 0x55);
}

template <bool MODULATE>
WIDE int64_t blendRowWide(uint32_t *out, int64_t count, const W3D_SoftImage *texture, int64_t s, int64_t t, int64_t ds,
                          Colour colour, uint64_t *written) {
  int64_t n = count & ~int64_t(3), first = s >> 32;
  if (n == 0 || ds <= 0 || ((s + (n - 1) * ds) >> 32) + 2 - first > WIDE_COLUMNS) return 0;
  uint32_t wy = uint32_t(t >> 24) & 255;
  const uint32_t *row = texture->pixels + (t >> 32) * texture->width;
  __m128i pairs[WIDE_COLUMNS];  // columns x and x + 1 of the row, b, g, r, a each
  __m128i left = _mm_packs_epi32(column(row + first, texture->width, wy), _mm_setzero_si128());
  for (int64_t x = first; x <= (s + (n - 1) * ds) >> 32; x++) {
    __m128i right = _mm_packs_epi32(column(row + x + 1, texture->width, wy), _mm_setzero_si128());
    pairs[x - first] = _mm_unpacklo_epi64(left, right);
    left = right;
  }
  const __m256i tint = _mm256_set1_epi64x(int64_t(colour.b | uint64_t(colour.g) << 16 | uint64_t(colour.r) << 32 |
                                                  uint64_t(colour.a) << 48));
  const __m256i colours = _mm256_set1_epi64x(0xFFFFFFFFFFFF), opaque = _mm256_set1_epi64x(int64_t(255) << 48);
  const __m256i whole = _mm256_set1_epi16(256), full = _mm256_set1_epi16(255), zero = _mm256_setzero_si256();
  __m256i position = _mm256_set_epi64x(s + 3 * ds, s + 2 * ds, s + ds, s), step = _mm256_set1_epi64x(4 * ds);
  for (int64_t i = 0; i < n; i += 4, s += 4 * ds, position = _mm256_add_epi64(position, step)) {
    const __m128i *p = pairs - first;
    __m128i p0 = p[s >> 32], p1 = p[(s + ds) >> 32], p2 = p[(s + 2 * ds) >> 32], p3 = p[(s + 3 * ds) >> 32];
    // Pixels 0 and 1 on the low half, 2 and 3 on the high one.
    __m256i l = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpacklo_epi64(p0, p1)), _mm_unpacklo_epi64(p2, p3), 1);
    __m256i r = _mm256_inserti128_si256(_mm256_castsi128_si256(_mm_unpackhi_epi64(p0, p1)), _mm_unpackhi_epi64(p2, p3), 1);
    __m256i w = spread<0>(_mm256_and_si256(_mm256_srli_epi64(position, 24), _mm256_set1_epi64x(255)));
    __m256i source = _mm256_srli_epi16(
        _mm256_add_epi16(_mm256_mullo_epi16(l, _mm256_sub_epi16(whole, w)), _mm256_mullo_epi16(r, w)), 8);
    if (MODULATE) source = mul8x8Wide(source, tint);
    __m256i a = spread<3>(source);
    // All four transparent: the pixels stay; all four opaque: the source.
    uint32_t clear = uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi16(a, zero)));
    if (clear == ~0u) continue;
    *written += 4 - uint64_t(__builtin_popcount(clear)) / 8;
    if (uint32_t(_mm256_movemask_epi8(_mm256_cmpeq_epi16(a, full))) != ~0u) {
      __m256i destination = _mm256_cvtepu8_epi16(_mm_loadu_si128(reinterpret_cast<const __m128i *>(out + i)));
      source = _mm256_add_epi16(mul8x8Wide(source, _mm256_or_si256(_mm256_and_si256(a, colours), opaque)),
                                mul8x8Wide(destination, _mm256_sub_epi16(full, a)));
    }
    __m256i packed = _mm256_permute4x64_epi64(_mm256_packus_epi16(source, source), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i *>(out + i), _mm256_castsi256_si128(packed));
  }
  return n;
}
#else
// A8R8G8B8 words.
using Mixed = uint32_t;
using Tint = Colour;

Tint tintOf(Colour c) { return c; }

using Quad = Texels;
inline Quad quad(const Texels &q) { return q; }

inline Mixed mix(const Quad &q, uint32_t wx, uint32_t wy) {
  return lerpPixels(lerpPixels(q.p00, q.p10, wx), lerpPixels(q.p01, q.p11, wx), wy);
}

using Column = uint32_t;
inline Column column(const uint32_t *upper, int64_t width, uint32_t wy) { return lerpPixels(upper[0], upper[width], wy); }

inline Mixed across(Column left, Column right, uint32_t wx) { return lerpPixels(left, right, wx); }

struct Factors {};

template <bool MODULATE>
inline bool shade(Mixed source, uint32_t *out, Tint tint, bool blend, Factors *) {
  if (MODULATE)
    source = mul8(source >> 24, tint.a) << 24 | mul8(source >> 16 & 255, tint.r) << 16 |
             mul8(source >> 8 & 255, tint.g) << 8 | mul8(source & 255, tint.b);
  uint32_t a = source >> 24;
  if (blend && a != 255) {
    if (a == 0) return false;
    // source * a + destination * (1 - a); alpha: a + destination alpha * (1 - a).
    uint32_t destination = *out, ia = 255 - a;
    uint32_t rb = mulLanes(source & LANES, a) + mulLanes(destination & LANES, ia);
    uint32_t g = mul8(source >> 8 & 255, a) + mul8(destination >> 8 & 255, ia);
    source = (a + mul8(destination >> 24, ia)) << 24 | rb | g << 8;
  }
  *out = source;
  return true;
}
#endif

// A span along one texel row (the texture does not move down it) that
// needs no clamping: each texel column is mixed down once, and each pixel
// only mixes the two columns around it, which a magnified texture shares
// between several pixels.
template <bool MODULATE>
uint64_t fillRow(uint32_t *out, int64_t count, const W3D_SoftImage *texture, int64_t s, int64_t t, int64_t ds,
                 Colour colour, bool blend) {
  uint64_t written = 0;
#ifdef W3D_SOFT_SSE2
  if (blend && w3d_SoftWide) {
    int64_t done = blendRowWide<MODULATE>(out, count, texture, s, t, ds, colour, &written);
    out += done;
    count -= done;
    s += done * ds;
  }
#endif
  const Tint tint = tintOf(colour);
  uint32_t wy = uint32_t(t >> 24) & 255;
  const uint32_t *row = texture->pixels + (t >> 32) * texture->width;
  int64_t width = texture->width, cached = -2;
  Column left{}, right{};
  bool clear = false;  // blended, and all four texels transparent: the pixels stay as they are
  Factors factors;
  for (int64_t i = 0; i < count; i++, s += ds) {
    int64_t x = s >> 32;
    if (x != cached) {
      left = x == cached + 1 ? right : column(row + x, width, wy);
      right = column(row + x + 1, width, wy);
      cached = x;
      clear = blend && ((row[x] | row[x + width] | row[x + 1] | row[x + 1 + width]) >> 24) == 0;
    }
    if (clear) continue;
    if (shade<MODULATE>(across(left, right, uint32_t(s >> 24) & 255), &out[i], tint, blend, &factors)) written++;
  }
  return written;
}

// Fills count pixels of a row from out on, the texture position starting at
// s, t and moving by ds, dt per pixel (32.32 fixed point).
template <bool MODULATE, bool CLAMP>
uint64_t fillSpan(uint32_t *out, int64_t count, const W3D_SoftImage *texture, int64_t s, int64_t t, int64_t ds,
                  int64_t dt, Colour colour, bool blend) {
  const Tint tint = tintOf(colour);
  uint64_t written = 0;
  Factors factors;
  // A magnified texture gives several pixels in a row the same four texels.
  int64_t cachedX = -1, cachedY = -1;
  Quad cachedQuad{};
  bool clear = false;  // as in fillRow
  for (int64_t i = 0; i < count; i++, s += ds, t += dt) {
    if (!CLAMP) {
      int64_t x = s >> 32, y = t >> 32;
      if (x != cachedX || y != cachedY) {
        Texels q;
        fetch<false>(texture, int32_t(s >> 16), int32_t(t >> 16), &q);
        cachedQuad = quad(q);
        cachedX = x;
        cachedY = y;
        clear = blend && ((q.p00 | q.p10 | q.p01 | q.p11) >> 24) == 0;
      }
      if (clear) continue;
      if (shade<MODULATE>(mix(cachedQuad, uint32_t(s >> 24) & 255, uint32_t(t >> 24) & 255), &out[i], tint, blend,
                          &factors))
        written++;
      continue;
    }
    Texels q;
    fetch<CLAMP>(texture, int32_t(s >> 16), int32_t(t >> 16), &q);
    // All four transparent: blended, the pixel stays as it is.
    if (blend && ((q.p00 | q.p10 | q.p01 | q.p11) >> 24) == 0) continue;
    if (shade<MODULATE>(mix(quad(q), q.wx, q.wy), &out[i], tint, blend, &factors)) written++;
  }
  return written;
}

// Narrows lo..hi to the pixels i where first <= v + i * d <= last.
void narrow(int64_t v, int64_t d, int64_t first, int64_t last, int64_t *lo, int64_t *hi) {
  if (d == 0) {
    if (v < first || v > last) *hi = *lo - 1;
  } else if (d > 0) {
    *lo = std::max(*lo, ceilDiv(first - v, d));
    *hi = std::min(*hi, floorDiv(last - v, d));
  } else {
    *lo = std::max(*lo, ceilDiv(last - v, d));
    *hi = std::min(*hi, floorDiv(first - v, d));
  }
}

// A span in up to three pieces: in the middle, where all four texels of
// every pixel lie inside the texture, no edge is clamped.
template <bool MODULATE>
uint64_t fillSpanAnywhere(uint32_t *out, int64_t count, const W3D_SoftImage *texture, int64_t s, int64_t t,
                          int64_t ds, int64_t dt, Colour colour, bool blend) {
  int64_t lo = 0, hi = count - 1;
  narrow(s, ds, 0, (int64_t(texture->width - 1) << 32) - 1, &lo, &hi);
  narrow(t, dt, 0, (int64_t(texture->height - 1) << 32) - 1, &lo, &hi);
  if (lo > hi) return fillSpan<MODULATE, true>(out, count, texture, s, t, ds, dt, colour, blend);
  uint64_t middle;
  if (dt == 0)
    middle = fillRow<MODULATE>(out + lo, hi - lo + 1, texture, s + lo * ds, t, ds, colour, blend);
  else
    middle = fillSpan<MODULATE, false>(out + lo, hi - lo + 1, texture, s + lo * ds, t + lo * dt, ds, dt, colour, blend);
  return middle + fillSpan<MODULATE, true>(out, lo, texture, s, t, ds, dt, colour, blend) +
         fillSpan<MODULATE, true>(out + hi + 1, count - hi - 1, texture, s + (hi + 1) * ds, t + (hi + 1) * dt, ds, dt,
                                  colour, blend);
}

void drawTriangle(const W3D_SoftImage *target, const SDL_Rect *clip, const W3D_SoftImage *texture,
                  const SDL_Vertex *v0, const SDL_Vertex *v1, const SDL_Vertex *v2, bool blend, int rowPart,
                  int rowStep, W3D_SoftCounts *counts) {
  Outline o;
  if (!outline(v0, v1, v2, clip, &o)) return;
  const SDL_Vertex *const *v = o.v;
  const int64_t *X = o.X, *Y = o.Y;
  const Edge *edges = o.edges;
  int64_t top = o.top, bottom = o.bottom;
  top += ((rowPart - top) % rowStep + rowStep) % rowStep;  // this thread's first row
  if (top > bottom) return;

  bool sameColour = SDL_memcmp(&v[0]->color, &v[1]->color, 4) == 0 && SDL_memcmp(&v[0]->color, &v[2]->color, 4) == 0;
  // Vertex alpha 0 everywhere: every pixel would stay as it is.
  bool invisible = blend && v[0]->color.a == 0 && v[1]->color.a == 0 && v[2]->color.a == 0;
  if (invisible) {
    for (int64_t y = top; y <= bottom; y += rowStep) {
      int64_t first = clip->x, last = clip->x + clip->w - 1;
      if (rowSpan(edges, y, &first, &last)) counts->covered += uint64_t(last - first + 1);
    }
    return;
  }

  Setup s;
  s.x0 = X[0] / double(SUBPIXEL);
  s.y0 = Y[0] / double(SUBPIXEL);
  s.e1x = X[1] / double(SUBPIXEL) - s.x0;
  s.e1y = Y[1] / double(SUBPIXEL) - s.y0;
  s.e2x = X[2] / double(SUBPIXEL) - s.x0;
  s.e2y = Y[2] / double(SUBPIXEL) - s.y0;
  s.det = s.e1x * s.e2y - s.e2x * s.e1y;
  double tw = texture->width, th = texture->height;
  Plane ps = plane(s, v[0]->tex_coord.x * tw - 0.5, v[1]->tex_coord.x * tw - 0.5, v[2]->tex_coord.x * tw - 0.5);
  Plane pt = plane(s, v[0]->tex_coord.y * th - 0.5, v[1]->tex_coord.y * th - 0.5, v[2]->tex_coord.y * th - 0.5);
  Plane pc[4];
  for (int c = 0; c < 4; c++) {
    const Uint8 *c0 = &v[0]->color.r, *c1 = &v[1]->color.r, *c2 = &v[2]->color.r;
    pc[c] = plane(s, c0[c], c1[c], c2[c]);
  }
  const double FIXED = 4294967296.0;  // 32.32
  int64_t ds = std::llrint(ps.dx * FIXED), dt = std::llrint(pt.dx * FIXED);
  Colour flat{v[0]->color.r, v[0]->color.g, v[0]->color.b, v[0]->color.a};
  bool white = sameColour && flat.r == 255 && flat.g == 255 && flat.b == 255 && flat.a == 255;

  for (int64_t y = top; y <= bottom; y += rowStep) {
    int64_t first = clip->x, last = clip->x + clip->w - 1;
    if (!rowSpan(edges, y, &first, &last)) continue;
    int64_t count = last - first + 1;
    counts->covered += uint64_t(count);
    double px = first + 0.5, py = y + 0.5;
    int64_t s0 = std::llrint(at(ps, s, px, py) * FIXED), t0 = std::llrint(at(pt, s, px, py) * FIXED);
    uint32_t *out = target->pixels + y * target->width + first;
    if (white) {
      counts->written += fillSpanAnywhere<false>(out, count, texture, s0, t0, ds, dt, flat, blend);
    } else if (sameColour) {
      counts->written += fillSpanAnywhere<true>(out, count, texture, s0, t0, ds, dt, flat, blend);
    } else {
      // Colours that vary over the triangle: one pixel at a time.
      for (int64_t i = 0; i < count; i++) {
        Colour c;
        uint32_t *channel[4] = {&c.r, &c.g, &c.b, &c.a};
        for (int k = 0; k < 4; k++) {
          double value = at(pc[k], s, px + double(i), py);
          *channel[k] = value <= 0 ? 0 : value >= 255 ? 255 : uint32_t(value + 0.5);
        }
        counts->written +=
            fillSpan<true, true>(out + i, 1, texture, s0 + i * ds, t0 + i * dt, ds, dt, c, blend);
      }
    }
  }
}

}  // namespace

void w3d_SoftTriangles(const W3D_SoftImage *target, const SDL_Rect *clip, const W3D_SoftImage *texture,
                       const SDL_Vertex *vertices, int count, bool blend, int rowPart, int rowStep,
                       W3D_SoftCounts *counts) {
  SDL_Rect whole{0, 0, target->width, target->height}, area;
  if (!SDL_IntersectRect(clip ? clip : &whole, &whole, &area)) return;
  for (int i = 0; i + 2 < count; i += 3)
    drawTriangle(target, &area, texture, &vertices[i], &vertices[i + 1], &vertices[i + 2], blend, rowPart, rowStep,
                 counts);
}

void w3d_SoftFill(const W3D_SoftImage *target, const SDL_Rect *rect, uint32_t colour) {
  SDL_Rect whole{0, 0, target->width, target->height}, area;
  if (!SDL_IntersectRect(rect ? rect : &whole, &whole, &area)) return;
  for (int y = area.y; y < area.y + area.h; y++) {
    uint32_t *row = target->pixels + int64_t(y) * target->width + area.x;
    std::fill(row, row + area.w, colour);
  }
}
