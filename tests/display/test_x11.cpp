// End to end on a real X server: the screen opens and closes on X11, real
// key presses (xdotool) arrive as window messages, Alt+Enter leaves full
// screen, the mode is the largest 4:3 size that fits, and a desktop too small
// for any mode is the mode failure. Clicks where the picture lies are proven
// by the whole program's desktop runs (tests/e2e).
#include <gtest/gtest.h>

#include <SDL.h>

#include <chrono>
#include <cstdlib>
#include <utility>
#include <vector>

#include "display/display.h"
#include "display/window.h"
#include "fixture.h"

namespace {

using Messages = std::vector<std::pair<uint32_t, uint16_t>>;

class X11Test : public testing::Test {
 protected:
  void start(const char *screen) {
    ASSERT_TRUE(startXvfb(screen, &server)) << "Xvfb did not start";
    setenv("DISPLAY", server.display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  }
  void TearDown() override {
    W3DCleanup();
    stopXvfb(&server);
  }

  // Runs frames (take messages, switch) until count messages of the given
  // classes came, one with the code last came, or the time ran out.
  Messages collect(size_t count, uint32_t classes, int last = -1, double seconds = 5.0) {
    Messages taken;
    auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    while (taken.size() < count && std::chrono::steady_clock::now() < end) {
      while (IntuiMessage *message = W3DGetMsg()) {
        if (message->Class & classes) taken.emplace_back(message->Class, message->Code);
        ReplyMsg(message);
      }
      if (!taken.empty() && taken.back().second == last) break;
      W3DSwitchBuffer();
    }
    return taken;
  }

  XServer server;
};

TEST_F(X11Test, RealKeysArriveAsMessages) {
  start("1280x1024x24");
  ASSERT_EQ(W3DSetup(), 1);
  EXPECT_EQ(SCREEN_WIDTH, 1280);  // 1280 x 960 is the largest 4:3 mode on 1280 x 1024
  EXPECT_EQ(SCREEN_HEIGHT, 960);
  collect(1, 0, -1, 0.5);  // let the window map and settle for a few frames
  while (IntuiMessage *message = W3DGetMsg()) ReplyMsg(message);

  const char *keys[] = {"key", "--delay", "30", "Escape", "Down", "space", nullptr};
  ASSERT_EQ(runXdotool(server, keys), 0);
  Messages expected = {{IDCMP_RAWKEY, 0x45}, {IDCMP_RAWKEY, 0xC5}, {IDCMP_RAWKEY, 0x4D},
                       {IDCMP_RAWKEY, 0xCD}, {IDCMP_RAWKEY, 0x40}, {IDCMP_RAWKEY, 0xC0}};
  EXPECT_EQ(collect(6, IDCMP_RAWKEY), expected);

  // A held key repeats as presses (X's auto-repeat, as a user holds it).
  const char *hold[] = {"keydown", "Up", "sleep", "0.8", "keyup", "Up", nullptr};
  ASSERT_EQ(runXdotool(server, hold), 0);
  Messages held = collect(1000, IDCMP_RAWKEY, 0xCC);
  ASSERT_GE(held.size(), 3u);
  for (size_t i = 0; i + 1 < held.size(); i++) EXPECT_EQ(held[i].second, 0x4C);
  EXPECT_EQ(held.back().second, 0xCC);

  // Alt+Enter makes a window of the full screen, and is not a key message.
  ASSERT_TRUE(w3d_Screen->fullScreen);
  const char *altEnter[] = {"key", "alt+Return", nullptr};
  ASSERT_EQ(runXdotool(server, altEnter), 0);
  Messages altOnly = {{IDCMP_RAWKEY, 0x64}, {IDCMP_RAWKEY, 0xE4}};
  EXPECT_EQ(collect(2, IDCMP_RAWKEY, 0xE4), altOnly);
  EXPECT_FALSE(w3d_Screen->fullScreen);

  W3DCleanup();
  EXPECT_EQ(w3d_Screen, nullptr);
  EXPECT_EQ(SDL_WasInit(SDL_INIT_VIDEO), 0u);
}

TEST_F(X11Test, DesktopTooSmallForAnyModeIsTheModeFailure) {
  start("600x400x24");
  testing::internal::CaptureStdout();
  EXPECT_EQ(W3DSetup(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Error: No ModeID found\n");
  EXPECT_EQ(w3d_Screen, nullptr);
}

TEST_F(X11Test, ModeIsTheLargest43SizeThatFits) {
  start("1024x600x24");
  ASSERT_EQ(W3DSetup(), 1);
  EXPECT_EQ(SCREEN_WIDTH, 800);
  EXPECT_EQ(SCREEN_HEIGHT, 600);
}

}  // namespace
