// Loading PPM pictures: conversion modes, header forms, refused headers,
// short files, caller buffers, the tile loader, and pictures written by an
// independent tool (netpbm).
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "draw/ppm.h"
#include "platform/files.h"

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

const std::string NO_PPM = "Error: This seems to be no PPM file\n";

class PPMFiles : public ::testing::Test {
 protected:
  void TearDown() override { removeStagingDirectory(); }

  // Writes bytes to "ram:NAME" and returns that name.
  static std::string stage(const std::string &name, const std::string &bytes) {
    std::string ramName = "ram:" + name;
    FILE *f = openFile(ramName.c_str(), "w");
    EXPECT_NE(f, nullptr);
    if (f) {
      fwrite(bytes.data(), 1, bytes.size(), f);
      fclose(f);
    }
    return ramName;
  }
  // The whole-picture loader's texels (empty on failure) and what it printed.
  static std::vector<uint32_t> load(const std::string &name, int mode, int32_t *w = nullptr, int32_t *h = nullptr,
                                    std::string *out = nullptr) {
    int32_t width = -7, height = -7;
    testing::internal::CaptureStdout();
    uint32_t *texels = LoadTextureFromPPM(nullptr, name.c_str(), &width, &height, mode);
    std::string printed = testing::internal::GetCapturedStdout();
    if (out) *out = printed;
    if (w) *w = width;
    if (h) *h = height;
    std::vector<uint32_t> result;
    if (texels) result.assign(texels, texels + size_t(width) * size_t(height));
    delete[] texels;
    return result;
  }
  // The tile loader's tiles as vectors (empty on failure).
  static std::vector<std::vector<uint32_t>> tiles(const std::string &name, int mode, int32_t *across, int32_t *down,
                                                  std::string *progress = nullptr) {
    testing::internal::CaptureStderr();
    uint32_t **matrix = LoadTextureMatrixFromPPM(name.c_str(), across, down, mode);
    std::string said = testing::internal::GetCapturedStderr();
    if (progress) *progress = said;
    std::vector<std::vector<uint32_t>> out;
    if (!matrix) return out;
    for (int i = 0; i < *across * *down; i++) {
      out.emplace_back(matrix[i], matrix[i] + PPM_TILE_TEXELS);
      delete[] matrix[i];
    }
    delete[] matrix;
    return out;
  }
};

TEST_F(PPMFiles, EachModeDerivesAlphaAndColourFromThePixel) {
  std::string file = stage("modes.ppm", std::string("P6\n6 1\n255\n") +
                                            std::string("\0\0\0\1\0\0\x0A\x14\x28\xC8\xC8\xC8\xFF\0\0\0\0\7", 18));
  EXPECT_EQ(load(file, ALPHA_KEY_BLACK),
            (std::vector<uint32_t>{0, argb(255, 1, 0, 0), argb(255, 10, 20, 40), argb(255, 200, 200, 200),
                                   argb(255, 255, 0, 0), argb(255, 0, 0, 7)}));
  EXPECT_EQ(load(file, ALPHA_LUMINANCE),
            (std::vector<uint32_t>{0, argb(0, 1, 0, 0), argb(23, 10, 20, 40), argb(200, 200, 200, 200),
                                   argb(85, 255, 0, 0), argb(2, 0, 0, 7)}));
  EXPECT_EQ(load(file, ALPHA_OPAQUE),
            (std::vector<uint32_t>{argb(255, 0, 0, 0), argb(255, 1, 0, 0), argb(255, 10, 20, 40),
                                   argb(255, 200, 200, 200), argb(255, 255, 0, 0), argb(255, 0, 0, 7)}));
  // Grey becomes white, coloured pixels keep their colour.
  EXPECT_EQ(load(file, ALPHA_GREY_TO_WHITE),
            (std::vector<uint32_t>{argb(0, 255, 255, 255), argb(0, 1, 0, 0), argb(23, 10, 20, 40),
                                   argb(200, 255, 255, 255), argb(85, 255, 0, 0), argb(2, 0, 0, 7)}));
  // Any other mode keys out black.
  EXPECT_EQ(load(file, 4), load(file, ALPHA_KEY_BLACK));
  // The tile loader whitens every pixel in the grey-to-white mode.
  int32_t across = 0, down = 0;
  auto whitened = tiles(file, ALPHA_GREY_TO_WHITE, &across, &down);
  ASSERT_EQ(whitened.size(), 1u);
  EXPECT_EQ(whitened[0][4], argb(85, 255, 255, 255));
  EXPECT_EQ(whitened[0][0], argb(0, 255, 255, 255));
}

