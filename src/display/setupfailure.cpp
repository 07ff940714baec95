// What the display setup's failures mean for the user. The setup's own
// texts say which step failed in the words the program has always used;
// each is followed here by one plain line on standard error that says what
// it means and what to do. Also the choice of SDL's video driver, which
// decides whether a failure is seen at all.
#include <SDL.h>

#include <cstdio>

#include "display/display.h"
#include "display/window.h"

namespace {

// How long a display that does not answer gets: an X server started at the
// same moment (an autostart, a test) is up within this.
constexpr Uint32 DISPLAY_WAIT_MS = 3000;
constexpr Uint32 DISPLAY_RETRY_MS = 100;

bool isSet(const char *value) { return value && *value; }

}  // namespace

void chooseVideoDriver() {
  // With no display that answers SDL would fall back to a driver that draws
  // into memory, and the program would play its music unseen, holding the
  // one-per-user lock. Only a driver named in SDL_VIDEODRIVER may do that.
  bool named = isSet(SDL_getenv("SDL_VIDEODRIVER"));
  if (!named) SDL_SetHint(SDL_HINT_VIDEODRIVER, "x11,wayland");
  if (!named && !isSet(SDL_getenv("DISPLAY")) && !isSet(SDL_getenv("WAYLAND_DISPLAY"))) return;
  Uint32 start = SDL_GetTicks();
  while (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    if (SDL_GetTicks() - start >= DISPLAY_WAIT_MS) return;  // opening the screen will tell
    SDL_Delay(DISPLAY_RETRY_MS);
  }
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
}

void explainSetupFailure(W3DSetupStep step, int32_t error) {
  const char *named = SDL_getenv("SDL_VIDEODRIVER"), *x11 = SDL_getenv("DISPLAY");
  const char *wayland = SDL_getenv("WAYLAND_DISPLAY");
  switch (step) {
    case W3D_LIBRARY_STEP: {
      SDL_version linked;
      SDL_GetVersion(&linked);
      fprintf(stderr, "musicdisk: SDL %d.%d.%d cannot draw for it (2.0.18 or later is needed): %s\n", linked.major,
              linked.minor, linked.patch, SDL_GetError());
      return;
    }
    case W3D_MODE_STEP: {
      SDL_DisplayMode desktop = {};
      if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
        SDL_GetDesktopDisplayMode(0, &desktop);
        SDL_QuitSubSystem(SDL_INIT_VIDEO);
      }
      fprintf(stderr, "musicdisk: this screen (%dx%d) is smaller than 640x480, the smallest picture: "
              "give it a larger resolution\n", desktop.w, desktop.h);
      return;
    }
    case W3D_SCREEN_STEP:
      if (error != OSERR_NOMONITOR) break;
      if (isSet(named))
        fprintf(stderr, "musicdisk: the video driver '%s' named by SDL_VIDEODRIVER does not work here: %s\n", named,
                SDL_GetError());
      else if (isSet(x11))
        fprintf(stderr, "musicdisk: no X server answers on %s: start the musicdisk on your desktop, or set DISPLAY "
                "to a display that runs\n", x11);
      else if (isSet(wayland))
        fprintf(stderr, "musicdisk: no Wayland display answers on %s: start the musicdisk on your desktop\n", wayland);
      else
        fputs("musicdisk: no display to show on (DISPLAY and WAYLAND_DISPLAY are not set): start the musicdisk "
              "on your desktop\n", stderr);
      return;
    default:
      break;
  }
  fprintf(stderr, "musicdisk: the display could not be set up: %s\n", SDL_GetError());
}
