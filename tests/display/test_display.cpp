// The display opened for real on the offscreen driver (OpenGL through EGL)
// and the dummy driver (software renderer): setup, the frame cycle, the
// erase, the lock, read back from the halves.
#include <gtest/gtest.h>

#include <SDL.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/window.h"
#include "draw/textures.h"
#include "sdl_fixture.h"

namespace {

class DisplayTest : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", GetParam(), 1);
    // OpenGL draws on offscreen; the software renderer's halves are drawn on the CPU.
    W3D_CpuDrawing = std::string(GetParam()) == "offscreen" ? 0 : -1;
    ASSERT_EQ(W3DSetup(), 1);
    ASSERT_EQ(w3d_Screen->cpuDrawing, W3D_CpuDrawing != 0);
    renderer = w3d_Screen->renderer;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    tolerance = std::string(info.name) == "software" ? 3 : 2;
  }
  void TearDown() override {
    if (texture) W3D_FreeTexObj(w3d_Context, texture);
    W3DCleanup();
    W3D_CpuDrawing = -1;
  }

  W3D_Texture *solid(uint32_t argb) {
    texels.assign(16 * 16, argb);
    int32_t error = -1;
    texture = W3D_AllocTexObjTags(w3d_Context, &error,
                                  {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(texels.data())},
                                   {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                   {W3D_ATO_WIDTH, 16},
                                   {W3D_ATO_HEIGHT, 16}});
    EXPECT_NE(texture, nullptr);
    return texture;
  }
  // A quad over the whole drawing half, drawn as the batch does it.
  void drawFull(float brightness, float alpha) {
    ASSERT_EQ(W3DLockHardware(w3d_Context), 0);
    drawQuad(w3d_Context, texture, 0, 0, SCREEN_WIDTH, SCREEN_HEIGHT, 0, 0, 16, 16, brightness, alpha);
    W3DUnLockHardware(w3d_Context);
  }
  Rgba pixel(int half, int x, int y) {
    if (!w3d_BitMap->pixels[half]) return readPixel(renderer, w3d_BitMap->half[half], x, y);
    uint32_t p = w3d_BitMap->pixels[half][y * SCREEN_WIDTH + x];
    return Rgba{int(p >> 16 & 255), int(p >> 8 & 255), int(p & 255), int(p >> 24)};
  }
  void expectPixel(int half, int x, int y, int r, int g, int b) {
    Rgba got = pixel(half, x, y);
    EXPECT_NEAR(got.r, r, tolerance) << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.g, g, tolerance) << x << "," << y << " of half " << half;
    EXPECT_NEAR(got.b, b, tolerance) << x << "," << y << " of half " << half;
  }

  SDL_Renderer *renderer = nullptr;
  std::vector<uint32_t> texels;
  W3D_Texture *texture = nullptr;
  int tolerance = 2;
};

TEST_P(DisplayTest, SetupOpensA43ScreenWithBlackHalvesAndHiddenPointer) {
  EXPECT_EQ(SCREEN_WIDTH * 3, SCREEN_HEIGHT * 4);
  EXPECT_GE(SCREEN_WIDTH, 640);
  EXPECT_LE(SCREEN_WIDTH, 1280);
  // The offscreen and dummy desktops are 1024 x 768: the largest 4:3 size
  // that fits is the desktop itself.
  EXPECT_EQ(SCREEN_WIDTH, 1024);
  EXPECT_EQ(w3d_Screen->height, 2 * SCREEN_HEIGHT);
  EXPECT_EQ(w3d_BitMap->width, SCREEN_WIDTH);
  EXPECT_EQ(w3d_BitMap->height, SCREEN_HEIGHT);
  EXPECT_NE(Warp3DBase, nullptr);
  EXPECT_NE(IWarp3D, nullptr);
  EXPECT_EQ(HARDWARELOCK, 0);
  EXPECT_EQ(bufnum, 0);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_TRUE(SDL_GetWindowFlags(w3d_Screen->window) & SDL_WINDOW_FULLSCREEN);
  for (int half = 0; half < 2; half++)
    for (int y : {0, SCREEN_HEIGHT / 2, SCREEN_HEIGHT - 1}) {
      Rgba got = pixel(half, SCREEN_WIDTH - 1, y);
      EXPECT_EQ(got.r + got.g + got.b, 0) << "half " << half << " row " << y;
    }
}

TEST_P(DisplayTest, FirstSwitchShowsTheBlackLowerHalfAndDrawingStaysUpper) {
  solid(0xFFFF0000);
  drawFull(1.0f, 1.0f);  // drawing starts in the upper half
  W3DSwitchBuffer();
  EXPECT_EQ(w3d_Screen->shownHalf, 1);
  EXPECT_EQ(bufnum, 1);
  expectPixel(1, 100, 100, 0, 0, 0);
  expectPixel(0, 100, 100, 255, 0, 0);
  // The next frame still goes to the upper half, which the second switch shows.
  drawFull(0.5f, 1.0f);
  W3DSwitchBuffer();
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  EXPECT_EQ(bufnum, 0);
  expectPixel(0, 100, 100, 128, 0, 0);
  expectPixel(1, 100, 100, 0, 0, 0);
}

