// The pixel arithmetic that the CPU rasteriser and the scaler share: which
// path computes (SSE2 where the compiler offers it, else plain words), and
// the plain path's products and mixes on two colour channels at once (lanes
// of 16 bits in one word). Both paths round alike, so a picture is the same
// bit for bit whichever computed it.
#pragma once

#include <cstdint>

// A build can ask for the plain path (W3D_SOFT_SCALAR) on a machine with
// SSE2, so that the two can be compared.
#if defined(__SSE2__) && !defined(W3D_SOFT_SCALAR)
#define W3D_SOFT_SSE2 1
#include <emmintrin.h>
#endif

namespace softlanes {

constexpr uint32_t LANES = 0x00FF00FFu;  // two 8-bit channels, 16 bits apart

// x * y / 255, rounded as the GPU rounds its 8-bit products.
inline uint32_t mul8(uint32_t x, uint32_t y) {
  uint32_t v = x * y + 128;
  return (v + (v >> 8)) >> 8;
}

// mul8 on both lanes of a word.
inline uint32_t mulLanes(uint32_t lanes, uint32_t factor) {
  uint32_t v = lanes * factor + 0x00800080u;
  return ((v + ((v >> 8) & LANES)) >> 8) & LANES;
}

// a + (b - a) * w / 256 on both lanes, w 0..256, rounded down or (with
// half = 128) to the nearest.
template <uint32_t HALF = 0>
inline uint32_t lerpLanes(uint32_t a, uint32_t b, uint32_t w) {
  return ((a * (256 - w) + b * w + HALF * 0x00010001u) >> 8) & LANES;
}

// Two A8R8G8B8 pixels mixed by weight w (0..256) of the second.
template <uint32_t HALF = 0>
inline uint32_t lerpPixels(uint32_t a, uint32_t b, uint32_t w) {
  return lerpLanes<HALF>(a & LANES, b & LANES, w) | lerpLanes<HALF>(a >> 8 & LANES, b >> 8 & LANES, w) << 8;
}

}  // namespace softlanes
