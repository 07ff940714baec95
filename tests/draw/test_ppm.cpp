// Loading PPM pictures: conversion modes, header forms, refused headers,
// short files, caller buffers and the tile loader.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "draw/ppm.h"
#include "platform/files.h"

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

struct Pixel {
  unsigned char r, g, b;
};

std::string pixelBytes(const std::vector<Pixel> &pixels) {
  std::string out;
  for (const Pixel &p : pixels) out += {char(p.r), char(p.g), char(p.b)};
  return out;
}

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

  // Loads with the whole-picture loader; the texels, or empty on failure.
  // out receives what the loader printed on standard output.
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
};

const std::string NO_PPM = "Error: This seems to be no PPM file\n";

// ---------------------------------------------------------------------------
// Conversion modes

TEST_F(PPMFiles, EachModeDerivesAlphaAndColourFromThePixel) {
  std::vector<Pixel> pixels = {{0, 0, 0}, {1, 0, 0}, {10, 20, 40}, {200, 200, 200}, {255, 0, 0}, {0, 0, 7}};
  std::string file = stage("modes.ppm", "P6\n6 1\n255\n" + pixelBytes(pixels));

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
  EXPECT_EQ(load(file, -1), load(file, ALPHA_KEY_BLACK));
}

TEST_F(PPMFiles, TheTileLoaderWhitensEveryPixelInGreyToWhiteMode) {
  std::string file = stage("red.ppm", "P6 2 1 255\n" + pixelBytes({{255, 0, 0}, {200, 200, 200}}));
  int32_t across = 0, down = 0;
  testing::internal::CaptureStderr();
  uint32_t **tiles = LoadTextureMatrixFromPPM(file.c_str(), &across, &down, ALPHA_GREY_TO_WHITE);
  testing::internal::GetCapturedStderr();
  ASSERT_NE(tiles, nullptr);
  EXPECT_EQ(tiles[0][0], argb(85, 255, 255, 255));
  EXPECT_EQ(tiles[0][1], argb(200, 255, 255, 255));
  delete[] tiles[0];
  delete[] tiles;
  // The whole-picture loader keeps the red.
  EXPECT_EQ(load(file, ALPHA_GREY_TO_WHITE)[0], argb(85, 255, 0, 0));
}

// ---------------------------------------------------------------------------
// Header forms

TEST_F(PPMFiles, HeadersDifferingOnlyInWhitespaceGiveTheSamePicture) {
  std::string pixels = pixelBytes({{10, 20, 30}, {40, 50, 60}, {70, 80, 90}, {1, 2, 3}, {4, 5, 6}, {7, 8, 9}});
  std::vector<uint32_t> expected = load(stage("a.ppm", "P6\n3 2\n255\n" + pixels), ALPHA_OPAQUE);
  ASSERT_EQ(expected.size(), 6u);
  EXPECT_EQ(expected[0], argb(255, 10, 20, 30));
  EXPECT_EQ(expected[5], argb(255, 7, 8, 9));

  const char *headers[] = {
      "P6 3 2 255\n",             // the second shipped form
      "P6\n3\n2\n255\n",          // one field a line
      "P6\t\t3 \t 2\n\n\n255 ",   // runs of mixed whitespace, a blank ends it
      "P6\r\n3 2\r\n255\n",       // carriage returns between the fields
      "P63 2 255\n",              // no whitespace needed after the magic
      "P6 +3 2 255\n",            // a signed number, as %ld reads it
      "P6 3 2\n255\t",            // a tab ends it
  };
  for (const char *header : headers) {
    int32_t w = 0, h = 0;
    EXPECT_EQ(load(stage("b.ppm", header + pixels), ALPHA_OPAQUE, &w, &h), expected) << header;
    EXPECT_EQ(w, 3);
    EXPECT_EQ(h, 2);
  }
}

