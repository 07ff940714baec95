// The display's own pieces shared by its files: the window (its message
// queue and the bitmap of the two halves), the raw key map, the mapping of
// window pixels to the picture, and the steps of opening and showing.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "display/display.h"

// Messages that can wait at the window at once. A message is queued in a
// free slot and stays out of use until it is replied; when every slot is
// taken, new input is dropped (and counted) rather than allocated.
constexpr int MESSAGE_SLOTS = 64;

// The raw key number sent for keys that have no Amiga counterpart: above
// 0x59, so the disk screen ignores it while the intro still reacts.
constexpr uint16_t RAWKEY_NO_AMIGA_KEY = 0x7A;

// Error words of the screen opening.
constexpr int32_t OSERR_NOMONITOR = 1;    // no display at all
constexpr int32_t OSERR_NOCHIPS = 2;      // no renderer for the window
constexpr int32_t OSERR_NOMEM = 3;
constexpr int32_t OSERR_UNKNOWNMODE = 6;  // the mode ID gives no size
constexpr int32_t OSERR_NOTAVAILABLE = 9; // the window could not be made

struct W3D_Window {
  W3D_Bitmap bitmap;  // the two halves, SCREEN_WIDTH x SCREEN_HEIGHT each
  IntuiMessage slot[MESSAGE_SLOTS];
  uint8_t slotState[MESSAGE_SLOTS];  // SLOT_FREE, SLOT_QUEUED, SLOT_TAKEN
  int queue[MESSAGE_SLOTS];          // queued slot numbers, oldest first
  int queueHead, queueLength;
  int pendingMove;                   // slot of the queued pointer move, or -1
  bool pointerHidden;
  bool swallowReturnUp;   // the Return of Alt+Enter goes up unreported
  uint32_t droppedMessages;
};
constexpr uint8_t SLOT_FREE = 0, SLOT_QUEUED = 1, SLOT_TAKEN = 2;

// Screen and window (setup.cpp).
W3D_Screen *openScreen(uint32_t modeId, int32_t height, int32_t *error);
void closeScreen(W3D_Screen *screen);
W3D_Window *openWindow(W3D_Screen *screen);
void closeWindow(W3D_Window *window);

// Where the picture lies in the screen's window as the window is now, in
// window pixels. Drawing and the pointer both go by it.
SDL_Rect shownPictureRect(W3D_Screen *screen);
// Where the picture of pictureWidth x pictureHeight lies in an output of
// outputWidth x outputHeight: as large as fits, aspect kept, centred.
SDL_Rect pictureRect(int outputWidth, int outputHeight, int pictureWidth, int pictureHeight);
// Erases bitmap rows top..bottom, columns left..right (corners included)
// to black.
void eraseRect(W3D_Window *window, int32_t left, int32_t top, int32_t right, int32_t bottom);
// The window's own image shared with the X server (windowimage.cpp): the
// pixels to write, once the server is done with the last frame sent, with
// a new surface whenever the window's size changed; null where the window
// has none (no X11, no MIT-SHM, no 32-bit RGB visual). sendWindowImage
// puts rect of it (null: all) on the window without waiting for the
// server; forgetWindowImage lets it go, before the window goes.
SDL_Surface *ownWindowImage(SDL_Window *window);
bool sendWindowImage(const SDL_Rect *rect);
void forgetWindowImage();
// Makes the screen's window cover its display, or a window of one half's
// size at the top left (fullscreen.cpp).
void setFullScreen(W3D_Screen *screen, bool full);
// Waits for the next frame time of a display of refreshRate Hz (pacing.cpp).
void waitForFrame(int32_t refreshRate);
// Forgets the frame pacing's schedule (a new screen starts afresh).
void resetFramePacing();
// The display's refresh rate for the screen's window; 60 when unknown.
int32_t displayRefreshRate(SDL_Window *window);

// The X connection's failures (xconnection.cpp): from watchXConnection on,
// the window destroyed by another client or the X server lost becomes a
// termination request (one line on standard error) instead of Xlib ending
// the process. forgetXConnection before the window goes.
void watchXConnection(SDL_Window *window);
void forgetXConnection();
// True once the window was destroyed under the program or the server lost.
bool xConnectionBroken();
// From trapXErrors(true) on, X errors are only counted; trapXErrors(false)
// ends that and says whether any came.
bool trapXErrors(bool on);
// The room for the window on its display: w x h is the work area less the
// window manager's frame, as far as the two can be known; x, y is the
// position to ask for to put the frame at the work area's corner.
SDL_Rect windowRoom(SDL_Window *window);

// The setup's failures for the user (setupfailure.cpp). chooseVideoDriver
// runs before the display is first asked for: it keeps SDL to a driver that
// shows on a desktop unless SDL_VIDEODRIVER names one, and gives a display
// that does not answer yet (an X server still starting) a short wait.
// explainSetupFailure follows each of the setup's own texts with one plain
// line on standard error: what it means and what to do.
enum W3DSetupStep {
  W3D_LIBRARY_STEP,
  W3D_DRIVER_STEP,
  W3D_MODE_STEP,
  W3D_SCREEN_STEP,
  W3D_WINDOW_STEP,
  W3D_CONTEXT_SETUP_STEP
};
void chooseVideoDriver();
void explainSetupFailure(W3DSetupStep step, int32_t error);

// Input (input.cpp).
// The Amiga raw key number of a physical key.
uint16_t rawKeyFor(SDL_Scancode scancode);
// Takes every waiting SDL event into the window's message queue.
void pumpInput();
// Turns one SDL event into a message (or a state change) of the window.
void takeEvent(W3D_Window *window, const SDL_Event &event);
