// The library's drawing, read back from the halves it draws into, on the
// OpenGL renderer (offscreen driver) and the software renderer (dummy).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fixture.h"
#include "platform/warp3d.h"

namespace {

constexpr int W = 64, H = 48;

class Warp3DTest : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(openTestSurface(GetParam(), W, H, &s)) << SDL_GetError();
    context = s.context;
    // The software renderer rounds differently in its blending.
    tolerance = s.rendererName == "software" ? 3 : 2;
  }
  void TearDown() override { closeTestSurface(&s); }

  // A 16 x 16 texture; texel(x) gives the texel of column x.
  template <typename F>
  W3D_Texture *texture(F texel) {
    texels.emplace_back(16 * 16);
    for (int i = 0; i < 16 * 16; i++) texels.back()[i] = texel(i % 16);
    return makeTexture(context, texels.back().data(), 16, 16);
  }
  W3D_Texture *solid(uint32_t argb) {
    return texture([argb](int) { return argb; });
  }
  // Columns x0..x1 of the drawing half, inside the lock.
  void draw(W3D_Texture *t, float x0, float x1, float grey = 1.0f, float alpha = 1.0f) {
    ASSERT_EQ(W3D_LockHardware(context), 0u);
    drawQuad(context, t, x0, 0, x1, H, 0, 0, 16, 16, grey, alpha);
    W3D_UnLockHardware(context);
  }
  Rgba pixel(int half, int x, int y) { return readPixel(s.renderer, s.bitmap.half[half], x, y); }
  void expectPixel(int half, int x, int y, int r, int g, int b) {
    Rgba got = pixel(half, x, y);
    EXPECT_NEAR(got.r, r, tolerance) << "at " << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.g, g, tolerance) << "at " << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.b, b, tolerance) << "at " << x << "," << y << " of half " << half;
  }

  TestSurface s;
  W3D_Context *context = nullptr;
  std::vector<std::vector<uint32_t>> texels;
  int tolerance = 2;
};

TEST_P(Warp3DTest, ColourIsTexelTimesGreyAndBlendsByBothAlphas) {
  const struct {
    Uint8 r, g, b;  // what the half held
    uint32_t texel;
    float grey, alpha;
    int er, eg, eb;
  } cases[] = {
      {0, 0, 0, 0xFFC86432, 0.5f, 1.0f, 100, 50, 25},
      {0, 0, 200, 0xFFFF0000, 1.0f, 0.5f, 128, 0, 100},
      {0, 0, 0, 0x80FFFFFF, 1.0f, 0.5f, 64, 64, 64},  // texel alpha times vertex alpha
      {0, 0, 0, 0xFFFFFFFF, 1.0f, 0.0078f, 2, 2, 2},  // rounded, not truncated to 1
  };
  for (const auto &c : cases) {
    fillHalf(s.renderer, s.bitmap.half[0], c.r, c.g, c.b);
    draw(solid(c.texel), 0, 32, c.grey, c.alpha);
    W3D_Flush(context);
    expectPixel(0, 16, 20, c.er, c.eg, c.eb);
    expectPixel(0, 48, 20, c.r, c.g, c.b);  // beside the quad
  }
  // Frame after frame, a nearly transparent picture builds up.
  W3D_Texture *white = solid(0xFFFFFFFF);
  int previous = pixel(0, 16, 20).r;
  for (int frame = 0; frame < 20; frame++) {
    draw(white, 0, 32, 1.0f, 0.0078f);
    W3D_Flush(context);
    int now = pixel(0, 16, 20).r;
    EXPECT_GT(now, previous) << "frame " << frame;
    previous = now;
  }
}

TEST_P(Warp3DTest, RegionChoosesTheHalf) {
  fillHalf(s.renderer, s.bitmap.half[0], 10, 20, 30);
  W3D_Texture *green = solid(0xFF00FF00);
  W3D_Scissor whole{0, 0, W, H};
  ASSERT_EQ(W3D_SetDrawRegion(context, &s.bitmap, H, &whole), 0u);
  draw(green, 0, W);
  W3D_Flush(context);
  expectPixel(1, 5, 5, 0, 255, 0);
  expectPixel(0, 5, 5, 10, 20, 30);
  // Queued triangles land in the half that was current when they came.
  draw(green, 0, W, 0.5f);
  W3D_SetDrawRegion(context, &s.bitmap, 0, &whole);
  expectPixel(1, 5, 5, 0, 128, 0);
  expectPixel(0, 5, 5, 10, 20, 30);
  EXPECT_EQ(W3D_SetDrawRegion(context, &s.bitmap, 7, &whole), uint32_t(W3D_ILLEGALINPUT));
}

TEST_P(Warp3DTest, TrianglesGoInRunsOfOneTextureOnlyInsideTheLock) {
  W3D_Texture *red = solid(0xFFFF0000), *blue = solid(0xFF0000FF);
  drawQuad(context, red, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);  // not locked: refused
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  EXPECT_EQ(W3D_LockHardware(context), uint32_t(W3D_ALREADYLOCKED));
  for (int i = 0; i < 8; i++) drawQuad(context, red, 0, 0, 32, H, 0, 0, 16, 16, 1.0f, 1.0f);
  // Giving the lock up for a moment does not end the run.
  W3D_UnLockHardware(context);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  for (int i = 0; i < 4; i++) drawQuad(context, blue, 32, 0, 64, H, 0, 0, 16, 16, 1.0f, 1.0f);
  drawQuad(context, nullptr, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);  // no texture: not drawn
  W3D_UnLockHardware(context);
  const W3D_Stats *stats = W3D_GetStats(context);
  EXPECT_EQ(stats->geometryRuns, 1u);  // red went when blue came
  W3D_Flush(context);
  W3D_Flush(context);  // nothing queued: no call
  EXPECT_EQ(stats->geometryRuns, 2u);
  EXPECT_EQ(stats->triangleCalls, 28u);
  EXPECT_EQ(stats->trianglesDrawn, 24u);
  EXPECT_EQ(stats->locks, 2u);
  expectPixel(0, 10, 10, 255, 0, 0);
  expectPixel(0, 50, 10, 0, 0, 255);
}

TEST_P(Warp3DTest, TextureCoordinatesAreTexelsAndRepeat) {
  W3D_Texture *halves = texture([](int x) { return x < 8 ? 0xFFFF0000u : 0xFF0000FFu; });
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  // Texels 0-8 (red) on the left, 8-16 (blue) one period further on the right.
  drawQuad(context, halves, 0, 0, 32, 48, 0, 0, 8, 16, 1.0f, 1.0f);
  drawQuad(context, halves, 32, 0, 64, 48, 24, 16, 32, 32, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 12, 20, 255, 0, 0);
  expectPixel(0, 52, 20, 0, 0, 255);
}

TEST_P(Warp3DTest, UploadTakesNewTexelsAndFreeingDrawsWhatWasQueuedFirst) {
  W3D_Texture *changing = solid(0xFFFF0000);
  for (uint32_t &texel : texels.back()) texel = 0xFF00FF00;
  EXPECT_EQ(W3D_UploadTexture(context, changing), 0u);
  draw(changing, 0, 32);
  W3D_Texture *red = solid(0xFFFF0000);
  draw(red, 32, 64);
  W3D_FreeTexObj(context, red);
  W3D_Flush(context);
  expectPixel(0, 10, 10, 0, 255, 0);
  expectPixel(0, 50, 10, 255, 0, 0);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Warp3DTest, testing::Values("offscreen", "dummy"),
                         [](const testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

}  // namespace
