// The display opened for real on the offscreen driver (OpenGL through EGL)
// and the dummy driver (our CPU rasteriser): setup, the library's drawing
// (colour, blending, texture coordinates, runs, uploads), the frame cycle,
// the erase, the lock, teardown, all read back from the halves; setup that
// fails; the time base and the frame counter.
#include <SDL.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/window.h"
#include "draw/textures.h"
#include "fixture.h"
#include "music/music.h"
#include "platform/task.h"

namespace {

class DisplayTest : public testing::TestWithParam<const char *> {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", GetParam(), 1);
    // OpenGL draws on offscreen; the software renderer's halves are drawn on the CPU.
    W3D_CpuDrawing = std::string(GetParam()) == "offscreen" ? 0 : -1;
    W3DAtCleanup(releaseTextureSlots);
    W3DAtCleanup(endMusicHandler);
    ASSERT_EQ(W3DSetup(), 1);
    ASSERT_EQ(w3d_Screen->cpuDrawing, W3D_CpuDrawing != 0);
    renderer = w3d_Screen->renderer;
    SDL_RendererInfo info;
    SDL_GetRendererInfo(renderer, &info);
    tolerance = std::string(info.name) == "software" ? 3 : 2;
  }
  void TearDown() override {
    W3DCleanup();
    W3D_CpuDrawing = -1;
  }

  // A 16 x 16 texture; texel(x) gives the texel of column x.
  template <typename F>
  W3D_Texture *texture(F texel) {
    texels.emplace_back(16 * 16);
    for (int i = 0; i < 16 * 16; i++) texels.back()[i] = texel(i % 16);
    return makeTexture(w3d_Context, texels.back().data(), 16, 16);
  }
  W3D_Texture *solid(uint32_t argb) {
    return texture([argb](int) { return argb; });
  }
  // Columns x0..x1 of the drawing half, inside the lock, as the batch draws.
  void draw(W3D_Texture *t, float x0, float x1, float grey = 1.0f, float alpha = 1.0f) {
    ASSERT_EQ(W3DLockHardware(w3d_Context), 0);
    drawQuad(w3d_Context, t, x0, 0, x1, SCREEN_HEIGHT, 0, 0, 16, 16, grey, alpha);
    W3DUnLockHardware(w3d_Context);
  }
  void drawFull(uint32_t argb, float grey, float alpha) { draw(solid(argb), 0, SCREEN_WIDTH, grey, alpha); }
  void fill(int half, Uint8 r, Uint8 g, Uint8 b) {
    if (w3d_BitMap->pixels[half])
      std::fill_n(w3d_BitMap->pixels[half], SCREEN_WIDTH * SCREEN_HEIGHT, 0xFF000000u | r << 16 | g << 8 | b);
    else
      fillHalf(renderer, w3d_BitMap->half[half], r, g, b);
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
  std::vector<std::vector<uint32_t>> texels;
  int tolerance = 2;
};

TEST_P(DisplayTest, SetupOpensA43ScreenWithBlackHalvesAndHiddenPointer) {
  // The offscreen and dummy desktops are 1024 x 768: the largest 4:3 size
  // that fits is the desktop itself.
  EXPECT_EQ(SCREEN_WIDTH, 1024);
  EXPECT_EQ(SCREEN_HEIGHT, 768);
  EXPECT_EQ(w3d_Screen->height, 2 * SCREEN_HEIGHT);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_DISABLE);
  EXPECT_TRUE(SDL_GetWindowFlags(w3d_Screen->window) & SDL_WINDOW_FULLSCREEN);
  // SDL must leave SIGINT and SIGTERM to the program's own handlers.
  EXPECT_STREQ(SDL_GetHint(SDL_HINT_NO_SIGNAL_HANDLERS), "1");
  for (int half = 0; half < 2; half++) expectPixel(half, SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1, 0, 0, 0);
}

