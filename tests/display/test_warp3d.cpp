// The library's drawing, read back from the halves it draws into, on the
// OpenGL renderer (offscreen driver) and the software renderer (dummy).
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "platform/warp3d.h"
#include "sdl_fixture.h"

namespace {

constexpr int W = 64, H = 48;

class Warp3DTest : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(openTestSurface(GetParam(), W, H, &surface)) << SDL_GetError();
    int32_t error = -1;
    context = W3D_CreateContextTags(&error, {{W3D_CC_MODEID, W3D_ModeId(W, H)},
                                             {W3D_CC_BITMAP, reinterpret_cast<uintptr_t>(&surface.bitmap)},
                                             {W3D_CC_YOFFSET, 0},
                                             {W3D_CC_DRIVERTYPE, 2},
                                             {W3D_CC_DOUBLEHEIGHT, 1},
                                             {W3D_CC_FAST, 1}});
    ASSERT_NE(context, nullptr);
    ASSERT_EQ(error, W3D_SUCCESS);
    W3D_SetState(context, W3D_BLENDING, W3D_ENABLE);
    W3D_SetState(context, W3D_TEXMAPPING, W3D_ENABLE);
    W3D_SetBlendMode(context, W3D_SRC_ALPHA, W3D_ONE_MINUS_SRC_ALPHA);
    scissor = W3D_Scissor{0, 0, W, H};
    W3D_SetDrawRegion(context, &surface.bitmap, 0, &scissor);
    // The software renderer rounds differently in its blending.
    tolerance = surface.rendererName == "software" ? 3 : 2;
  }
  void TearDown() override {
    W3D_DestroyContext(context);  // also releases the textures left
    closeTestSurface(&surface);
  }

  // A 16 x 16 texture of one texel value.
  W3D_Texture *solidTexture(uint32_t argb) {
    texels.emplace_back(16 * 16, argb);
    int32_t error = -1;
    W3D_Texture *texture = W3D_AllocTexObjTags(context, &error,
                                               {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(texels.back().data())},
                                                {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                                {W3D_ATO_WIDTH, 16},
                                                {W3D_ATO_HEIGHT, 16}});
    EXPECT_EQ(error, W3D_SUCCESS);
    return texture;
  }

  void expectPixel(int half, int x, int y, int r, int g, int b) {
    Rgba got = readPixel(surface.renderer, surface.bitmap.half[half], x, y);
    EXPECT_NEAR(got.r, r, tolerance) << "at " << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.g, g, tolerance) << "at " << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.b, b, tolerance) << "at " << x << "," << y << " of half " << half;
  }

  TestSurface surface;
  W3D_Context *context = nullptr;
  W3D_Scissor scissor{};
  std::vector<std::vector<uint32_t>> texels;
  int tolerance = 2;
};

TEST_P(Warp3DTest, HalfBrightnessOverBlackHalvesTheTexelColour) {
  W3D_Texture *texture = solidTexture(0xFFC86432);  // 200, 100, 50
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, 32, 32, 0, 0, 16, 16, 0.5f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 16, 16, 100, 50, 25);
  expectPixel(0, 48, 40, 0, 0, 0);  // outside the quad
}

TEST_P(Warp3DTest, HalfOpacityMixesFiftyFifty) {
  fillHalf(surface.renderer, surface.bitmap.half[0], 0, 0, 200);
  W3D_Texture *texture = solidTexture(0xFFFF0000);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 0.5f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 20, 20, 128, 0, 100);
}

TEST_P(Warp3DTest, TexelAlphaTimesVertexAlpha) {
  W3D_Texture *texture = solidTexture(0x80FFFFFF);  // half-transparent white
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 0.5f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 20, 20, 64, 64, 64);
}

TEST_P(Warp3DTest, TinyOpacityBuildsUpOverFrames) {
  W3D_Texture *texture = solidTexture(0xFFFFFFFF);
  Rgba previous{0, 0, 0, 0};
  for (int frame = 1; frame <= 60; frame++) {
    ASSERT_EQ(W3D_LockHardware(context), 0u);
    drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 0.0078f);
    W3D_UnLockHardware(context);
    W3D_Flush(context);
    Rgba now = readPixel(surface.renderer, surface.bitmap.half[0], 30, 30);
    if (frame == 1) {
      EXPECT_EQ(now.r, 2) << "0.0078 of white is 2/255, not truncated to 1";
    }
    EXPECT_GT(now.r, previous.r) << "frame " << frame;
    previous = now;
  }
  EXPECT_GE(previous.r, 60);
}

