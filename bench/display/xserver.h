// The benchmarks' private X server: Xvfb on a display number it picks
// itself, and the choice of SDL's video driver for a benchmark run.
#pragma once

#include <sys/types.h>

#include <string>

struct XServer {
  pid_t pid = -1;
  std::string display;  // ":N"
};

// Starts Xvfb with one screen of that size ("1280x1024x24"); false when it
// does not come up within ten seconds.
bool startXvfb(const char *screen, XServer *server);
void stopXvfb(XServer *server);
// Sets the video driver for the display: "software" (SDL's dummy driver),
// "offscreen", or "xvfb" (SDL's X11 driver on a private 1280 x 1024 server
// started on server). False for an unknown mode or a server that did not
// start.
bool useVideoDriver(const char *mode, XServer *server);