TEST_P(DisplayTest, EachSwitchShowsTheHalfJustDrawnAndTheOtherKeepsItsPixels) {
  drawFull(0xFFC86432, 0.5f, 1.0f);  // drawing starts in the upper half
  W3DSwitchBuffer();                 // hands the queued triangles over before it shows
  EXPECT_EQ(w3d_Screen->shownHalf, 1) << "the first switch shows the black lower half";
  EXPECT_EQ(bufnum, 1);
  expectPixel(0, 300, 300, 100, 50, 25);
  expectPixel(1, 300, 300, 0, 0, 0);
  // Still the upper half: white, then red at half opacity over it. The switch
  // moves the drawing region before it flushes: queued triangles land in the
  // half that was current when they came.
  drawFull(0xFFFFFFFF, 1.0f, 1.0f);
  drawFull(0xFFFF0000, 1.0f, 0.5f);
  W3DSwitchBuffer();
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  EXPECT_EQ(bufnum, 0);
  expectPixel(0, 300, 300, 255, 128, 128);
  // Two more switches draw nothing: the upper half is shown again unchanged.
  W3DSwitchBuffer();
  W3DSwitchBuffer();
  EXPECT_EQ(w3d_Screen->shownHalf, 0);
  expectPixel(0, SCREEN_WIDTH - 10, SCREEN_HEIGHT - 10, 255, 128, 128);
  expectPixel(1, 10, 10, 0, 0, 0);
}

TEST_P(DisplayTest, EraseClearsTheDrawingHalfAfterWhatWasDrawnBeforeIt) {
  // The strip: rows from H - H/10 - H/30 (truncated), here 665, to the end.
  for (int drawing : {0, 1}) {
    for (int half : {0, 1}) fill(half, 255, 255, 255);
    bufnum = 1 - drawing;
    W3DClearWindow(0);
    expectPixel(drawing, 5, 664, 255, 255, 255);
    expectPixel(drawing, 5, 665, 0, 0, 0);
    expectPixel(drawing, SCREEN_WIDTH - 1, 767, 0, 0, 0);
    expectPixel(1 - drawing, 5, 767, 255, 255, 255);
    W3DClearWindow(1);
    expectPixel(drawing, 0, 0, 0, 0, 0);
    expectPixel(1 - drawing, 0, 0, 255, 255, 255);
  }
  bufnum = 1;                        // drawing into the upper half
  drawFull(0xFFFFFFFF, 1.0f, 1.0f);  // still queued when the erase comes
  W3DClearWindow(0);
  expectPixel(0, 5, 5, 255, 255, 255);
  expectPixel(0, 5, SCREEN_HEIGHT - 1, 0, 0, 0);
}

TEST_P(DisplayTest, ColourIsTexelTimesGreyAndBlendsByBothAlphas) {
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
    fill(0, c.r, c.g, c.b);
    draw(solid(c.texel), 0, 512, c.grey, c.alpha);
    W3D_Flush(w3d_Context);
    expectPixel(0, 256, 300, c.er, c.eg, c.eb);
    expectPixel(0, 768, 300, c.r, c.g, c.b);  // beside the quad
  }
}

