// Loading PPM pictures: conversion modes, header forms, refused headers,
// short and missing files, caller buffers and the tile loader.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "draw/ppm.h"
#include "platform/files.h"
#include "staging.h"

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

const std::string NO_PPM = "Error: This seems to be no PPM file\n";

class PPMFiles : public ::testing::Test {
 protected:
  void TearDown() override { removeStagingDirectory(); }

  // The whole-picture loader's texels (empty on failure); size and what it
  // printed in the members.
  std::vector<uint32_t> load(const std::string &name, int mode) {
    width = height = -7;
    testing::internal::CaptureStdout();
    uint32_t *texels = LoadTextureFromPPM(nullptr, name.c_str(), &width, &height, mode);
    printed = testing::internal::GetCapturedStdout();
    std::vector<uint32_t> result;
    if (texels) result.assign(texels, texels + size_t(width) * size_t(height));
    delete[] texels;
    return result;
  }
  int32_t width = 0, height = 0;
  std::string printed;
};

TEST_F(PPMFiles, EachModeDerivesAlphaAndColourFromThePixel) {
  std::string file = stageFile("modes.ppm", std::string("P6\n6 1\n255\n") +
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
    std::vector<uint32_t> t = load(stageFile("a.ppm", header + pixels), ALPHA_OPAQUE);
    ASSERT_EQ(t.size(), 6u) << header;
    EXPECT_EQ(t[0], argb(255, 10, 20, 30)) << header;  // the first byte after one blank is red
    EXPECT_EQ(t[5], argb(255, 7, 8, 9)) << header;
  }
  const char *refused[] = {"P5\n2 2\n255\n",      "P3\n2 2\n255\n",    "p6\n2 2\n255\n",    "P6\n2\n",
                           "P6\nx 2\n255\n",      "",                   "P6\n-2 2\n255\n",   "P6\n0 2\n255\n",
                           "P6\n2 0\n255\n",      "P6\n16385 1\n255\n", "P6\n2 2\n65535\n",  "P6\n2 2\n15\n",
                           "P6\n2 2\n2550\n",     "P6\n2 2\n255x",      "# comment\nP6\n2 2\n255\n",
                           "P6\n1 99999999999999999999\n255\n"};
  for (const char *header : refused) {
    std::string file = stageFile("bad.ppm", std::string(header) + std::string(12, 'z'));
    EXPECT_TRUE(load(file, 0).empty()) << header;
    EXPECT_EQ(printed, NO_PPM) << header;
    EXPECT_EQ(width, -7) << "size written for a refused header: " << header;
  }
  EXPECT_EQ(load(stageFile("wide.ppm", "P6 16384 1 255\n"), ALPHA_OPAQUE).size(), 16384u);
}

TEST_F(PPMFiles, ShortFilesReadAs255AndMissingOnesAreNamed) {
  const struct {
    const char *name;
    std::string bytes;  // empty: no such file
    int mode;
    std::vector<uint32_t> texels;
    std::string printed;
  } cases[] = {
      // Cut inside the second pixel: its green and blue are missing. Alpha: (10 + 255 + 255) / 3.
      {"cut.ppm", std::string("P6 2 1 255\n\0\0\0\x0A", 15), ALPHA_LUMINANCE, {0, argb(173, 10, 255, 255)}, ""},
      {"bare.ppm", "P6 1 1 255", ALPHA_OPAQUE, {0xFFFFFFFFu}, ""},
      {"nothere.ppm", "", ALPHA_OPAQUE, {}, "Error: Unable to open file 'ram:nothere.ppm'\n"},
  };
  for (const auto &c : cases) {
    std::string file = c.bytes.empty() ? std::string("ram:") + c.name : stageFile(c.name, c.bytes);
    EXPECT_EQ(load(file, c.mode), c.texels) << c.name;
    EXPECT_EQ(printed, c.printed) << c.name;
  }
}

TEST_F(PPMFiles, ACallersBufferIsFilledOnlyWithAPictureThatFits) {
  std::string fits = stagePicture("pic.ppm", 256, 256, [](int, int) { return 0x111111u; });
  std::string big = stagePicture("big.ppm", 257, 256, [](int, int) { return 0x222222u; });
  std::vector<uint32_t> buffer(256 * 256, 0xDEADBEEF);
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), fits.c_str(), &width, &height, ALPHA_OPAQUE), buffer.data());
  EXPECT_EQ(buffer, std::vector<uint32_t>(256 * 256, argb(255, 0x11, 0x11, 0x11)));
  testing::internal::CaptureStdout();
  EXPECT_EQ(LoadTextureFromPPM(buffer.data(), big.c_str(), &width, &height, ALPHA_OPAQUE), nullptr);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), NO_PPM);
  EXPECT_EQ(width, 257) << "the size is still reported, so the caller can make room";
  EXPECT_EQ(buffer, std::vector<uint32_t>(256 * 256, argb(255, 0x11, 0x11, 0x11))) << "left as it was";
  std::vector<uint32_t> larger(257 * 256);
  EXPECT_EQ(LoadTextureFromPPM(larger.data(), big.c_str(), &width, &height, ALPHA_OPAQUE, larger.size()),
            larger.data());
  EXPECT_EQ(larger.back(), argb(255, 0x22, 0x22, 0x22));
}

TEST_F(PPMFiles, TheTileLoaderCutsPicturesInto256SquaresRowByRow) {
  // Column x, row y: red x's low byte, green y's, blue their high bits.
  std::string file =
      stagePicture("big.ppm", 300, 513, [](int x, int y) { return x << 16 | y << 8 | x >> 8 | (y >> 8) << 4; });
  int32_t across = 0, down = 0;
  uint32_t **t = LoadTextureMatrixFromPPM(file.c_str(), &across, &down, ALPHA_OPAQUE);
  ASSERT_NE(t, nullptr);
  ASSERT_EQ(across, 2);
  ASSERT_EQ(down, 3);
  EXPECT_EQ(t[1][10 * 256 + 43], argb(255, 299 & 0xFF, 10, 1));  // column 299, row 10
  EXPECT_EQ(t[0][199 * 256 + 255], argb(255, 255, 199, 0));      // column 255, row 199
  EXPECT_EQ(t[4][7], argb(255, 7, 0, 0x20));                     // column 7, row 512
  EXPECT_EQ(t[1][10 * 256 + 44], 0u) << "outside the picture: left transparent";
  EXPECT_EQ(t[4][256], 0u);
  for (int i = 0; i < across * down; i++) delete[] t[i];
  delete[] t;
}

}  // namespace
