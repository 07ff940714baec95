// Input of the window: SDL events pushed into SDL's queue as the video
// driver would, taken back as window messages.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <utility>
#include <vector>

#include "display/display.h"
#include "display/window.h"

namespace {

using Messages = std::vector<std::pair<uint32_t, uint16_t>>;

class InputTest : public testing::Test {
 protected:
  void SetUp() override {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(W3DSetup(), 1);
    windowId = SDL_GetWindowID(w3d_Screen->window);
    takeAll();  // what setup left
  }
  void TearDown() override { W3DCleanup(); }

  void push(SDL_Event event) {
    event.key.windowID = windowId;  // the same place in every window event
    ASSERT_EQ(SDL_PushEvent(&event), 1);
  }
  void pushKey(SDL_Scancode scancode, bool down, bool repeat = false, Uint16 mod = KMOD_NONE) {
    SDL_Event event{};
    event.type = down ? SDL_KEYDOWN : SDL_KEYUP;
    event.key.state = down ? SDL_PRESSED : SDL_RELEASED;
    event.key.repeat = repeat;
    event.key.keysym.scancode = scancode;
    event.key.keysym.mod = mod;
    push(event);
  }
  void pushButton(Uint8 button, bool down, int x, int y) {
    SDL_Event event{};
    event.type = down ? SDL_MOUSEBUTTONDOWN : SDL_MOUSEBUTTONUP;
    event.button.button = button;
    event.button.x = x;
    event.button.y = y;
    push(event);
  }
  void pushMotion(int x, int y) {
    SDL_Event event{};
    event.type = SDL_MOUSEMOTION;
    event.motion.x = x;
    event.motion.y = y;
    push(event);
  }
  // Every waiting message as (class, code), each replied.
  Messages takeAll() {
    Messages taken;
    while (IntuiMessage *message = W3DGetMsg()) {
      taken.emplace_back(message->Class, message->Code);
      ReplyMsg(message);
    }
    return taken;
  }
  bool fullScreen() { return SDL_GetWindowFlags(w3d_Screen->window) & SDL_WINDOW_FULLSCREEN; }

  Uint32 windowId = 0;
};

TEST_F(InputTest, KeysArriveAsAmigaRawKeysPressedRepeatedAndReleased) {
  // The keys the screens read, and one of each row of the keyboard.
  const std::pair<SDL_Scancode, uint16_t> keys[] = {
      {SDL_SCANCODE_ESCAPE, 0x45}, {SDL_SCANCODE_UP, 0x4C},     {SDL_SCANCODE_DOWN, 0x4D},
      {SDL_SCANCODE_RIGHT, 0x4E},  {SDL_SCANCODE_LEFT, 0x4F},   {SDL_SCANCODE_SPACE, 0x40},
      {SDL_SCANCODE_RETURN, 0x44}, {SDL_SCANCODE_F1, 0x50},     {SDL_SCANCODE_F10, 0x59},
      {SDL_SCANCODE_1, 0x01},      {SDL_SCANCODE_0, 0x0A},      {SDL_SCANCODE_Q, 0x10},
      {SDL_SCANCODE_I, 0x17},      {SDL_SCANCODE_S, 0x21},      {SDL_SCANCODE_F, 0x23},
      {SDL_SCANCODE_Z, 0x31},      {SDL_SCANCODE_SLASH, 0x3A},  {SDL_SCANCODE_LALT, 0x64},
  };
  for (auto [scancode, code] : keys) {
    pushKey(scancode, true);
    pushKey(scancode, true, true);  // held: the repeat is one more press
    pushKey(scancode, false);
    Messages expected = {{IDCMP_RAWKEY, code}, {IDCMP_RAWKEY, code}, {IDCMP_RAWKEY, uint16_t(code + 0x80)}};
    EXPECT_EQ(takeAll(), expected) << SDL_GetScancodeName(scancode);
  }
}

TEST_F(InputTest, ButtonsCarryThePointerInPicturePixelsClampedToThePicture) {
  pushButton(SDL_BUTTON_LEFT, true, 123, 45);
  pushButton(SDL_BUTTON_LEFT, false, 123, 45);
  pushButton(SDL_BUTTON_RIGHT, true, 10, 10);
  pushButton(SDL_BUTTON_RIGHT, false, 10, 10);
  IntuiMessage *first = W3DGetMsg();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->MouseX, 123);
  EXPECT_EQ(first->MouseY, 45);
  ReplyMsg(first);
  EXPECT_EQ(takeAll(),
            (Messages{{IDCMP_MOUSEBUTTONS, SELECTUP}, {IDCMP_MOUSEBUTTONS, MENUDOWN}, {IDCMP_MOUSEBUTTONS, MENUUP}}));

  SDL_SetWindowFullscreen(w3d_Screen->window, 0);
  SDL_SetWindowSize(w3d_Screen->window, 2 * SCREEN_WIDTH, SCREEN_HEIGHT);  // bars left and right
  int bar = SCREEN_WIDTH / 2;
  const struct {
    int x, y, expectedX, expectedY;
  } moves[] = {
      {bar + 100, 200, 100, 200},
      {5, 200, 0, 200},  // in the left bar
      {2 * SCREEN_WIDTH - 1, SCREEN_HEIGHT + 50, SCREEN_WIDTH - 1, SCREEN_HEIGHT - 1},
  };
  for (const auto &m : moves) {
    pushMotion(m.x, m.y);
    takeAll();
    EXPECT_EQ(w3d_Screen->MouseX, m.expectedX) << m.x;
    EXPECT_EQ(w3d_Screen->MouseY, m.expectedY) << m.y;
  }
}

TEST_F(InputTest, TheQueueHoldsMovesAsOneAndAFixedNumberOfMessages) {
  for (int i = 0; i < 200; i++) pushMotion(i, i);
  pushKey(SDL_SCANCODE_ESCAPE, true);
  EXPECT_EQ(takeAll(), (Messages{{IDCMP_MOUSEMOVE, 0}, {IDCMP_RAWKEY, 0x45}}));
  EXPECT_EQ(w3d_Screen->MouseX, 199);

  for (int i = 0; i < MESSAGE_SLOTS + 10; i++) pushKey(SDL_SCANCODE_SPACE, true, true);
  std::vector<IntuiMessage *> held;
  while (IntuiMessage *message = W3DGetMsg()) held.push_back(message);  // none replied yet
  EXPECT_EQ(held.size(), size_t(MESSAGE_SLOTS));
  EXPECT_EQ(w3d_Window->droppedMessages, 10u);
  pushKey(SDL_SCANCODE_ESCAPE, true);
  EXPECT_EQ(W3DGetMsg(), nullptr) << "nothing more fits until messages go back";
  for (IntuiMessage *message : held) ReplyMsg(message);
  pushKey(SDL_SCANCODE_ESCAPE, true);
  W3DSwitchBuffer();  // loops without input keep taking events too
  EXPECT_EQ(SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN), 0);
  EXPECT_EQ(takeAll(), (Messages{{IDCMP_RAWKEY, 0x45}}));
}

TEST_F(InputTest, CloseRequestEndsTheProgramTheOrderlyWay) {
  EXPECT_FALSE(W3DCloseRequested());
  SDL_Event close{};
  close.type = SDL_WINDOWEVENT;
  close.window.event = SDL_WINDOWEVENT_CLOSE;
  push(close);
  EXPECT_EQ(takeAll(), (Messages{{IDCMP_CLOSEWINDOW, 0}}));
  EXPECT_TRUE(W3DCloseRequested());
}

}  // namespace