TEST_F(PPMFiles, ExactlyOneWhitespaceByteEndsTheHeader) {
  // First red bytes that look like whitespace belong to the picture.
  for (unsigned char red : {0x0A, 0x20, 0x09, 0x0D}) {
    std::vector<uint32_t> t = load(stage("ws.ppm", "P6\n1 1\n255\n" + pixelBytes({{red, 0x20, 0x0A}})), 1);
    ASSERT_EQ(t.size(), 1u);
    EXPECT_EQ(t[0], argb((red + 0x20 + 0x0A) / 3, red, 0x20, 0x0A)) << int(red);
  }
}

TEST_F(PPMFiles, AnythingButAP6HeaderIsRefusedWithTheSameMessage) {
  const char *headers[] = {
      "P5\n2 2\n255\n",          // grey-scale PGM
      "P3\n2 2\n255\n",          // plain-text PPM
      "p6\n2 2\n255\n",          // wrong case
      "P6\n2\n",                 // height missing
      "P6\nx 2\n255\n",          // width not a number
      "P6\n2 y\n255\n",          // height not a number
      "",                        // empty file
      "P",                       // cut inside the magic
      "P6\n-2 2\n255\n",         // negative width
      "P6\n2 -2\n255\n",         // negative height
      "P6\n0 2\n255\n",          // zero width
      "P6\n2 0\n255\n",          // zero height
      "P6\n16385 1\n255\n",      // absurd width
      "P6\n1 99999999999999999999\n255\n",  // absurd height, beyond any integer
      "P6\n2 2\n65535\n",        // two-byte samples
      "P6\n2 2\n15\n",           // another maximum value
      "P6\n2 2\n2550\n",         // 255 must end with a blank
      "P6\n2 2\n255x",           // or with the end of the file
      "# comment\nP6\n2 2\n255\n",
  };
  for (const char *header : headers) {
    int32_t w = -7, h = -7;
    std::string printed;
    std::string file = stage("bad.ppm", std::string(header) + std::string(12, 'z'));
    EXPECT_TRUE(load(file, 0, &w, &h, &printed).empty()) << header;
    EXPECT_EQ(printed, NO_PPM) << header;
    EXPECT_EQ(w, -7) << "size written for a refused header: " << header;
    EXPECT_EQ(h, -7);

    int32_t across = -7, down = -7;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_EQ(LoadTextureMatrixFromPPM(file.c_str(), &across, &down, 0), nullptr) << header;
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM) << header;
    EXPECT_EQ(across, -7);
    EXPECT_EQ(down, -7);
  }
}

TEST_F(PPMFiles, TheLargestAllowedSideIsAccepted) {
  int32_t w = 0, h = 0;
  std::vector<uint32_t> t = load(stage("wide.ppm", "P6 16384 1 255\n"), ALPHA_OPAQUE, &w, &h);
  EXPECT_EQ(w, 16384);
  EXPECT_EQ(h, 1);
  EXPECT_EQ(t.size(), 16384u);
}

// ---------------------------------------------------------------------------
// Short and missing files

TEST_F(PPMFiles, MissingBytesOfAShortFileReadAs255) {
  // Header only: white, and opaque even in the black-key mode.
  std::vector<uint32_t> t = load(stage("short.ppm", "P6\n2 2\n255\n"), ALPHA_KEY_BLACK);
  EXPECT_EQ(t, std::vector<uint32_t>(4, 0xFFFFFFFFu));
  // Cut inside the second pixel: its green and blue are missing.
  t = load(stage("cut.ppm", "P6 2 1 255\n" + pixelBytes({{0, 0, 0}}) + "\x0A"), ALPHA_LUMINANCE);
  EXPECT_EQ(t, (std::vector<uint32_t>{0, argb((10 + 255 + 255) / 3, 10, 255, 255)}));
  // No blank after 255 at all: the header still stands.
  t = load(stage("bare.ppm", "P6 1 1 255"), ALPHA_OPAQUE);
  EXPECT_EQ(t, std::vector<uint32_t>{0xFFFFFFFFu});
}

