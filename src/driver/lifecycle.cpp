// The farewell fade and the pause between the phases.
#include "driver/lifecycle.h"

#include <time.h>

#include "display/display.h"
#include "draw/batch.h"
#include "platform/termination.h"

void farewellFrame(int k) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  W3DTexturePolygonPosition(4, W / 2, H / 2, 0.0f, W, W, 0, 0, 256, 256, 1.0f,
                            1.0f - (float)k / (float)FAREWELL_FRAMES);
}

int runFarewell() {
  int k = 0;
  // The fade counts frames, not time, and reads no input.
  for (; k < FAREWELL_FRAMES && !terminationRequested(); k++) {
    farewellFrame(k);
    W3DDrawTriangles(w3d_Context);
    triPos = 0;
    W3DSwitchBuffer();
    W3DClearWindow(1);
  }
  return k;
}

void phasePause() {
  // Nothing is drawn: the intro's last frame stays up. Sliced, so that a
  // termination request is not kept waiting.
  const struct timespec slice = {0, 50 * 1000 * 1000};
  for (int i = 0; i < PHASE_PAUSE_SECONDS * 20 && !terminationRequested(); i++) nanosleep(&slice, nullptr);
}
