// Holding the loops to the display's refresh rate. Where the renderer waits
// for the display at present (vsync), that wait paces the loops; where it
// does not (Xvfb, the offscreen and dummy drivers, some drivers), the frame
// switch sleeps until the next frame time of the display's rate, so no loop
// spins a core.
#include <time.h>

#include "display/display.h"
#include "display/window.h"
#include "platform/termination.h"

namespace {

int64_t nowNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntil(int64_t deadline) {
  timespec until;
  until.tv_sec = deadline / 1000000000;
  until.tv_nsec = deadline % 1000000000;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    // interrupted by a signal: sleep on unless termination was asked for
    if (terminationRequested()) return;
  }
}

int64_t nextFrameTime = 0;  // monotonic ns; 0 = no schedule yet

}  // namespace

// A present that already waited for the display returns close to the frame
// time: then there is nothing to wait for, and the schedule follows the
// display. A present that did not wait returns early: then the schedule
// keeps a steady rate.
void waitForFrame(int32_t refreshRate) {
  int64_t period = 1000000000 / (refreshRate > 0 ? refreshRate : 60);
  int64_t now = nowNanoseconds();
  if (nextFrameTime == 0 || now >= nextFrameTime - period / 4) {
    // On time or late (a slow frame, or vsync did the waiting).
    nextFrameTime = now + period;
    return;
  }
  sleepUntil(nextFrameTime);
  nextFrameTime += period;
}

void resetFramePacing() { nextFrameTime = 0; }

int32_t displayRefreshRate(SDL_Window *window) {
  SDL_DisplayMode mode;
  int display = SDL_GetWindowDisplayIndex(window);
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
    return mode.refresh_rate;
  return 60;
}
