// Drawing through the display on SDL's offscreen driver (OpenGL), read
// back: textures made in their slots, and the batch submitted inside the
// hardware lock, quad by quad.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "../display/fixture.h"
#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "platform/files.h"
#include "staging.h"

namespace {

uint32_t argb(uint32_t a, uint32_t r, uint32_t g, uint32_t b) { return a << 24 | r << 16 | g << 8 | b; }

std::vector<std::string> trace;

class Drawing : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    W3D_CpuDrawing = 0;  // OpenGL draws
    W3DAtCleanup(releaseTextureSlots);
    ASSERT_EQ(W3DSetup(), 1);
    context = w3d_Context;
    triPos = 0;
    trace.clear();
  }
  void TearDown() override {
    W3D_TraceHook = nullptr;
    W3DCleanup();  // also frees the slots
    W3D_CpuDrawing = -1;
    removeStagingDirectory();
  }

  void solidSlot(int slot, uint32_t rgb) {
    std::string file = stagePicture("solid" + std::to_string(slot) + ".ppm", 8, 8, [rgb](int, int) { return rgb; });
    ASSERT_EQ(GenTexture(context, file.c_str(), slot, ALPHA_OPAQUE), 1);
  }
  Rgba pixelAt(float x, float y) {
    W3D_Flush(context);
    return readPixel(w3d_Screen->renderer, w3d_BitMap->half[0], int(x), int(y));
  }

  W3D_Context *context = nullptr;
};

TEST_F(Drawing, SlotsHoldTheirPictureAndATextureObjectOrSayWhy) {
  // A glyph sheet: grey cells and one coloured star.
  std::string sheet = stagePicture("font32.ppm", 256, 256, [](int x, int y) {
    uint32_t grey = (x / 32 + 8 * (y / 32)) * 4;
    return x < 32 && y < 32 ? 0xFFC800u : grey * 0x010101u;
  });
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTexture(context, sheet.c_str(), FONT_SLOT, ALPHA_GREY_TO_WHITE), 1);
  std::string wide = stagePicture("wide.ppm", 4097, 1, [](int, int) { return 0x090909u; });
  EXPECT_EQ(GenTexture(context, wide.c_str(), 4, ALPHA_OPAQUE), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Unsupported texture size\n");
  EXPECT_EQ(texmap[FONT_SLOT][0], argb((255 + 200) / 3, 255, 200, 0));
  EXPECT_EQ(texmap[FONT_SLOT][4 * 32 * 256 + 32], argb(132, 255, 255, 255));  // cell 33
  EXPECT_EQ(tex[4], nullptr);

  // Drawn at full size: the star keeps its colour times its alpha, cell 63
  // (grey 252) shows nearly white.
  W3DTexturePolygonPosition(FONT_SLOT, 128, 128, 0, 256, 256, 0, 0, 256, 256, 1, 1);
  W3DDrawTriangles(context);
  Rgba star = pixelAt(16, 16), last = pixelAt(7 * 32 + 16, 7 * 32 + 16);
  EXPECT_NEAR(star.r, 255 * 151 / 255, 3);
  EXPECT_NEAR(star.g, 200 * 151 / 255, 3);
  EXPECT_NEAR(last.r, 252, 3);
}

// A wide picture fills one slot per tile, or none when the last would pass slot 19.
TEST_F(Drawing, AWidePictureFillsOneSlotPerTileOrNone) {
  std::string pair = stagePicture("pair.ppm", 512, 256, [](int x, int) { return x < 256 ? 0xFF0000u : 0x00FF00u; });
  testing::internal::CaptureStderr();
  testing::internal::CaptureStdout();
  EXPECT_EQ(GenTextureMatrix(context, pair.c_str(), 6, ALPHA_OPAQUE), 2);
  EXPECT_EQ(GenTextureMatrix(context, pair.c_str(), 19, ALPHA_OPAQUE), 0);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error generating texture: Illegal input\n");
  EXPECT_EQ(texmap[19], nullptr);
  W3DTexturePolygonPosition(6, 100, 100, 0, 50, 50, 0, 0, 256, 256, 1, 1);
  W3DTexturePolygonPosition(7, 200, 100, 0, 50, 50, 0, 0, 256, 256, 1, 1);
  W3DDrawTriangles(context);
  EXPECT_NEAR(pixelAt(100, 100).r, 255, 2);
  EXPECT_NEAR(pixelAt(200, 100).g, 255, 2);
  EXPECT_NEAR(pixelAt(200, 100).r, 0, 2);
}

