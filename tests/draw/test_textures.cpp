// Texture slots made through the library: pictures, texture objects, the
// reason lines, the tile matrix across slots, and release.
#include <string>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "draw_fixture.h"

namespace {

using Textures = DrawSurface;

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

TEST_F(Textures, AGlyphSheetBecomesWhiteGlyphsWhoseAlphaIsTheGreyLevel) {
  // Grey cells, and one coloured star.
  std::string file = stagePicture("font32.ppm", 256, 256, [](int x, int y) {
    if (x < 32 && y < 32) return Pixel3{255, 200, 0};
    int grey = (x / 32 + 8 * (y / 32)) * 4;
    return Pixel3{grey, grey, grey};
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(context, file.c_str(), FONT_SLOT, ALPHA_GREY_TO_WHITE), 1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  ASSERT_NE(texmap[FONT_SLOT], nullptr);
  ASSERT_NE(tex[FONT_SLOT], nullptr);
  EXPECT_EQ(texmap[FONT_SLOT][0], argb((255 + 200) / 3, 255, 200, 0));
  EXPECT_EQ(texmap[FONT_SLOT][33 / 8 * 32 * 256 + 33 % 8 * 32], argb(132, 255, 255, 255));  // cell 33

  // Drawn at full size, the texture shows the picture: the star keeps its
  // colour, and cell 63 (grey 252) shows nearly white.
  W3DTexturePolygonPosition(FONT_SLOT, 128, 128, 0, 256, 256, 0, 0, 256, 256, 1, 1);
  W3DDrawTriangles(context);
  Pixel3 star = pixelAt(16, 16), last = pixelAt(7 * 32 + 16, 7 * 32 + 16);
  EXPECT_NEAR(star.r, 255 * 151 / 255, 3);  // colour times its alpha over black
  EXPECT_NEAR(star.g, 200 * 151 / 255, 3);
  EXPECT_NEAR(last.r, 252, 3);  // white times its alpha
}

TEST_F(Textures, AMissingPictureLeavesTheSlotEmptyWithOnlyTheLoadersLine) {
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(context, "ram:bkg03.ppm", 9, ALPHA_KEY_BLACK), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: Unable to open file 'ram:bkg03.ppm'\n");
  EXPECT_EQ(tex[9], nullptr);
  EXPECT_EQ(texmap[9], nullptr);
}

TEST_F(Textures, ARefusedTextureKeepsItsPictureAndSaysWhy) {
  // Wider than any texture the library makes.
  std::string wide = stagePicture("wide.ppm", 4097, 1, [](int, int) { return Pixel3{9, 9, 9}; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(context, wide.c_str(), 4, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Unsupported texture size\n");
  EXPECT_NE(texmap[4], nullptr);
  EXPECT_EQ(tex[4], nullptr);

  // No context to make it in.
  std::string small = stagePicture("small.ppm", 2, 2, [](int, int) { return Pixel3{1, 2, 3}; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(nullptr, small.c_str(), 5, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Illegal input\n");
  EXPECT_NE(texmap[5], nullptr);
}

TEST_F(Textures, ASlotOutsideTheTableIsRefused) {
  std::string small = stagePicture("small.ppm", 2, 2, [](int, int) { return Pixel3{1, 2, 3}; });
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(context, small.c_str(), TEXTURE_SLOTS, ALPHA_OPAQUE), 0);
  EXPECT_EQ(GenTexture(context, small.c_str(), -1, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error generating texture: Illegal input\nError generating texture: Illegal input\n");
}

TEST_F(Textures, FillingASlotAgainReplacesWhatItHeld) {
  std::string red = stagePicture("red.ppm", 8, 8, [](int, int) { return Pixel3{255, 0, 0}; });
  std::string blue = stagePicture("blue.ppm", 8, 8, [](int, int) { return Pixel3{0, 0, 255}; });
  ASSERT_EQ(GenTexture(context, red.c_str(), 2, ALPHA_OPAQUE), 1);
  ASSERT_EQ(GenTexture(context, blue.c_str(), 2, ALPHA_OPAQUE), 1);
  EXPECT_EQ(texmap[2][0], argb(255, 0, 0, 255));
  W3DTexturePolygonPosition(2, 50, 50, 0, 20, 20, 0, 0, 8, 8, 1, 1);
  W3DDrawTriangles(context);
  EXPECT_NEAR(pixelAt(50, 50).b, 255, 2);
  EXPECT_NEAR(pixelAt(50, 50).r, 0, 2);
}

TEST_F(Textures, AWidePictureFillsOneSlotPerTileLeftToRight) {
  std::string file = stagePicture("pair.ppm", 512, 256, [](int x, int) {
    return x < 256 ? Pixel3{255, 0, 0} : Pixel3{0, 255, 0};
  });
  testing::internal::CaptureStderr();
  EXPECT_EQ(GenTextureMatrix(context, file.c_str(), 6, ALPHA_OPAQUE), 2);
  testing::internal::GetCapturedStderr();
  ASSERT_NE(tex[6], nullptr);
  ASSERT_NE(tex[7], nullptr);
  EXPECT_EQ(texmap[6][0], argb(255, 255, 0, 0));
  EXPECT_EQ(texmap[7][0], argb(255, 0, 255, 0));
  EXPECT_EQ(tex[8], nullptr);
  W3DTexturePolygonPosition(6, 100, 100, 0, 50, 50, 0, 0, 256, 256, 1, 1);
  W3DTexturePolygonPosition(7, 200, 100, 0, 50, 50, 0, 0, 256, 256, 1, 1);
  W3DDrawTriangles(context);
  EXPECT_NEAR(pixelAt(100, 100).r, 255, 2);
  EXPECT_NEAR(pixelAt(200, 100).g, 255, 2);
  EXPECT_NEAR(pixelAt(200, 100).r, 0, 2);
}

TEST_F(Textures, TilesThatWouldPassTheLastSlotAreRefused) {
  std::string file = stagePicture("pair.ppm", 512, 256, [](int, int) { return Pixel3{1, 1, 1}; });
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTextureMatrix(context, file.c_str(), 19, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Illegal input\n");
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(texmap[19], nullptr);
  EXPECT_EQ(tex[19], nullptr);
}

TEST_F(Textures, AMatrixWhoseTextureFailsStopsAndSaysWhy) {
  std::string file = stagePicture("pair.ppm", 512, 256, [](int, int) { return Pixel3{1, 1, 1}; });
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTextureMatrix(nullptr, file.c_str(), 10, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Illegal input\n");
  testing::internal::GetCapturedStderr();
  EXPECT_NE(texmap[10], nullptr) << "the first tile stays in its slot";
  EXPECT_EQ(texmap[11], nullptr) << "the second is not filed";
}

// The pictures the program ships, staged as at start-up, into the slot
// table with its modes.
TEST_F(Textures, TheShippedPicturesFillAllTwentySlots) {
  const struct {
    const char *file;
    int mode;
  } table[TEXTURE_SLOTS] = {
      {"water01.ppm", 2}, {"font32.ppm", 3}, {"orbel.ppm", 0}, {"water02.ppm", 2}, {"cow_big.ppm", 2},
      {"control2_texture2.ppm", 2}, {"bkg00.ppm", 0}, {"bkg01.ppm", 0}, {"bkg02.ppm", 0}, {"bkg03.ppm", 0},
      {"bkg04.ppm", 0}, {"bkg05.ppm", 0}, {"bkg10.ppm", 0}, {"bkg11.ppm", 0}, {"bkg12.ppm", 0},
      {"bkg13.ppm", 0}, {"bkg14.ppm", 0}, {"bkg15.ppm", 0}, {"jub.ppm", 0}, {"velmologo.ppm", 0}};
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    std::string source = std::string(MUSICDISK_SOURCE_DIR) + "/assets/" + table[slot].file;
    FILE *f = fopen(source.c_str(), "rb");
    ASSERT_NE(f, nullptr) << source;
    std::string bytes;
    char chunk[65536];
    size_t n;
    while ((n = fread(chunk, 1, sizeof chunk, f)) > 0) bytes.append(chunk, n);
    fclose(f);
    std::string staged = writeRam(table[slot].file, bytes);
    testing::internal::CaptureStdout();
    EXPECT_EQ(GenTexture(context, staged.c_str(), slot, table[slot].mode), 1) << table[slot].file;
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << table[slot].file;
    ASSERT_NE(tex[slot], nullptr);
    EXPECT_EQ(bytes.size(), 15 + 256u * 256 * 3) << "a 256 x 256 picture: " << table[slot].file;
  }
  // The glyph sheet's letters are white: somewhere in the cell of "A" is a
  // fully white, fully opaque texel, and its blank cell is transparent.
  bool opaqueWhite = false;
  for (int y = 4 * 32; y < 5 * 32; y++)
    for (int x = 32; x < 64; x++) opaqueWhite |= texmap[FONT_SLOT][y * 256 + x] == 0xFFFFFFFFu;
  EXPECT_TRUE(opaqueWhite);
  for (int y = 0; y < 32; y++)
    for (int x = 0; x < 32; x++) ASSERT_EQ(texmap[FONT_SLOT][y * 256 + x] >> 24, 0u) << x << "," << y;
}

}  // namespace
