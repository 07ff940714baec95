// The window's input: SDL events become window messages (raw keys by
// physical key with Amiga numbers, mouse buttons, pointer moves, the close
// request) in a fixed queue; the pointer position in picture pixels; Alt+Enter
// switches between full screen and a window.
#include <cstdio>

#include "display/display.h"
#include "display/window.h"
#include "platform/termination.h"

namespace {

void enqueue(W3D_Window *window, uint32_t messageClass, uint16_t code) {
  // A pointer move that waits unread is brought up to date instead of
  // queueing another: moves would otherwise crowd out keys, one message
  // being taken per frame.
  if (messageClass == IDCMP_MOUSEMOVE && window->pendingMove >= 0) {
    IntuiMessage &move = window->slot[window->pendingMove];
    move.MouseX = w3d_Screen ? w3d_Screen->MouseX : 0;
    move.MouseY = w3d_Screen ? w3d_Screen->MouseY : 0;
    return;
  }
  int free = -1;
  for (int i = 0; i < MESSAGE_SLOTS; i++) {
    if (window->slotState[i] == SLOT_FREE) {
      free = i;
      break;
    }
  }
  if (free < 0 || window->queueLength == MESSAGE_SLOTS) {
    // Said once: the queue is full for as long as nobody reads it.
    if (window->droppedMessages++ == 0)
      fputs("musicdisk: input comes faster than it is read: keys and pointer moves are being dropped\n", stderr);
    return;
  }
  IntuiMessage &message = window->slot[free];
  message.Class = messageClass;
  message.Code = code;
  message.MouseX = w3d_Screen ? w3d_Screen->MouseX : 0;
  message.MouseY = w3d_Screen ? w3d_Screen->MouseY : 0;
  window->slotState[free] = SLOT_QUEUED;
  window->queue[(window->queueHead + window->queueLength) % MESSAGE_SLOTS] = free;
  window->queueLength++;
  if (messageClass == IDCMP_MOUSEMOVE) window->pendingMove = free;
}

// The pointer at window pixel x, y in picture pixels, clamped to the
// picture (the bars around it give positions outside).
void movePointer(int x, int y) {
  if (!w3d_Screen || SCREEN_WIDTH <= 0 || SCREEN_HEIGHT <= 0) return;
  SDL_Rect picture = shownPictureRect(w3d_Screen);
  if (picture.w <= 0 || picture.h <= 0) return;
  int64_t px = (int64_t(x) - picture.x) * SCREEN_WIDTH / picture.w;
  int64_t py = (int64_t(y) - picture.y) * SCREEN_HEIGHT / picture.h;
  if (x < picture.x) px = 0;
  if (y < picture.y) py = 0;
  if (px > SCREEN_WIDTH - 1) px = SCREEN_WIDTH - 1;
  if (py > SCREEN_HEIGHT - 1) py = SCREEN_HEIGHT - 1;
  w3d_Screen->MouseX = static_cast<int16_t>(px);
  w3d_Screen->MouseY = static_cast<int16_t>(py);
}

void toggleFullScreen() {
  if (!w3d_Screen) return;
  setFullScreen(w3d_Screen, !w3d_Screen->fullScreen);
}

void takeKey(W3D_Window *window, const SDL_KeyboardEvent &key) {
  SDL_Scancode scancode = key.keysym.scancode;
  bool isReturn = scancode == SDL_SCANCODE_RETURN || scancode == SDL_SCANCODE_KP_ENTER;
  if (key.type == SDL_KEYDOWN && isReturn && (key.keysym.mod & KMOD_ALT)) {
    if (!key.repeat) toggleFullScreen();
    window->swallowReturnUp = true;
    return;
  }
  if (key.type == SDL_KEYUP && isReturn && window->swallowReturnUp) {
    window->swallowReturnUp = false;
    return;
  }
  uint16_t code = rawKeyFor(scancode);
  // A held key repeats as further presses.
  enqueue(window, IDCMP_RAWKEY, key.type == SDL_KEYUP ? static_cast<uint16_t>(code | IECODE_UP_PREFIX) : code);
}

void takeButton(W3D_Window *window, const SDL_MouseButtonEvent &button) {
  movePointer(button.x, button.y);
  bool down = button.type == SDL_MOUSEBUTTONDOWN;
  uint16_t code;
  switch (button.button) {
    case SDL_BUTTON_LEFT:
      code = SELECTDOWN;
      break;
    case SDL_BUTTON_RIGHT:
      code = MENUDOWN;
      break;
    case SDL_BUTTON_MIDDLE:
      code = 0x6A;  // the middle button
      break;
    default:
      return;
  }
  enqueue(window, IDCMP_MOUSEBUTTONS, down ? code : static_cast<uint16_t>(code | IECODE_UP_PREFIX));
}

}  // namespace