TEST_F(PPMFiles, EveryHeaderFormGivesTheSamePictureAndOnlyP6HeadersLoad) {
  std::string pixels = "\x0A\x14\x1E\x28\x32\x3C\x46\x50\x5A\1\2\3\4\5\6\7\x08\x09";
  const char *accepted[] = {
      "P6\n3 2\n255\n",     "P6 3 2 255\n", "P6\n3\n2\n255\n", "P6\t\t3 \t 2\n\n\n255 ",
      "P6\r\n3 2\r\n255\n",  // carriage returns between the fields
      "P63 2 255\n",         // no blank needed after the magic
      "P6 +3 2 255\n",       // a signed number, as %ld reads it
      "P6 3 2\n255\t",
  };
  for (const char *header : accepted) {
    int32_t w = 0, h = 0;
    std::vector<uint32_t> t = load(stage("a.ppm", header + pixels), ALPHA_OPAQUE, &w, &h);
    ASSERT_EQ(t.size(), 6u) << header;
    EXPECT_EQ(t[0], argb(255, 10, 20, 30)) << header;  // the first byte after one blank is red
    EXPECT_EQ(t[5], argb(255, 7, 8, 9)) << header;
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
  }
  const char *refused[] = {"P5\n2 2\n255\n",      "P3\n2 2\n255\n",     "p6\n2 2\n255\n",
                           "P6\n2\n",              "P6\nx 2\n255\n",      "P6\n2 y\n255\n",
                           "",                      "P",                    "P6\n-2 2\n255\n",
                           "P6\n2 -2\n255\n",      "P6\n0 2\n255\n",      "P6\n2 0\n255\n",
                           "P6\n16385 1\n255\n",   "P6\n2 2\n65535\n",    "P6\n2 2\n15\n",
                           "P6\n2 2\n2550\n",      "P6\n2 2\n255x",        "# comment\nP6\n2 2\n255\n",
                           "P6\n1 99999999999999999999\n255\n"};
  for (const char *header : refused) {
    int32_t w = -7, h = -7, across = -7, down = -7;
    std::string printed, progress;
    std::string file = stage("bad.ppm", std::string(header) + std::string(12, 'z'));
    EXPECT_TRUE(load(file, 0, &w, &h, &printed).empty()) << header;
    EXPECT_EQ(printed, NO_PPM) << header;
    EXPECT_EQ(w, -7) << "size written for a refused header: " << header;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(tiles(file, 0, &across, &down, &progress).empty()) << header;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM) << header;
    EXPECT_EQ(progress, "");
    EXPECT_EQ(across, -7);
  }
  int32_t w = 0;
  EXPECT_EQ(load(stage("wide.ppm", "P6 16384 1 255\n"), ALPHA_OPAQUE, &w).size(), 16384u);
}

TEST_F(PPMFiles, ShortFilesReadAs255AndMissingOnesAreNamed) {
  EXPECT_EQ(load(stage("short.ppm", "P6\n2 2\n255\n"), ALPHA_KEY_BLACK), std::vector<uint32_t>(4, 0xFFFFFFFFu));
  // Cut inside the second pixel: its green and blue are missing.
  EXPECT_EQ(load(stage("cut.ppm", std::string("P6 2 1 255\n\0\0\0\x0A", 15)), ALPHA_LUMINANCE),
            (std::vector<uint32_t>{0, argb((10 + 255 + 255) / 3, 10, 255, 255)}));
  EXPECT_EQ(load(stage("bare.ppm", "P6 1 1 255"), ALPHA_OPAQUE), std::vector<uint32_t>{0xFFFFFFFFu});
  std::string printed;
  EXPECT_TRUE(load("ram:nothere.ppm", 0, nullptr, nullptr, &printed).empty());
  EXPECT_EQ(printed, "Error: Unable to open file 'ram:nothere.ppm'\n");
  int32_t across = -7, down = -7;
  testing::internal::CaptureStdout();
  EXPECT_TRUE(tiles("/nonexistent/pic.ppm", 0, &across, &down).empty());
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Unable to open file '/nonexistent/pic.ppm'\n");
}

