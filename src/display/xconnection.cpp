// The X connection's failures that are not the program's: its window
// destroyed by another client (xdotool windowclose, a session tool) and the
// X server going away. Xlib's own answer to both is to end the process on
// the spot, leaving the player, the sockets and the staged files behind;
// here both become a termination request, and the program ends the orderly
// way.
#include <SDL_syswm.h>

#include <X11/Xlib.h>

#include <atomic>
#include <cstdio>

#include "display/display.h"
#include "display/window.h"
#include "platform/termination.h"

namespace {

Window watchedWindow = None;
XErrorHandler previousErrorHandler = nullptr;
std::atomic<bool> windowGone{false};
std::atomic<bool> serverLost{false};
int trappedErrors = -1;  // errors seen while trapping; -1: not trapping

// Requests for the window still in flight when it was destroyed, and
// every one after (the teardown's too), fail with BadWindow or BadDrawable.
int onXError(Display *display, XErrorEvent *error) {
  if (trappedErrors >= 0) {
    trappedErrors++;
    return 0;
  }
  if (windowGone.load() || (watchedWindow != None && error->resourceid == watchedWindow)) {
    if (!windowGone.exchange(true)) {
      fputs("musicdisk: the window was closed by another program: ending\n", stderr);
      requestTermination();
    }
    return 0;
  }
  return previousErrorHandler ? previousErrorHandler(display, error) : 0;
}

int onXIOError(Display *display) {
  if (!serverLost.exchange(true)) {
    fprintf(stderr, "musicdisk: the X server %s has gone away: ending\n", DisplayString(display));
    requestTermination();
  }
  return 0;
}

// Called after onXIOError; returning leaves the connection marked broken
// (every later request returns at once) instead of ending the process.
void keepRunning(Display *, void *) {}

}  // namespace

void watchXConnection(SDL_Window *window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return;
  watchedWindow = info.info.x11.window;
  windowGone.store(false);
  XErrorHandler previous = XSetErrorHandler(onXError);
  if (previous != onXError) previousErrorHandler = previous;
  XSetIOErrorHandler(onXIOError);
  XSetIOErrorExitHandler(info.info.x11.display, keepRunning, nullptr);
}

bool trapXErrors(bool on) {
  bool seen = trappedErrors > 0;
  trappedErrors = on ? 0 : -1;
  return seen;
}

void forgetXConnection() { watchedWindow = None; }

bool W3DDisplayLost() { return serverLost.load(); }

bool xConnectionBroken() { return windowGone.load() || serverLost.load(); }
