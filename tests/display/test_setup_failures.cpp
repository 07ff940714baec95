// Setup that fails: each step's text and -1, and a teardown that releases
// only what was opened.
#include <gtest/gtest.h>

#include <SDL.h>
#include <poll.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "display/display.h"
#include "display/window.h"
#include "music/music.h"
#include "platform/task.h"

namespace {

TEST(LibraryOpening, TooNewAVersionIsRefusedWithItsText) {
  void *base = reinterpret_cast<void *>(1), *iface = reinterpret_cast<void *>(1);
  testing::internal::CaptureStdout();
  EXPECT_EQ(getLibIFace(&base, "Warp3D.library", 99, &iface), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open 'Warp3D.library' version 99\n");
  EXPECT_EQ(base, nullptr);
  EXPECT_EQ(iface, nullptr);
}

TEST(LibraryOpening, UnknownLibraryIsRefused) {
  void *base = nullptr, *iface = nullptr;
  testing::internal::CaptureStdout();
  EXPECT_EQ(getLibIFace(&base, "picasso96api.library", 1, &iface), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open 'picasso96api.library' version 1\n");
}

TEST(LibraryOpening, Warp3D51OpensWithItsInterface) {
  void *base = nullptr, *iface = nullptr;
  EXPECT_EQ(getLibIFace(&base, "Warp3D.library", 51, &iface), 1);
  EXPECT_NE(base, nullptr);
  EXPECT_NE(iface, nullptr);
  // SDL must leave SIGINT and SIGTERM to the program's own handlers.
  EXPECT_STREQ(SDL_GetHint(SDL_HINT_NO_SIGNAL_HANDLERS), "1");
  closeLibIFace(base);
}

TEST(ContextErrors, EachErrorWordHasItsReason) {
  EXPECT_STREQ(contextErrorReason(-2), "Illegal input to CreateContext function");
  EXPECT_STREQ(contextErrorReason(-3), "Out of memory");
  EXPECT_STREQ(contextErrorReason(-4), "No suitable driver found");
  EXPECT_STREQ(contextErrorReason(-18), "Supplied bitmap cannot be handled by Warp3D");
  EXPECT_STREQ(contextErrorReason(-22), "Supplied bitmap not properly initialized");
  EXPECT_STREQ(contextErrorReason(-1), "An error has occured... gosh");
  EXPECT_STREQ(contextErrorReason(0), "An error has occured... gosh");
}

TEST(ModeSize, NominalRectangleSetsTheScreenSize) {
  SCREEN_WIDTH = 0;
  SCREEN_HEIGHT = 0;
  W3DGetDataModeId(W3D_NOMODE);  // nothing read: the sizes keep their values
  EXPECT_EQ(SCREEN_WIDTH, 0);
  EXPECT_EQ(SCREEN_HEIGHT, 0);
  W3DGetDataModeId(W3D_ModeId(640, 480));
  EXPECT_EQ(SCREEN_WIDTH, 640);
  EXPECT_EQ(SCREEN_HEIGHT, 480);
}

TEST(SetupFailure, NoDisplayIsTheScreenFailure) {
  setenv("SDL_VIDEODRIVER", "x11", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStdout();
  EXPECT_EQ(W3DSetup(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Unable to open screen. Reason: Error code 1\n");
  // What was opened before the failing step stays open; nothing after it.
  EXPECT_NE(Warp3DBase, nullptr);
  EXPECT_EQ(w3d_Flags, 0u);
  EXPECT_EQ(w3d_Screen, nullptr);
  EXPECT_EQ(w3d_Window, nullptr);
  EXPECT_EQ(w3d_Context, nullptr);
  W3DCleanup();
  EXPECT_EQ(Warp3DBase, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_EVERYTHING), 0u);
  // The frame cycle with nothing open does nothing.
  W3DSwitchBuffer();
  W3DClearWindow(1);
  EXPECT_EQ(W3DGetMsg(), nullptr);
}

TEST(SetupFailure, ScreenOfAnUnknownModeGivesItsErrorWord) {
  int32_t error = 0;
  EXPECT_EQ(openScreen(W3D_NOMODE, 960, &error), nullptr);
  EXPECT_EQ(error, OSERR_UNKNOWNMODE);
  EXPECT_EQ(openScreen(W3D_ModeId(640, 480), 480, &error), nullptr);  // not twice the mode's height
  EXPECT_EQ(error, OSERR_UNKNOWNMODE);
}

std::atomic<bool> handlerStopped{false};

void waitingHandler(MusicTask *task) {
  pollfd stop = {taskStopDescriptor(task), POLLIN, 0};
  while (poll(&stop, 1, 10000) == 0) {
  }
  handlerStopped = true;
}

TEST(Cleanup, RemovesTheMusicHandlerTask) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ASSERT_EQ(W3DSetup(), 1);
  subtask = createTask(subtaskname, waitingHandler);
  ASSERT_NE(subtask, nullptr);
  W3DCleanup();
  EXPECT_TRUE(handlerStopped);
  EXPECT_EQ(subtask, nullptr);
  EXPECT_EQ(SDL_ShowCursor(SDL_QUERY), SDL_ENABLE);
}

TEST(Cleanup, AfterAFailedSetupWithATaskOnlyTheTaskGoes) {
  setenv("SDL_VIDEODRIVER", "x11", 1);
  unsetenv("DISPLAY");
  unsetenv("WAYLAND_DISPLAY");
  testing::internal::CaptureStdout();
  EXPECT_EQ(W3DSetup(), -1);
  testing::internal::GetCapturedStdout();
  handlerStopped = false;
  subtask = createTask(subtaskname, waitingHandler);
  ASSERT_NE(subtask, nullptr);
  W3DCleanup();
  EXPECT_TRUE(handlerStopped);
  EXPECT_EQ(Warp3DBase, nullptr);
}

}  // namespace