TEST_F(PPMFiles, ACallersBufferIsFilledOnlyWithAPictureThatFits) {
  std::string fits = stage("pic.ppm", "P6\n256 256\n255\n" + std::string(256 * 256 * 3, '\x11'));
  std::string big = stage("big.ppm", "P6 257 256 255\n" + std::string(257 * 256 * 3, '\x22'));
  std::vector<uint32_t> buffer(256 * 256, 0xDEADBEEF);
  int32_t w = 0, h = 0;
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), fits.c_str(), &w, &h, ALPHA_OPAQUE), buffer.data());
  EXPECT_EQ(buffer.back(), argb(255, 0x11, 0x11, 0x11));
  buffer.assign(buffer.size(), 0xDEADBEEF);
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), big.c_str(), &w, &h, ALPHA_OPAQUE), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM);
  EXPECT_EQ(w, 257) << "the size is still reported, so the caller can make room";
  EXPECT_EQ(buffer, std::vector<uint32_t>(256 * 256, 0xDEADBEEF));
  std::vector<uint32_t> larger(257 * 256);
  EXPECT_EQ(LoadTextureFromPPM(larger.data(), big.c_str(), &w, &h, ALPHA_OPAQUE, larger.size()), larger.data());
  EXPECT_EQ(larger.back(), argb(255, 0x22, 0x22, 0x22));
}

TEST_F(PPMFiles, TheTileLoaderCutsPicturesInto256SquaresRowByRow) {
  std::string pixels;
  for (int y = 0; y < 513; y++)
    for (int x = 0; x < 300; x++) pixels += {char(x & 0xFF), char(y & 0xFF), char(x >> 8 | (y >> 8) << 4)};
  std::string file = stage("big.ppm", "P6\n300 513\n255\n" + pixels);
  int32_t across = 0, down = 0;
  auto t = tiles(file, ALPHA_OPAQUE, &across, &down);
  ASSERT_EQ(t.size(), 6u);
  EXPECT_EQ(across, 2);
  EXPECT_EQ(down, 3);
  EXPECT_EQ(t[1][10 * 256 + 43], argb(255, 299 & 0xFF, 10, 1));  // column 299, row 10
  EXPECT_EQ(t[0][199 * 256 + 255], argb(255, 255, 199, 0));      // column 255, row 199
  EXPECT_EQ(t[4][7], argb(255, 7, 0, 0x20));                     // column 7, row 512
  EXPECT_EQ(t[1][10 * 256 + 44], 0u) << "outside the picture: left transparent";
  EXPECT_EQ(t[4][256], 0u);
}

TEST_F(PPMFiles, PicturesWrittenByNetpbmLoadAsTheirPixels) {
  // A plain-text picture of random pixels, turned into a raw P6 by netpbm.
  const int w = 37, h = 11;
  std::string plain = "P3\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<uint32_t> expected;
  srand(5);
  for (int i = 0; i < w * h; i++) {
    int r = i == 0 ? 0x0A : rand() & 0xFF, g = rand() & 0xFF, b = rand() & 0xFF;  // first: a line end
    plain += std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) + "\n";
    expected.push_back(argb(255, r, g, b));
  }
  std::string source = stage("plain.ppm", plain);
  char real[4096], realOut[4096];
  ASSERT_TRUE(resolvePath(source.c_str(), real, sizeof real));
  ASSERT_TRUE(resolvePath("ram:raw.ppm", realOut, sizeof realOut));
  std::string command = std::string("ppmtoppm <'") + real + "' >'" + realOut + "' 2>/dev/null";
  ASSERT_EQ(system(command.c_str()), 0) << "netpbm is needed (scripts/packages.d/test-draw.list)";
  int32_t rw = 0, rh = 0;
  EXPECT_EQ(load("ram:raw.ppm", ALPHA_OPAQUE, &rw, &rh), expected);
  EXPECT_EQ(rw, w);
  EXPECT_EQ(rh, h);
}

}  // namespace
