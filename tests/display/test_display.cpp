// The display opened for real on the offscreen driver (OpenGL through EGL)
// and the dummy driver (software renderer): setup, the frame cycle, the
// erase, the lock, teardown, read back from the halves; setup that fails;
// the time base and the frame counter.
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

  // A quad of one colour over the whole drawing half, as the batch draws it.
  void drawFull(uint32_t argb, float brightness, float alpha) {
    texels.emplace_back(16 * 16, argb);
    W3D_Texture *texture = makeTexture(w3d_Context, texels.back().data(), 16, 16);
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
  for (int half = 0; half < 2; half++) expectPixel(half, SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1, 0, 0, 0);
}

TEST_P(DisplayTest, EachSwitchShowsTheHalfJustDrawnAndTheOtherKeepsItsPixels) {
  drawFull(0xFFC86432, 0.5f, 1.0f);  // drawing starts in the upper half
  W3DSwitchBuffer();                 // hands the queued triangles over before it shows
  EXPECT_EQ(w3d_Screen->shownHalf, 1) << "the first switch shows the black lower half";
  EXPECT_EQ(bufnum, 1);
  expectPixel(0, 300, 300, 100, 50, 25);
  expectPixel(1, 300, 300, 0, 0, 0);
  // Still the upper half: white, then red at half opacity over it.
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
  W3DCleanup();
  EXPECT_TRUE(handlerStopped);
  EXPECT_EQ(Warp3DBase, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
  // The frame cycle with nothing open does nothing.
  W3DSwitchBuffer();
  W3DClearWindow(1);
  EXPECT_EQ(W3DGetMsg(), nullptr);
}

TEST(SetupFailure, LibraryVersionsAndModesThatCannotBeHad) {
  void *base = &base, *iface = &iface;
  testing::internal::CaptureStdout();
  EXPECT_EQ(getLibIFace(&base, "Warp3D.library", 99, &iface), 0);
  EXPECT_NE(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(base, nullptr);
  EXPECT_EQ(iface, nullptr);
  EXPECT_EQ(getLibIFace(&base, "Warp3D.library", 51, &iface), 1);
  EXPECT_NE(iface, nullptr);
  // SDL must leave SIGINT and SIGTERM to the program's own handlers.
  EXPECT_STREQ(SDL_GetHint(SDL_HINT_NO_SIGNAL_HANDLERS), "1");
  closeLibIFace(base);

  int32_t error = 0;
  EXPECT_EQ(openScreen(W3D_ModeId(640, 480), 480, &error), nullptr);  // not twice the mode's height
  EXPECT_EQ(error, OSERR_UNKNOWNMODE);
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