TEST_P(DisplayTest, HalfKeepsItsPixelsAcrossTwoSwitches) {
  W3DSwitchBuffer();  // as before the intro: the lower half is shown
  solid(0xFF00FF00);
  drawFull(1.0f, 1.0f);  // upper
  W3DSwitchBuffer();     // shows upper, drawing goes lower
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  W3DSwitchBuffer();  // shows lower, drawing goes upper
  W3DSwitchBuffer();  // shows upper again
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  expectPixel(0, 10, 10, 0, 255, 0);
  expectPixel(0, SCREEN_WIDTH - 10, SCREEN_HEIGHT - 10, 0, 255, 0);
  expectPixel(1, 10, 10, 0, 0, 0);
}

TEST_P(DisplayTest, BrightnessAndOpacityReachTheShownHalf) {
  W3DSwitchBuffer();
  solid(0xFFC86432);
  drawFull(0.5f, 1.0f);
  W3DSwitchBuffer();  // hands the queued triangles over before it shows
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  expectPixel(0, 300, 300, 100, 50, 25);
  // Lower half: white, then red at opacity 0.5 over it.
  W3D_FreeTexObj(w3d_Context, texture);
  solid(0xFFFFFFFF);
  drawFull(1.0f, 1.0f);
  W3D_FreeTexObj(w3d_Context, texture);
  solid(0xFFFF0000);
  drawFull(1.0f, 0.5f);
  W3DSwitchBuffer();
  EXPECT_EQ(w3d_Screen->shownHalf, 1);
  expectPixel(1, 300, 300, 255, 128, 128);
}

// Rows the strip erase must leave: H - H/10 - H/30, truncated.
int stripTop(int h) { return static_cast<int>(static_cast<double>(h) + h / -10.0 + h / -30.0); }

TEST_P(DisplayTest, StripEraseClearsTheBottomRowsOfTheDrawingHalfOnly) {
  ASSERT_EQ(SCREEN_HEIGHT, 768);
  EXPECT_EQ(stripTop(768), 665);
  for (int drawing : {0, 1}) {
    for (int half : {0, 1}) {
      if (w3d_BitMap->pixels[half])
        std::fill_n(w3d_BitMap->pixels[half], SCREEN_WIDTH * SCREEN_HEIGHT, 0xFFFFFFFFu);
      else
        fillHalf(renderer, w3d_BitMap->half[half], 255, 255, 255);
    }
    bufnum = 1 - drawing;
    W3DClearWindow(0);
    expectPixel(drawing, 5, 664, 255, 255, 255);
    expectPixel(drawing, 5, 665, 0, 0, 0);
    expectPixel(drawing, SCREEN_WIDTH - 1, 767, 0, 0, 0);
    expectPixel(1 - drawing, 5, 700, 255, 255, 255);
    expectPixel(1 - drawing, 5, 767, 255, 255, 255);
    W3DClearWindow(1);
    expectPixel(drawing, 0, 0, 0, 0, 0);
    expectPixel(drawing, SCREEN_WIDTH - 1, 400, 0, 0, 0);
    expectPixel(1 - drawing, 0, 0, 255, 255, 255);
  }
}

TEST_P(DisplayTest, EraseComesAfterWhatWasDrawnBeforeIt) {
  W3DSwitchBuffer();  // drawing upper, bufnum 1
  solid(0xFFFFFFFF);
  drawFull(1.0f, 1.0f);  // still queued
  W3DClearWindow(0);
  expectPixel(0, 5, 5, 255, 255, 255);
  expectPixel(0, 5, SCREEN_HEIGHT - 1, 0, 0, 0);
}

TEST_P(DisplayTest, SecondLockReturnsZeroWithoutTheLibrary) {
  static int libraryLocks;
  libraryLocks = 0;
  W3D_TraceHook = [](const char *operation) { libraryLocks += std::string(operation) == "lock"; };
  EXPECT_EQ(W3DLockHardware(w3d_Context), 0);
  EXPECT_EQ(HARDWARELOCK, 1);
  EXPECT_EQ(W3DLockHardware(w3d_Context), 0);
  EXPECT_EQ(libraryLocks, 1);
  EXPECT_EQ(W3D_GetStats(w3d_Context)->locks, 1u);
  W3DUnLockHardware(w3d_Context);
  EXPECT_EQ(HARDWARELOCK, 0);
  EXPECT_EQ(W3DLockHardware(w3d_Context), 0);
  EXPECT_EQ(libraryLocks, 2);
  W3DUnLockHardware(w3d_Context);
  W3D_TraceHook = nullptr;
}