TEST_F(PPMFiles, AFileThatCannotBeOpenedIsNamedInTheMessage) {
  std::string printed;
  int32_t w = -7;
  EXPECT_TRUE(load("ram:nothere.ppm", 0, &w, nullptr, &printed).empty());
  EXPECT_EQ(printed, "Error: Unable to open file 'ram:nothere.ppm'\n");
  EXPECT_EQ(w, -7);

  testing::internal::CaptureStdout();
  int32_t across = -7, down = -7;
  EXPECT_EQ(LoadTextureMatrixFromPPM("/nonexistent/dir/pic.ppm", &across, &down, 0), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Unable to open file '/nonexistent/dir/pic.ppm'\n");
  EXPECT_EQ(across, -7);
}

// ---------------------------------------------------------------------------
// Caller buffers

TEST_F(PPMFiles, ACallersBufferIsFilledAndReturned) {
  std::string pixels(256 * 256 * 3, '\x11');
  std::string file = stage("pic.ppm", "P6\n256 256\n255\n" + pixels);
  std::vector<uint32_t> buffer(256 * 256, 0xDEADBEEF);
  int32_t w = 0, h = 0;
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), file.c_str(), &w, &h, ALPHA_OPAQUE), buffer.data());
  EXPECT_EQ(w, 256);
  EXPECT_EQ(h, 256);
  EXPECT_EQ(buffer.front(), argb(255, 0x11, 0x11, 0x11));
  EXPECT_EQ(buffer.back(), argb(255, 0x11, 0x11, 0x11));
}

TEST_F(PPMFiles, APictureLargerThanTheCallersBufferIsRefusedAndTheBufferLeftAlone) {
  // 257 x 256 does not fit the 256 x 256 texels a caller's buffer is taken to hold.
  std::string file = stage("big.ppm", "P6 257 256 255\n" + std::string(257 * 256 * 3, '\x22'));
  std::vector<uint32_t> buffer(256 * 256, 0xDEADBEEF);
  int32_t w = 0, h = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), file.c_str(), &w, &h, ALPHA_OPAQUE), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM);
  EXPECT_EQ(w, 257) << "the size is still reported, so the caller can make room";
  EXPECT_EQ(h, 256);
  for (uint32_t t : buffer) ASSERT_EQ(t, 0xDEADBEEF);

  // A caller that says its buffer is larger gets the picture; one that says
  // it is smaller is refused even a small picture.
  std::vector<uint32_t> larger(257 * 256);
  EXPECT_EQ(LoadTextureFromPPM(larger.data(), file.c_str(), &w, &h, ALPHA_OPAQUE, larger.size()), larger.data());
  EXPECT_EQ(larger.back(), argb(255, 0x22, 0x22, 0x22));
  std::vector<uint32_t> tiny(3);
  std::string small = stage("small.ppm", "P6 2 2 255\n" + std::string(12, '\x33'));
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadTextureFromPPM(tiny.data(), small.c_str(), &w, &h, ALPHA_OPAQUE, tiny.size()), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM);
}

// ---------------------------------------------------------------------------
// The tile loader