TEST_P(DisplayTest, TrianglesGoInRunsOfOneTextureOnlyInsideTheLock) {
  W3D_Texture *red = solid(0xFFFF0000), *blue = solid(0xFF0000FF);
  const W3D_Stats before = *W3D_GetStats(w3d_Context);
  drawQuad(w3d_Context, red, 0, 0, 1024, 768, 0, 0, 16, 16, 1.0f, 1.0f);  // not locked: refused
  ASSERT_EQ(W3D_LockHardware(w3d_Context), 0u);
  for (int i = 0; i < 8; i++) drawQuad(w3d_Context, red, 0, 0, 512, 768, 0, 0, 16, 16, 1.0f, 1.0f);
  // Giving the lock up for a moment does not end the run.
  W3D_UnLockHardware(w3d_Context);
  ASSERT_EQ(W3D_LockHardware(w3d_Context), 0u);
  for (int i = 0; i < 4; i++) drawQuad(w3d_Context, blue, 512, 0, 1024, 768, 0, 0, 16, 16, 1.0f, 1.0f);
  drawQuad(w3d_Context, nullptr, 0, 0, 1024, 768, 0, 0, 16, 16, 1.0f, 1.0f);  // no texture: not drawn
  W3D_UnLockHardware(w3d_Context);
  const W3D_Stats *stats = W3D_GetStats(w3d_Context);
  EXPECT_EQ(stats->geometryRuns - before.geometryRuns, 1u);  // red went when blue came
  W3D_Flush(w3d_Context);
  W3D_Flush(w3d_Context);  // nothing queued: no call
  EXPECT_EQ(stats->geometryRuns - before.geometryRuns, 2u);
  EXPECT_EQ(stats->triangleCalls - before.triangleCalls, 28u);
  EXPECT_EQ(stats->trianglesDrawn - before.trianglesDrawn, 24u);
  EXPECT_EQ(stats->locks - before.locks, 2u);
  expectPixel(0, 100, 100, 255, 0, 0);
  expectPixel(0, 900, 100, 0, 0, 255);
}

TEST_P(DisplayTest, TextureCoordinatesAreTexelsAndRepeatAndUploadsAndFreesKeepOrder) {
  W3D_Texture *halves = texture([](int x) { return x < 8 ? 0xFFFF0000u : 0xFF0000FFu; });
  ASSERT_EQ(W3DLockHardware(w3d_Context), 0);
  // Texels 8-16 (blue) on the left, 16-24 one period further on the right:
  // red again, where a clamped texture would show its blue edge.
  drawQuad(w3d_Context, halves, 0, 0, 512, 384, 8, 0, 16, 16, 1.0f, 1.0f);
  drawQuad(w3d_Context, halves, 512, 0, 1024, 384, 16, 16, 24, 32, 1.0f, 1.0f);
  W3DUnLockHardware(w3d_Context);
  W3D_Flush(w3d_Context);
  expectPixel(0, 200, 200, 0, 0, 255);
  expectPixel(0, 830, 200, 255, 0, 0);

  // New texels uploaded are drawn; a texture freed is drawn first if queued.
  W3D_Texture *changing = solid(0xFFFF0000);
  for (uint32_t &texel : texels.back()) texel = 0xFF00FF00;
  EXPECT_EQ(W3D_UploadTexture(w3d_Context, changing), 0u);
  draw(changing, 0, 512);
  W3D_Texture *red = solid(0xFFFF0000);
  draw(red, 512, 1024);
  W3D_FreeTexObj(w3d_Context, red);
  W3D_Flush(w3d_Context);
  expectPixel(0, 200, 500, 0, 255, 0);
  expectPixel(0, 830, 500, 255, 0, 0);
}

TEST_P(DisplayTest, TheLockIsTakenFromTheLibraryOnceAndSwitchesArePaced) {
  static int libraryLocks;
  libraryLocks = 0;
  W3D_TraceHook = [](const char *operation) { libraryLocks += std::string(operation) == "lock"; };
  EXPECT_EQ(W3DLockHardware(w3d_Context), 0);
  EXPECT_EQ(HARDWARELOCK, 1);
  EXPECT_EQ(W3DLockHardware(w3d_Context), 0);
  EXPECT_EQ(libraryLocks, 1);
  W3DUnLockHardware(w3d_Context);
  EXPECT_EQ(HARDWARELOCK, 0);
  W3D_TraceHook = nullptr;

  // Neither driver waits for a display: the switch holds the loop to the
  // refresh rate by itself.
  int32_t rate = w3d_Screen->refreshRate;
  ASSERT_GT(rate, 0);
  W3DSwitchBuffer();
  auto start = std::chrono::steady_clock::now();
  for (int i = 0; i < 30; i++) W3DSwitchBuffer();
  double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  EXPECT_GE(seconds, 29.0 / rate);
}