TEST_P(DisplayTest, SwitchesArePacedToTheDisplay) {
  // Neither driver waits for a display: the switch must hold the loop to
  // the refresh rate by itself.
  int32_t rate = w3d_Screen->refreshRate;
  ASSERT_GT(rate, 0);
  W3DSwitchBuffer();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; i++) W3DSwitchBuffer();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 29.0 / rate);
}

TEST_P(DisplayTest, CleanupReleasesEverythingAndTheTextures) {
  // A texture in a slot as start-up leaves it.
  texmap[2] = new uint32_t[16 * 16]();
  int32_t error = -1;
  tex[2] = W3D_AllocTexObjTags(w3d_Context, &error, {{W3D_ATO_IMAGE, reinterpret_cast<uintptr_t>(texmap[2])},
                                                    {W3D_ATO_FORMAT, W3D_A8R8G8B8},
                                                    {W3D_ATO_WIDTH, 16},
                                                    {W3D_ATO_HEIGHT, 16}});
  ASSERT_NE(tex[2], nullptr);
  W3DCleanup();
  EXPECT_EQ(tex[2], nullptr);
  EXPECT_EQ(texmap[2], nullptr);
  EXPECT_EQ(w3d_Context, nullptr);
  EXPECT_EQ(w3d_Window, nullptr);
  EXPECT_EQ(w3d_BitMap, nullptr);
  EXPECT_EQ(w3d_Screen, nullptr);
  EXPECT_EQ(Warp3DBase, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  // A second cleanup finds nothing to release; a new setup works.
  W3DCleanup();
  ASSERT_EQ(W3DSetup(), 1);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DisplayTest, testing::Values("offscreen", "dummy"),
                         [](const testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

// The bottom strip on a 640 x 480 screen, on halves made as the setup makes
// them, with the rows counted out by hand.
TEST(ClearWindow, StripOfA480RowScreenIsRows416To479) {
  TestSurface surface;
  ASSERT_TRUE(openTestSurface("offscreen", 8, 8, &surface)) << SDL_GetError();
  W3D_Screen screen{};
  screen.renderer = surface.renderer;
  screen.width = 640;
  screen.height = 960;
  W3D_Window *window = openWindow(&screen);
  ASSERT_NE(window, nullptr);
  int32_t oldWidth = SCREEN_WIDTH, oldHeight = SCREEN_HEIGHT;
  SCREEN_WIDTH = 640;
  SCREEN_HEIGHT = 480;
  w3d_Window = window;
  auto isBlack = [&](int half, int y) {
    Rgba got = readPixel(surface.renderer, window->bitmap.half[half], 320, y);
    return got.r == 0 && got.g == 0 && got.b == 0;
  };
  for (int shown : {1, 0}) {
    int drawing = 1 - shown;
    fillHalf(surface.renderer, window->bitmap.half[0], 255, 255, 255);
    fillHalf(surface.renderer, window->bitmap.half[1], 255, 255, 255);
    bufnum = shown;
    W3DClearWindow(0);
    for (int y = 0; y < 480; y++) {
      EXPECT_EQ(isBlack(drawing, y), y >= 416) << "row " << y << " of half " << drawing;
      EXPECT_FALSE(isBlack(shown, y)) << "row " << y << " of the shown half";
    }
    EXPECT_TRUE(isBlack(drawing, 479));
    Rgba corner = readPixel(surface.renderer, window->bitmap.half[drawing], 639, 416);
    EXPECT_EQ(corner.r, 0);
    Rgba left = readPixel(surface.renderer, window->bitmap.half[drawing], 0, 479);
    EXPECT_EQ(left.r, 0);
  }
  w3d_Window = nullptr;
  SCREEN_WIDTH = oldWidth;
  SCREEN_HEIGHT = oldHeight;
  bufnum = 0;
  closeWindow(window);
  closeTestSurface(&surface);
}

TEST(PictureRect, KeepsTheAspectWithBars) {
  SDL_Rect wide = pictureRect(1920, 1080, 1280, 960);
  EXPECT_EQ(wide.x, 240);
  EXPECT_EQ(wide.y, 0);
  EXPECT_EQ(wide.w, 1440);
  EXPECT_EQ(wide.h, 1080);
  SDL_Rect tall = pictureRect(1280, 1024, 1280, 960);
  EXPECT_EQ(tall.x, 0);
  EXPECT_EQ(tall.y, 32);
  EXPECT_EQ(tall.w, 1280);
  EXPECT_EQ(tall.h, 960);
  SDL_Rect same = pictureRect(1024, 768, 1024, 768);
  EXPECT_EQ(same.x, 0);
  EXPECT_EQ(same.w, 1024);
}

}  // namespace