TEST_F(Drawing, TheBatchIsSubmittedInsideTheLockGivenUpEverySixteenTriangles) {
  solidSlot(0, 0xFFFFFF);
  for (int i = 0; i < 20; i++) W3DTexturePolygonPosition(0, 10.0f + i, 10, 0, 4, 4, 0, 0, 8, 8, 1, 1);
  W3D_TraceHook = [](const char *operation) { trace.push_back(operation); };
  W3DDrawTriangles(context);
  W3D_TraceHook = nullptr;
  // Taken, then given up and taken again before every sixteenth triangle.
  std::vector<std::string> expected = {"lock"};
  for (int i = 0; i < 40; i++) {
    if (i % 16 == 0) expected.insert(expected.end(), {"unlock", "lock"});
    expected.push_back("draw");
  }
  expected.push_back("unlock");
  EXPECT_EQ(trace, expected);
  EXPECT_EQ(HARDWARELOCK, 0) << "the lock is given back at the end";
}

TEST_F(Drawing, QuadsAreTwoTrianglesOfTheirSlotLaterOnesOverEarlierOnes) {
  solidSlot(3, 0xC86432);
  solidSlot(6, 0xFF0000);
  solidSlot(7, 0x00FF00);
  // A kite: D lies far out, so triangle A, D, C covers ground A, B, C does not.
  W3DTexturePolygon(3, 100, 100, 0, 0, 0, 200, 100, 0, 8, 0, 200, 200, 0, 8, 8, 20, 260, 0, 0, 8, 1.0f);
  W3DTexturePolygonPosition(6, 400, 100, 0, 100, 100, 0, 0, 8, 8, 1, 1);  // 350..450
  W3DTexturePolygonPosition(7, 450, 100, 0, 60, 60, 0, 0, 8, 8, 1, 1);    // 420..480
  W3DTexturePolygonPosition(6, 300, 300, 0, 20, 20, 0, 0, 8, 8, 0.5f, 1);
  W3DTexturePolygonPosition(9, 500, 300, 0, 20, 20, 0, 0, 8, 8, 1, 1);   // an empty slot
  W3DTexturePolygonPosition(-5, 500, 300, 0, 20, 20, 0, 0, 8, 8, 1, 1);  // no such slot
  W3DTexturePolygonPosition(7, 300, 400, 0, 20, 20, 0, 0, 8, 8, 1, 1);
  W3DTexturePolygonPosition(3, 300, 400, 0.5f, 20, 20, 0, 0, 8, 8, 1, 0.5f);  // blended over
  W3DDrawTriangles(context);
  EXPECT_EQ(W3D_GetStats(context)->triangleCalls, 16u);
  EXPECT_EQ(W3D_GetStats(context)->trianglesDrawn, 12u);
  const struct {
    float x, y;
    int r, g, b;
  } expected[] = {
      {180, 120, 200, 100, 50}, {80, 200, 200, 100, 50},  {180, 250, 0, 0, 0},    // the kite's two halves
      {370, 100, 255, 0, 0},    {435, 100, 0, 255, 0},    {300, 300, 128, 0, 0},  // overlap; brightness
      {500, 300, 0, 0, 0},      {300, 400, 100, 178, 25},
  };
  for (const auto &e : expected) {
    Rgba p = pixelAt(e.x, e.y);
    EXPECT_NEAR(p.r, e.r, 2) << e.x << "," << e.y;
    EXPECT_NEAR(p.g, e.g, 2) << e.x << "," << e.y;
    EXPECT_NEAR(p.b, e.b, 2) << e.x << "," << e.y;
  }
}

}  // namespace