uint16_t rawKeyFor(SDL_Scancode scancode) {
  if (scancode >= SDL_SCANCODE_A && scancode <= SDL_SCANCODE_Z) {
    // The Amiga numbers follow the rows of the keyboard.
    static const uint8_t letters[26] = {
        0x20, 0x35, 0x33, 0x22, 0x12, 0x23, 0x24, 0x25, 0x17, 0x26, 0x27, 0x28, 0x37,  // A-M
        0x36, 0x18, 0x19, 0x10, 0x13, 0x21, 0x14, 0x16, 0x34, 0x11, 0x32, 0x15, 0x31,  // N-Z
    };
    return letters[scancode - SDL_SCANCODE_A];
  }
  if (scancode >= SDL_SCANCODE_1 && scancode <= SDL_SCANCODE_9) return static_cast<uint16_t>(0x01 + (scancode - SDL_SCANCODE_1));
  if (scancode >= SDL_SCANCODE_F1 && scancode <= SDL_SCANCODE_F10) return static_cast<uint16_t>(0x50 + (scancode - SDL_SCANCODE_F1));
  switch (scancode) {
    case SDL_SCANCODE_GRAVE: return 0x00;
    case SDL_SCANCODE_0: return 0x0A;
    case SDL_SCANCODE_MINUS: return 0x0B;
    case SDL_SCANCODE_EQUALS: return 0x0C;
    case SDL_SCANCODE_BACKSLASH: return 0x0D;
    case SDL_SCANCODE_KP_0: return 0x0F;
    case SDL_SCANCODE_LEFTBRACKET: return 0x1A;
    case SDL_SCANCODE_RIGHTBRACKET: return 0x1B;
    case SDL_SCANCODE_KP_1: return 0x1D;
    case SDL_SCANCODE_KP_2: return 0x1E;
    case SDL_SCANCODE_KP_3: return 0x1F;
    case SDL_SCANCODE_SEMICOLON: return 0x29;
    case SDL_SCANCODE_APOSTROPHE: return 0x2A;
    case SDL_SCANCODE_NONUSHASH: return 0x2B;
    case SDL_SCANCODE_KP_4: return 0x2D;
    case SDL_SCANCODE_KP_5: return 0x2E;
    case SDL_SCANCODE_KP_6: return 0x2F;
    case SDL_SCANCODE_NONUSBACKSLASH: return 0x30;
    case SDL_SCANCODE_COMMA: return 0x38;
    case SDL_SCANCODE_PERIOD: return 0x39;
    case SDL_SCANCODE_SLASH: return 0x3A;
    case SDL_SCANCODE_KP_PERIOD: return 0x3C;
    case SDL_SCANCODE_KP_7: return 0x3D;
    case SDL_SCANCODE_KP_8: return 0x3E;
    case SDL_SCANCODE_KP_9: return 0x3F;
    case SDL_SCANCODE_SPACE: return 0x40;
    case SDL_SCANCODE_BACKSPACE: return 0x41;
    case SDL_SCANCODE_TAB: return 0x42;
    case SDL_SCANCODE_KP_ENTER: return 0x43;
    case SDL_SCANCODE_RETURN: return 0x44;
    case SDL_SCANCODE_ESCAPE: return 0x45;
    case SDL_SCANCODE_DELETE: return 0x46;
    case SDL_SCANCODE_KP_MINUS: return 0x4A;
    case SDL_SCANCODE_UP: return 0x4C;
    case SDL_SCANCODE_DOWN: return 0x4D;
    case SDL_SCANCODE_RIGHT: return 0x4E;
    case SDL_SCANCODE_LEFT: return 0x4F;
    case SDL_SCANCODE_AUDIOPREV: return 0x4C;  // media keys: as the cursor keys
    case SDL_SCANCODE_AUDIONEXT: return 0x4D;
    case SDL_SCANCODE_AUDIOSTOP: return 0x21;  // as S
    case SDL_SCANCODE_AUDIOPLAY: return RAWKEY_MEDIA_PLAY_PAUSE;
    case SDL_SCANCODE_KP_LEFTPAREN: return 0x5A;
    case SDL_SCANCODE_KP_RIGHTPAREN: return 0x5B;
    case SDL_SCANCODE_KP_DIVIDE: return 0x5C;
    case SDL_SCANCODE_KP_MULTIPLY: return 0x5D;
    case SDL_SCANCODE_KP_PLUS: return 0x5E;
    case SDL_SCANCODE_HELP: return 0x5F;
    case SDL_SCANCODE_LSHIFT: return 0x60;
    case SDL_SCANCODE_RSHIFT: return 0x61;
    case SDL_SCANCODE_CAPSLOCK: return 0x62;
    case SDL_SCANCODE_LCTRL: return 0x63;
    case SDL_SCANCODE_RCTRL: return 0x63;
    case SDL_SCANCODE_LALT: return 0x64;
    case SDL_SCANCODE_RALT: return 0x65;
    case SDL_SCANCODE_LGUI: return 0x66;
    case SDL_SCANCODE_RGUI: return 0x67;
    default: return RAWKEY_NO_AMIGA_KEY;
  }
}