TEST_F(PPMFiles, APictureOf300By200BecomesTwoTilesSideBySide) {
  std::string pixels;
  for (int y = 0; y < 200; y++)
    for (int x = 0; x < 300; x++) pixels += {char(x & 0xFF), char(y), char(x >> 8)};
  std::string file = stage("wide.ppm", "P6\n300 200\n255\n" + pixels);

  int32_t across = 0, down = 0;
  testing::internal::CaptureStderr();
  uint32_t **tiles = LoadTextureMatrixFromPPM(file.c_str(), &across, &down, ALPHA_OPAQUE);
  std::string progress = testing::internal::GetCapturedStderr();
  ASSERT_NE(tiles, nullptr);
  EXPECT_EQ(across, 2);
  EXPECT_EQ(down, 1);

  EXPECT_EQ(tiles[1][10 * 256 + 43], argb(255, 299 & 0xFF, 10, 1));  // column 299, row 10
  EXPECT_EQ(tiles[0][199 * 256 + 255], argb(255, 255, 199, 0));      // column 255, row 199
  EXPECT_EQ(tiles[1][0], argb(255, 0, 0, 1));                        // column 256, row 0
  EXPECT_EQ(tiles[1][10 * 256 + 44], 0u) << "outside the picture: left transparent";
  EXPECT_EQ(tiles[0][200 * 256], 0u);

  EXPECT_EQ(progress.rfind("Dimensions: 300/200 2/1\n0 Before texture allocation!\n0 After! ", 0), 0u) << progress;
  EXPECT_NE(progress.find("\n1 Before texture allocation!\n1 After! "), std::string::npos);
  EXPECT_EQ(progress.substr(progress.size() - 37), "Vector element allocated and loaded!\n");
  delete[] tiles[0];
  delete[] tiles[1];
  delete[] tiles;
}

TEST_F(PPMFiles, TilesOfATallPictureRunDownTheMatrix) {
  // 256 x 513: three tiles one above the other, the last holding one row.
  std::string pixels(256 * 513 * 3, '\x05');
  pixels[(512 * 256 + 7) * 3] = '\x77';
  std::string file = stage("tall.ppm", "P6 256 513 255\n" + pixels);
  int32_t across = 0, down = 0;
  testing::internal::CaptureStderr();
  uint32_t **tiles = LoadTextureMatrixFromPPM(file.c_str(), &across, &down, ALPHA_KEY_BLACK);
  testing::internal::GetCapturedStderr();
  ASSERT_NE(tiles, nullptr);
  EXPECT_EQ(across, 1);
  EXPECT_EQ(down, 3);
  EXPECT_EQ(tiles[2][7], argb(255, 0x77, 5, 5));
  EXPECT_EQ(tiles[1][255 * 256 + 255], argb(255, 5, 5, 5));
  EXPECT_EQ(tiles[2][256], 0u);
  for (int i = 0; i < 3; i++) delete[] tiles[i];
  delete[] tiles;
}

// ---------------------------------------------------------------------------
// Pictures written by an independent tool

TEST_F(PPMFiles, PicturesWrittenByNetpbmLoadAsTheirPixels) {
  if (system("command -v ppmtoppm >/dev/null 2>&1") != 0) GTEST_SKIP() << "netpbm is not installed";
  // A plain-text picture of random pixels, turned into a raw P6 by netpbm.
  const int w = 37, h = 11;
  std::string plain = "P3\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  std::vector<uint32_t> expected;
  srand(5);
  for (int i = 0; i < w * h; i++) {
    int r = rand() & 0xFF, g = rand() & 0xFF, b = rand() & 0xFF;
    if (i == 0) r = 0x0A;  // a first byte that looks like a line end
    plain += std::to_string(r) + " " + std::to_string(g) + " " + std::to_string(b) + "\n";
    expected.push_back(argb(255, r, g, b));
  }
  std::string source = stage("plain.ppm", plain);
  char real[4096], realOut[4096];
  ASSERT_TRUE(resolvePath(source.c_str(), real, sizeof real));
  ASSERT_TRUE(resolvePath("ram:raw.ppm", realOut, sizeof realOut));
  std::string command = std::string("ppmtoppm <'") + real + "' >'" + realOut + "' 2>/dev/null";
  ASSERT_EQ(system(command.c_str()), 0);
  int32_t rw = 0, rh = 0;
  EXPECT_EQ(load("ram:raw.ppm", ALPHA_OPAQUE, &rw, &rh), expected);
  EXPECT_EQ(rw, w);
  EXPECT_EQ(rh, h);
}

}  // namespace
