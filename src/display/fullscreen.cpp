// Full screen and back to a window, with or without a window manager.
//
// Full screen is a request to the window manager (SDL's desktop full
// screen). An X server without a window manager (party and kiosk machines)
// has nobody to act on that request: the window would keep its size while
// SDL reported the display's, and the picture would be drawn, and the
// pointer mapped, for a window that is not there. Without a window manager
// the window is moved and sized over the display by hand instead, so that
// the size SDL reports is always the window's real one.
#include <SDL_syswm.h>

#include "display/display.h"
#include "display/window.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>

namespace {

// How long a window manager gets to say how large its frame is.
constexpr int FRAME_EXTENTS_POLLS = 10;
constexpr int FRAME_EXTENTS_POLL_MS = 20;

// Whether anyone manages the window. Only X can be without: every other
// display SDL opens (Wayland, KMS, the memory drivers) places its windows
// itself. An EWMH window manager names its check window on the root.
bool windowManaged(SDL_Window *window) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return true;
  Display *display = info.info.x11.display;
  Atom check = XInternAtom(display, "_NET_SUPPORTING_WM_CHECK", True);
  if (check == None) return false;
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char *data = nullptr;
  Window root = DefaultRootWindow(display), checkWindow = None;
  if (XGetWindowProperty(display, root, check, 0, 1, False, XA_WINDOW, &type, &format, &count, &after, &data) ==
          Success &&
      type == XA_WINDOW && count == 1)
    checkWindow = *reinterpret_cast<Window *>(data);
  if (data) XFree(data);
  // A window manager that was killed leaves the property behind: its check
  // window, a child of the root, must still be there.
  Window rootReturn, parentReturn, *children = nullptr;
  unsigned int childCount = 0;
  bool managed = false;
  if (checkWindow != None && XQueryTree(display, root, &rootReturn, &parentReturn, &children, &childCount)) {
    for (unsigned int i = 0; i < childCount && !managed; i++) managed = children[i] == checkWindow;
    if (children) XFree(children);
  }
  return managed;
}

// The frame an EWMH window manager puts around the window (left, right,
// top, bottom). SDL learns it only from events it has not read yet when the
// window was just shown; a window not yet shown asks the manager for it.
bool frameExtents(SDL_Window *window, long extents[4]) {
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return false;
  Display *display = info.info.x11.display;
  Window xwindow = info.info.x11.window;
  Atom property = XInternAtom(display, "_NET_FRAME_EXTENTS", False);
  bool asked = false;
  for (int attempt = 0; attempt < FRAME_EXTENTS_POLLS; attempt++) {
    Atom type = None;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char *data = nullptr;
    bool found = XGetWindowProperty(display, xwindow, property, 0, 4, False, XA_CARDINAL, &type, &format, &count,
                                    &after, &data) == Success &&
                 type == XA_CARDINAL && format == 32 && count == 4;
    if (found)
      for (int i = 0; i < 4; i++) extents[i] = reinterpret_cast<long *>(data)[i];
    if (data) XFree(data);
    // No frame may only mean the manager has not yet put back the one it
    // takes away in full screen.
    if (found && (extents[0] | extents[1] | extents[2] | extents[3]) != 0) return true;
    if (!asked) {
      XEvent request = {};
      request.xclient.type = ClientMessage;
      request.xclient.window = xwindow;
      request.xclient.message_type = XInternAtom(display, "_NET_REQUEST_FRAME_EXTENTS", False);
      request.xclient.format = 32;
      XSendEvent(display, DefaultRootWindow(display), False, SubstructureRedirectMask | SubstructureNotifyMask,
                 &request);
      asked = true;
    }
    SDL_Delay(FRAME_EXTENTS_POLL_MS);
  }
  return true;
}

}  // namespace

SDL_Rect windowRoom(SDL_Window *window) {
  int display = SDL_GetWindowDisplayIndex(window);
  if (display < 0) display = 0;
  SDL_Rect area = {0, 0, 0, 0};
  if (SDL_GetDisplayUsableBounds(display, &area) != 0) SDL_GetDisplayBounds(display, &area);
  long frame[4] = {0, 0, 0, 0};  // left, right, top, bottom; none without a manager
  if (windowManaged(window) && !frameExtents(window, frame)) frame[0] = frame[1] = frame[2] = frame[3] = 0;
  // A position is the frame's corner to the manager, unless SDL knows the
  // frame and takes it off itself.
  int top = 0, left = 0, bottom = 0, right = 0;
  bool sdlKnowsFrame = SDL_GetWindowBordersSize(window, &top, &left, &bottom, &right) == 0 && (top | left) != 0;
  return {area.x + (sdlKnowsFrame ? int(frame[0]) : 0), area.y + (sdlKnowsFrame ? int(frame[2]) : 0),
          area.w - int(frame[0] + frame[1]), area.h - int(frame[2] + frame[3])};
}

void setFullScreen(W3D_Screen *screen, bool full) {
  SDL_Window *window = screen->window;
  bool sdlFull = SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN;
  bool managed = windowManaged(window);
  if (full && managed) {
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else if (full) {
    SDL_Rect place = {0, 0, screen->width, screen->height / 2};
    int display = SDL_GetWindowDisplayIndex(window);
    if (SDL_GetDisplayBounds(display >= 0 ? display : 0, &place) != 0)
      place = {0, 0, screen->width, screen->height / 2};
    SDL_SetWindowPosition(window, place.x, place.y);
    SDL_SetWindowSize(window, place.w, place.h);
  } else {
    if (sdlFull) SDL_SetWindowFullscreen(window, 0);
    // A window of one half's size where it fits; where the work area, less
    // the window manager's frame, is smaller (a 1024 x 768 screen with a
    // title bar), as large as fits with the picture's aspect.
    SDL_Rect room = windowRoom(window), place = {0, 0, screen->width, screen->height / 2};
    if (managed) place.x = room.x, place.y = room.y;
    if (room.w > 0 && room.h > 0 && (place.w > room.w || place.h > room.h)) {
      SDL_Rect fit = pictureRect(room.w, room.h, place.w, place.h);
      place.w = fit.w;
      place.h = fit.h;
    }
    SDL_SetWindowPosition(window, place.x, place.y);
    SDL_SetWindowSize(window, place.w, place.h);
  }
  screen->fullScreen = full;
  screen->refreshRate = displayRefreshRate(window);
  resetFramePacing();
}
