// A private X server for end-to-end tests: Xvfb on a display number it
// picks itself, and xdotool to press real keys on it.
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
// Runs "xdotool ARGS..." on the server and waits for it; its exit status.
int runXdotool(const XServer &server, const char *const *args);