std::atomic<bool> handlerStopped{false};

void waitingHandler(MusicTask *task) {
  pollfd stop = {taskStopDescriptor(task), POLLIN, 0};
  while (poll(&stop, 1, 10000) == 0) {
  }
  handlerStopped = true;
}

TEST_P(DisplayTest, CleanupReleasesEverythingOnceAndANewSetupWorks) {
  // A texture in a slot as start-up leaves it, and the music handler.
  texmap[2] = new uint32_t[16 * 16]();
  tex[2] = makeTexture(w3d_Context, texmap[2], 16, 16);
  ASSERT_NE(tex[2], nullptr);
  handlerStopped = false;
  subtask = createTask(subtaskname, waitingHandler);
  ASSERT_NE(subtask, nullptr);
  W3DCleanup();
  EXPECT_TRUE(handlerStopped);
  const void *released[] = {subtask, tex[2], texmap[2], w3d_Context, w3d_Window, w3d_BitMap, w3d_Screen, Warp3DBase};
  for (const void *pointer : released) EXPECT_EQ(pointer, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
  W3DCleanup();  // finds nothing to release
  ASSERT_EQ(W3DSetup(), 1);
}

INSTANTIATE_TEST_SUITE_P(Drivers, DisplayTest, testing::Values("offscreen", "dummy"),
                         [](const testing::TestParamInfo<const char *> &info) { return std::string(info.param); });

TEST(SetupFailure, NoDisplayIsTheScreenFailureAndOnlyWhatOpenedIsClosed) {
  setenv("SDL_VIDEODRIVER", "x11", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStdout();
  EXPECT_EQ(W3DSetup(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open screen. Reason: Error code 1\n");
  EXPECT_NE(Warp3DBase, nullptr);
  EXPECT_EQ(w3d_Screen, nullptr);
  EXPECT_EQ(w3d_Context, nullptr);
  handlerStopped = false;
  subtask = createTask(subtaskname, waitingHandler);
  ASSERT_NE(subtask, nullptr);
  W3DAtCleanup(endMusicHandler);
  W3DCleanup();
  EXPECT_TRUE(handlerStopped);
  EXPECT_EQ(Warp3DBase, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
}

TEST(TimeBase, WallClockBeforeTheFirstResetThenHundredthsSinceTheLast) {
  timeval now;
  gettimeofday(&now, nullptr);
  uint32_t wall = uint32_t(now.tv_sec) * 100u + uint32_t(now.tv_usec / 10000);
  EXPECT_LE(std::abs(int32_t(uint32_t(getTime()) - wall)), 5);
  EXPECT_EQ(getTimeWithStatus(1), 0);
  usleep(300000);
  int32_t later = getTime();
  EXPECT_GE(later, 30);
  EXPECT_LT(later, 300);  // generous: the machine may be busy
  EXPECT_EQ(getTimeWithStatus(1), 0);
  EXPECT_LT(getTime(), later);
}

TEST(FrameRate, TextFollowsTheFramesOfEachWholeSecond) {
  // One run of the counter: its state lives on between the steps.
  const struct {
    int32_t frames, now;
    const char *text;
  } steps[] = {
      {0, 50, "000 FPS"},       // under one second: no rate yet
      {120, 200, "060 FPS"},    // 120 frames in 200 hundredths
      {150, 250, "060 FPS"},    // same second: unchanged
      {175, 300, "055 FPS"},    // 55 frames in 100
      {1375, 400, "1200 FPS"},  // four digits
      {1384, 700, "003 FPS"},   // 9 frames in three seconds, truncated
  };
  char text[32];
  for (const auto &step : steps) {
    frames = step.frames;
    frameRateText(step.now, text, sizeof text);
    EXPECT_STREQ(text, step.text) << step.now;
  }
  frames = 0;
}

}  // namespace