void takeEvent(W3D_Window *window, const SDL_Event &event) {
  switch (event.type) {
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      takeKey(window, event.key);
      break;
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP:
      takeButton(window, event.button);
      break;
    case SDL_MOUSEMOTION:
      movePointer(event.motion.x, event.motion.y);
      enqueue(window, IDCMP_MOUSEMOVE, 0);
      break;
    case SDL_WINDOWEVENT:
      if (event.window.event == SDL_WINDOWEVENT_CLOSE) {
        enqueue(window, IDCMP_CLOSEWINDOW, 0);
        requestTermination();
      } else if (event.window.event == SDL_WINDOWEVENT_DISPLAY_CHANGED && w3d_Screen) {
        w3d_Screen->refreshRate = displayRefreshRate(w3d_Screen->window);
      }
      break;
    case SDL_QUIT:
      requestTermination();
      break;
    default:
      break;  // text input and the rest: not the window's business
  }
}

void pumpInput() {
  if (!w3d_Window) return;
  SDL_Event event;
  while (SDL_PollEvent(&event)) takeEvent(w3d_Window, event);
}

IntuiMessage *W3DGetMsg() {
  W3D_Window *window = w3d_Window;
  if (!window) return nullptr;
  pumpInput();
  if (window->queueLength == 0) return nullptr;
  int taken = window->queue[window->queueHead];
  window->queueHead = (window->queueHead + 1) % MESSAGE_SLOTS;
  window->queueLength--;
  window->slotState[taken] = SLOT_TAKEN;
  if (window->pendingMove == taken) window->pendingMove = -1;
  return &window->slot[taken];
}

void ReplyMsg(IntuiMessage *message) {
  W3D_Window *window = w3d_Window;
  if (!window || !message) return;
  // Only a message of this window, taken and not yet replied, goes back.
  uintptr_t first = reinterpret_cast<uintptr_t>(window->slot), at = reinterpret_cast<uintptr_t>(message);
  if (at < first || at >= first + sizeof window->slot || (at - first) % sizeof(IntuiMessage) != 0) return;
  size_t index = (at - first) / sizeof(IntuiMessage);
  if (window->slotState[index] != SLOT_TAKEN) return;
  window->slotState[index] = SLOT_FREE;
}

bool W3DCloseRequested() { return terminationRequested(); }