TEST_P(Warp3DTest, RegionSelectsTheHalfAndTheOtherKeepsItsPixels) {
  fillHalf(surface.renderer, surface.bitmap.half[0], 10, 20, 30);
  W3D_Texture *texture = solidTexture(0xFF00FF00);
  ASSERT_EQ(W3D_SetDrawRegion(context, &surface.bitmap, H, &scissor), 0u);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(1, 5, 5, 0, 255, 0);
  expectPixel(0, 5, 5, 10, 20, 30);
  // Queued triangles land in the half that was current when they came.
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 0.5f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_SetDrawRegion(context, &surface.bitmap, 0, &scissor);
  expectPixel(1, 5, 5, 0, 128, 0);
  expectPixel(0, 5, 5, 10, 20, 30);
  EXPECT_EQ(W3D_SetDrawRegion(context, &surface.bitmap, 7, &scissor), static_cast<uint32_t>(W3D_ILLEGALINPUT));
}

TEST_P(Warp3DTest, ScissorClipsDrawing) {
  W3D_Texture *texture = solidTexture(0xFFFFFFFF);
  W3D_Scissor left{0, 0, 32, H};
  W3D_SetScissor(context, &left);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 10, 10, 255, 255, 255);
  expectPixel(0, 50, 10, 0, 0, 0);
}

