// Reading "P6" pictures into 32-bit texels (alpha in bits 31-24, then red,
// green, blue), deriving alpha from colour by one of four conversion modes.
#pragma once

#include <cstdint>

constexpr int ALPHA_KEY_BLACK = 0;      // alpha 0 where black, else 255
constexpr int ALPHA_LUMINANCE = 1;      // alpha = mean of R, G, B
constexpr int ALPHA_OPAQUE = 2;         // alpha 255
constexpr int ALPHA_GREY_TO_WHITE = 3;  // alpha = mean; grey becomes white

// Fills buffer (or a new one when null) with the picture; null on failure.
uint32_t *LoadTextureFromPPM(uint32_t *buffer, const char *filename, int32_t *width, int32_t *height, int mode);
// Cuts the picture into 256x256 tiles; the matrix and its tiles belong to the caller.
uint32_t **LoadTextureMatrixFromPPM(const char *filename, int32_t *tilesAcross, int32_t *tilesDown, int mode);
