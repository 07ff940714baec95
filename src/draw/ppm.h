// Reading "P6" pictures into 32-bit texels (alpha in bits 31-24, then red,
// green, blue), deriving alpha from colour by one of four conversion modes.
//
// Owns the header rules, the conversion and the tiling of large pictures.
// Leaves to others: what becomes of the texels (textures.cpp), where "ram:"
// files live (platform/files).
//
// Header: "P6", width, height, "255", with any run of whitespace between the
// fields and exactly one whitespace byte after "255"; the pixel bytes follow.
// A width or height outside 1..PPM_MAX_SIDE, or a maximum value other than
// 255, is refused like any other header that is not a PPM header. A file that
// ends early is not an error: every missing byte reads as 255.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

constexpr int ALPHA_KEY_BLACK = 0;      // alpha 0 where black, else 255
constexpr int ALPHA_LUMINANCE = 1;      // alpha = mean of R, G, B
constexpr int ALPHA_OPAQUE = 2;         // alpha 255
constexpr int ALPHA_GREY_TO_WHITE = 3;  // alpha = mean; grey becomes white

constexpr int32_t PPM_MAX_SIDE = 16384;  // pixels; larger sides are refused
constexpr int32_t PPM_TILE_SIDE = 256;   // texels per side of a matrix tile
constexpr size_t PPM_TILE_TEXELS = size_t(PPM_TILE_SIDE) * PPM_TILE_SIDE;

// Fills buffer (or a new one, from new[], when buffer is null) with the
// picture; null on failure. width and height are written as soon as a valid
// header is read, even when the call then fails. A caller's buffer holds
// bufferTexels texels (one 256x256 picture unless the caller says more); a
// picture that does not fit is refused and the buffer is left untouched.
uint32_t *LoadTextureFromPPM(uint32_t *buffer, const char *filename, int32_t *width, int32_t *height, int mode,
                             size_t bufferTexels = PPM_TILE_TEXELS);
// Cuts the picture into 256x256 tiles, row-major; the matrix (new[]) and its
// tiles (new[], texels outside the picture zero) belong to the caller.
uint32_t **LoadTextureMatrixFromPPM(const char *filename, int32_t *tilesAcross, int32_t *tilesDown, int mode);

// The same on an open stream; the stream is not closed. Used by the two
// loaders above and by the fuzzer.
uint32_t *loadTextureFromStream(FILE *file, uint32_t *buffer, size_t bufferTexels, int32_t *width, int32_t *height,
                                int mode);
uint32_t **loadTextureMatrixFromStream(FILE *file, int32_t *tilesAcross, int32_t *tilesDown, int mode);