TEST_P(Warp3DTest, TrianglesOfOneTextureGoToSdlAsOneRun) {
  W3D_Texture *red = solidTexture(0xFFFF0000);
  W3D_Texture *blue = solidTexture(0xFF0000FF);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  for (int i = 0; i < 8; i++) drawQuad(context, red, 0, 0, 32, 48, 0, 0, 16, 16, 1.0f, 1.0f);
  // Giving the lock up for a moment does not end the run.
  W3D_UnLockHardware(context);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  for (int i = 0; i < 8; i++) drawQuad(context, red, 0, 0, 32, 48, 0, 0, 16, 16, 1.0f, 1.0f);
  for (int i = 0; i < 4; i++) drawQuad(context, blue, 32, 0, 64, 48, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  EXPECT_EQ(W3D_GetStats(context)->geometryRuns, 1u);  // red went when blue came
  W3D_Flush(context);
  W3D_Flush(context);  // nothing queued: no call
  const W3D_Stats *stats = W3D_GetStats(context);
  EXPECT_EQ(stats->geometryRuns, 2u);
  EXPECT_EQ(stats->triangleCalls, 40u);
  EXPECT_EQ(stats->trianglesDrawn, 40u);
  expectPixel(0, 10, 10, 255, 0, 0);
  expectPixel(0, 50, 10, 0, 0, 255);
}

TEST_P(Warp3DTest, TriangleWithoutTextureIsNotDrawn) {
  W3D_Texture *white = solidTexture(0xFFFFFFFF);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  drawQuad(context, nullptr, 0, 0, 32, 48, 0, 0, 16, 16, 1.0f, 1.0f);
  drawQuad(context, white, 32, 0, 64, 48, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  EXPECT_EQ(W3D_GetStats(context)->triangleCalls, 4u);
  EXPECT_EQ(W3D_GetStats(context)->trianglesDrawn, 2u);
  expectPixel(0, 10, 10, 0, 0, 0);
  expectPixel(0, 50, 10, 255, 255, 255);
}

TEST_P(Warp3DTest, TextureCoordinatesAreTexelsAndRepeat) {
  // Left half of the texture red, right half blue.
  texels.emplace_back(16 * 16);
  for (int y = 0; y < 16; y++)
    for (int x = 0; x < 16; x++) texels.back()[y * 16 + x] = x < 8 ? 0xFFFF0000 : 0xFF0000FF;
  int32_t error = -1;
  W3D_Texture *texture = W3D_AllocTexObjTags(context, &error,
                                             {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(texels.back().data())},
                                              {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                              {W3D_ATO_WIDTH, 16},
                                              {W3D_ATO_HEIGHT, 16}});
  ASSERT_NE(texture, nullptr);
  ASSERT_EQ(W3D_LockHardware(context), 0u);
  // Texels 0-8 (red) on the left, 8-16 (blue) one period further on the right.
  drawQuad(context, texture, 0, 0, 32, 48, 0, 0, 8, 16, 1.0f, 1.0f);
  drawQuad(context, texture, 32, 0, 64, 48, 24, 16, 32, 32, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 12, 20, 255, 0, 0);
  expectPixel(0, 52, 20, 0, 0, 255);
  EXPECT_EQ(W3D_GetStats(context)->trianglesDrawn, 4u);
}

TEST_P(Warp3DTest, LockIsAFlagOfTheLibrary) {
  W3D_Texture *white = solidTexture(0xFFFFFFFF);
  drawQuad(context, white, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);  // not locked: refused
  EXPECT_EQ(W3D_GetStats(context)->trianglesDrawn, 0u);
  EXPECT_EQ(W3D_LockHardware(context), 0u);
  EXPECT_EQ(W3D_LockHardware(context), static_cast<uint32_t>(W3D_ALREADYLOCKED));
  W3D_UnLockHardware(context);
  EXPECT_EQ(W3D_LockHardware(context), 0u);
  W3D_UnLockHardware(context);
  EXPECT_EQ(W3D_GetStats(context)->locks, 2u);
  EXPECT_EQ(W3D_GetStats(context)->unlocks, 2u);
  W3D_Flush(context);
  expectPixel(0, 10, 10, 0, 0, 0);
}

TEST_P(Warp3DTest, TraceHookSeesTheOrder) {
  static std::string order;
  order.clear();
  W3D_TraceHook = [](const char *operation) { order += std::string(operation) + " "; };
  W3D_Texture *white = solidTexture(0xFFFFFFFF);
  W3D_LockHardware(context);
  drawQuad(context, white, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_TraceHook = nullptr;
  EXPECT_EQ(order, "lock draw draw unlock ");
}

TEST_P(Warp3DTest, UploadTakesNewTexels) {
  W3D_Texture *texture = solidTexture(0xFFFF0000);
  for (uint32_t &texel : texels.back()) texel = 0xFF00FF00;
  EXPECT_EQ(W3D_UploadTexture(context, texture), 0u);
  W3D_LockHardware(context);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_Flush(context);
  expectPixel(0, 10, 10, 0, 255, 0);
}

TEST_P(Warp3DTest, FreedTextureDrawsWhatWasQueuedFirst) {
  W3D_Texture *texture = solidTexture(0xFFFF0000);
  W3D_LockHardware(context);
  drawQuad(context, texture, 0, 0, W, H, 0, 0, 16, 16, 1.0f, 1.0f);
  W3D_UnLockHardware(context);
  W3D_FreeTexObj(context, texture);
  W3D_Flush(context);
  expectPixel(0, 10, 10, 255, 0, 0);
}

TEST_P(Warp3DTest, BadTexturesAreRefusedWithTheirError) {
  std::vector<uint32_t> image(16 * 16);
  int32_t error = 0;
  EXPECT_EQ(W3D_AllocTexObjTags(context, &error, {{W3D_ATO_FORMAT, W3D_A8R8G8B8}, {W3D_ATO_WIDTH, 16}, {W3D_ATO_HEIGHT, 16}}),
            nullptr);
  EXPECT_EQ(error, W3D_ILLEGALINPUT);
  EXPECT_EQ(W3D_AllocTexObjTags(context, &error, {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(image.data())},
                                                  {W3D_ATO_FORMAT, 99}, {W3D_ATO_WIDTH, 16}, {W3D_ATO_HEIGHT, 16}}),
            nullptr);
  EXPECT_EQ(error, W3D_UNSUPPORTEDTEXFMT);
  EXPECT_EQ(W3D_AllocTexObjTags(context, &error, {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(image.data())},
                                                  {W3D_ATO_FORMAT, W3D_A8R8G8B8}, {W3D_ATO_WIDTH, 0}, {W3D_ATO_HEIGHT, 16}}),
            nullptr);
  EXPECT_EQ(error, W3D_UNSUPPORTEDTEXSIZE);
}

INSTANTIATE_TEST_SUITE_P(Renderers, Warp3DTest, testing::Values("offscreen", "dummy"),
                         [](const testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

TEST(Warp3DContext, BitmapErrors) {
  int32_t error = 0;
  EXPECT_EQ(W3D_CreateContextTags(&error, {{W3D_CC_BITMAP, 0}}), nullptr);
  EXPECT_EQ(error, W3D_ILLEGALBITMAP);
  W3D_Bitmap empty{};
  EXPECT_EQ(W3D_CreateContextTags(&error, {{W3D_CC_BITMAP, reinterpret_cast<uintptr_t>(&empty)}}), nullptr);
  EXPECT_EQ(error, W3D_NOTVISIBLE);
  EXPECT_EQ(W3D_LockHardware(nullptr), static_cast<uint32_t>(W3D_ILLEGALINPUT));
}

TEST(Warp3DModes, ModeIdsCarryTheirNominalRectangle) {
  W3D_ModeRect rect{};
  ASSERT_TRUE(W3D_GetModeNominal(W3D_ModeId(640, 480), &rect));
  EXPECT_EQ(rect.MinX, 0);
  EXPECT_EQ(rect.MinY, 0);
  EXPECT_EQ(rect.MaxX, 639);
  EXPECT_EQ(rect.MaxY, 479);
  EXPECT_FALSE(W3D_GetModeNominal(W3D_NOMODE, &rect));
  EXPECT_FALSE(W3D_GetModeNominal(0x12345, &rect));
}

}  // namespace
