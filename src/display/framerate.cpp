// The frame counter's rate: frames shown per second, updated each time a
// whole second of the time base has passed.
#include <cstdio>

#include "display/display.h"

namespace {
int32_t framerate = 0;  // the last computed rate
int32_t frames2 = 0;    // frames at the last update
int32_t sec2 = 0;       // time value at the last update
}  // namespace

void frameRateText(int32_t now, char *text, int size) {
  if (now / 100 != sec2 / 100) {
    double shown = static_cast<double>(static_cast<float>(frames2 - frames)) * 100.0;
    framerate = static_cast<int32_t>(shown / static_cast<double>(static_cast<float>(sec2 - now)));
    frames2 = frames;
    sec2 = now;
  }
  snprintf(text, static_cast<size_t>(size), "%03d FPS", framerate);
}
