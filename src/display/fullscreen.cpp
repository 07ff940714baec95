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

}  // namespace

void setFullScreen(W3D_Screen *screen, bool full) {
  SDL_Window *window = screen->window;
  bool sdlFull = SDL_GetWindowFlags(window) & SDL_WINDOW_FULLSCREEN;
  if (full && windowManaged(window)) {
    SDL_SetWindowFullscreen(window, SDL_WINDOW_FULLSCREEN_DESKTOP);
  } else if (!full && sdlFull) {
    SDL_SetWindowFullscreen(window, 0);
  } else {
    SDL_Rect place = {0, 0, screen->width, screen->height / 2};
    int display = SDL_GetWindowDisplayIndex(window);
    if (full && SDL_GetDisplayBounds(display >= 0 ? display : 0, &place) != 0)
      place = {0, 0, screen->width, screen->height / 2};
    SDL_SetWindowPosition(window, place.x, place.y);
    SDL_SetWindowSize(window, place.w, place.h);
  }
  screen->fullScreen = full;
  screen->refreshRate = displayRefreshRate(window);
  resetFramePacing();
}
