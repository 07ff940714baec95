// The screens' costs on a real renderer, with the real start-up path (the
// embedded archives, the display, the twenty textures):
//   start-up  - from the first start-up step to the first intro frame shown
//   frame CPU - process CPU time (all threads, the GL driver's included) of
//               composing, submitting and showing one frame, without the
//               wait for the display (a sleep costs no CPU)
//   compose   - the system's own share of a frame: main-thread CPU time of
//               composing the batch and handing it to SDL (W3DDrawTriangles
//               and the flush of the last run), without SDL's rendering
//   at rate   - CPU use over five seconds of each screen at the display rate
//
// Usage: bench_screens [offscreen|xvfb|software] [frames]
#include <stdlib.h>
#include <time.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <vector>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"
#include "fixture.h"

namespace {

double seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// CPU milliseconds per frame of a pass function at the given clock values.
template <typename Pass>
double frameCpu(int frames, Pass pass) {
  std::vector<double> samples;
  for (int i = 0; i < frames; i++) {
    double before = seconds(CLOCK_PROCESS_CPUTIME_ID);
    pass(i);
    samples.push_back((seconds(CLOCK_PROCESS_CPUTIME_ID) - before) * 1000);
  }
  return median(samples);
}

// Per cent of one core used while a pass runs at the display rate.
template <typename Pass>
double cpuAtRate(double duration, Pass pass) {
  double wall0 = seconds(CLOCK_MONOTONIC), cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
  int i = 0;
  while (seconds(CLOCK_MONOTONIC) - wall0 < duration) pass(i++);
  double wall = seconds(CLOCK_MONOTONIC) - wall0, cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  printf("    (%d frames in %.2f s: %.1f frames/s)\n", i, wall, i / wall);
  return 100.0 * cpu / wall;
}

}  // namespace

int main(int argc, char **argv) {
  const char *mode = argc > 1 ? argv[1] : "offscreen";
  int frames = argc > 2 ? atoi(argv[2]) : 300;
  XServer server;
  if (strcmp(mode, "xvfb") == 0) {
    if (!startXvfb("1024x768x24", &server)) return 1;
    setenv("DISPLAY", server.display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  } else {
    setenv("SDL_VIDEODRIVER", strcmp(mode, "software") == 0 ? "dummy" : "offscreen", 1);
  }
  char runtime[] = "/tmp/bench-screens-XXXXXX";
  if (!mkdtemp(runtime)) return 1;
  setenv("XDG_RUNTIME_DIR", runtime, 1);

  double start = seconds(CLOCK_MONOTONIC);
  if (!startProgram()) return 1;
  initIntroStreaks();
  getTimeWithStatus(1);
  IntroState intro = {};
  introPass(&intro, getTime(), nullptr);
  W3DShowFrame();
  double firstFrame = seconds(CLOCK_MONOTONIC) - start;
  printf("%s renderer, %dx%d\n", mode, SCREEN_WIDTH, SCREEN_HEIGHT);
  printf("start-up to the first intro frame: %.1f ms\n", firstFrame * 1000);

  // The system's own share: compose and hand over, no rendering.
  {
    IntroState state = {};
    std::vector<double> samples;
    for (int i = 0; i < frames; i++) {
      double before = seconds(CLOCK_THREAD_CPUTIME_ID);
      introPass(&state, 12000 + i, nullptr);
      W3DDrawTriangles(w3d_Context);
      W3D_Flush(w3d_Context);
      samples.push_back((seconds(CLOCK_THREAD_CPUTIME_ID) - before) * 1e6);
      triPos = 0;
      W3DSwitchBuffer();
    }
    printf("intro compose and hand-over (entrants, balls): %.1f us main-thread CPU\n", median(samples));
    DiskState disk;
    diskEnter(&disk, 0);
    resetSparks(100);
    loadingSong = 0;
    changeSong = 0;
    samples.clear();
    int quads = 0;
    for (int i = 0; i < frames; i++) {
      double before = seconds(CLOCK_THREAD_CPUTIME_ID);
      diskPass(&disk, 1000 + i, nullptr);
      quads = triPos / 2;
      W3DDrawTriangles(w3d_Context);
      W3D_Flush(w3d_Context);
      samples.push_back((seconds(CLOCK_THREAD_CPUTIME_ID) - before) * 1e6);
      triPos = 0;
      W3DSwitchBuffer();
    }
    printf("disk compose and hand-over (%d quads, 100 sparks): %.1f us main-thread CPU\n", quads, median(samples));
  }

  // Intro frames in its three kinds of scene: swirl with a logo, credits,
  // balls with the entrants' list.
  const int32_t introTimes[] = {2000, 9700, 12000};
  for (int32_t t : introTimes) {
    IntroState state = {};
    double ms = frameCpu(frames, [&](int) {
      introPass(&state, t, nullptr);
      W3DShowFrame();
      W3DClearWindow(t > 11450 ? 1 : 0);
    });
    printf("intro frame at t=%d: %.3f ms CPU\n", t, ms);
  }

  // Disk frames: playing with 100 sparks and every line shown, and loading.
  DiskState disk;
  diskEnter(&disk, 0);
  resetSparks(100);
  fps = 1;
  disk.showPlacing = true;
  loadingSong = 0;
  changeSong = 0;
  double playing = frameCpu(frames, [&](int i) {
    diskPass(&disk, 1000 + i, nullptr);
    W3DShowFrame();
  });
  printf("disk frame, playing, 100 sparks: %.3f ms CPU\n", playing);
  loadingSong = 1;
  double loading = frameCpu(frames, [&](int i) {
    diskPass(&disk, 2000 + i, nullptr);
    W3DShowFrame();
  });
  printf("disk frame, loading overlay: %.3f ms CPU\n", loading);

  getTimeWithStatus(1);
  IntroState swirl = {};
  printf("intro at the display rate: %.1f%% of one core\n", cpuAtRate(5.0, [&](int) {
           introPass(&swirl, getTime() + 1651, nullptr);
           W3DShowFrame();
           W3DClearWindow(0);
         }));
  loadingSong = 0;
  resetSparks(20);
  fps = 0;
  printf("disk screen at the display rate: %.1f%% of one core\n", cpuAtRate(5.0, [&](int) {
           diskPass(&disk, getTime(), nullptr);
           W3DShowFrame();
         }));

  W3DCleanup();
  if (server.pid > 0) stopXvfb(&server);
  rmdir(runtime);
  return 0;
}
