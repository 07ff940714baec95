// The screens' costs on a real renderer, with the real start-up path (the
// embedded archives, the display, the twenty textures), drawn by OpenGL and
// drawn on the CPU side by side in the same run:
//   start-up  - from the first start-up step to the first intro frame shown
//               (median of fresh processes, the two ways taken in turn)
//   per frame - process CPU time (all threads, the GL driver's included)
//               per frame shown, running at the display rate
//   share     - per cent of one core used while running at the display
//               rate, with the frames per second reached; and what a frame
//               costs at 60 frames per second (CPU per frame x 60)
//   overdraw  - pixels per frame / pixels of the screen: covered (what the
//               OpenGL path shades and blends) and written (what the CPU
//               path touches after skipping transparent texels)
//
// Usage: bench_screens [xvfb|offscreen] [WIDTHxHEIGHT] [seconds per screen] [both|gl|cpu] [screen]
//        bench_screens startup gl|cpu   (one start-up, for the runs above)
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"
#include "freshprocess.h"
#include "xserver.h"

namespace {

constexpr int STARTUP_RUNS = 5;  // fresh processes per way of drawing

double seconds(clockid_t clock) {
  timespec now;
  clock_gettime(clock, &now);
  return now.tv_sec + now.tv_nsec / 1e9;
}

double median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

// One start-up in this process; prints the milliseconds to the first intro
// frame on standard output.
int startupOnce(const char *way) {
  W3D_CpuDrawing = strcmp(way, "cpu") == 0 ? 1 : 0;
  return startupToFirstIntroFrame(monotonicMs());
}

// Median start-up of fresh processes of this program, the way given.
double startupMedian(const char *way, std::vector<double> *samples) {
  const char *argv[] = {"bench_screens", "startup", way, nullptr};
  double figure;
  if (freshProcessFigure(argv, &figure)) samples->push_back(figure);
  return samples->empty() ? -1 : median(*samples);
}

struct Screen {
  const char *name;
  void (*enter)();
  void (*frame)(int32_t t);  // queues one frame at time t
  int fullClear;             // erase after each frame: -1 none, 0 strip, 1 whole
};

IntroState intro;
DiskState disk;

void enterIntro() {
  intro = IntroState{};
  initIntroStreaks();
}
void enterDisk() {
  diskEnter(&disk, 0);
  resetSparks(20);
  fps = 1;
  disk.showPlacing = true;
  disk.paused = false;
  loadingSong = 0;
}

const Screen screens[] = {
    {"nothing drawn (show only)", [] {}, [](int32_t) {}, -1},
    {"intro, swirl and logo", enterIntro, [](int32_t t) { introPass(&intro, 1651 + t % 1000, nullptr); }, 0},
    {"intro, balls and entrants", enterIntro, [](int32_t t) { introPass(&intro, 12000 + t % 10000, nullptr); }, 1},
    {"disk, playing", enterDisk,
     [](int32_t t) {
       disk.t = 1000 + t;
       diskDraw(&disk);
     },
     -1},
    {"disk, paused", [] { enterDisk(); disk.paused = true; },
     [](int32_t t) {
       disk.t = 1000 + t;
       diskDraw(&disk);
     },
     -1},
    {"disk, loading, overlay at 50%", [] { enterDisk(); loadingSong = 1; },
     [](int32_t t) {
       disk.t = 1000 + t;
       flashtime = disk.t - 50;  // the overlay half faded in, over everything
       diskDraw(&disk);
     },
     -1},
    {"disk, loading, overlay opaque", [] { enterDisk(); loadingSong = 1; flashtime = 900; },
     [](int32_t t) {
       disk.t = 1000 + t;
       diskDraw(&disk);
     },
     -1},
    {"farewell fade", [] {}, [](int32_t t) { farewellFrame(int(t / 2) % FAREWELL_FRAMES); }, 1},
};
constexpr int SCREENS = sizeof screens / sizeof screens[0];

struct Figures {
  double framesPerSecond, share, cpuPerFrame, covered, written;
};

// Runs a screen at the display rate for a while.
Figures measure(const Screen &screen, double duration) {
  screen.enter();
  getTimeWithStatus(1);
  W3D_Stats before = *W3D_GetStats(w3d_Context);
  double wall0 = seconds(CLOCK_MONOTONIC), cpu0 = seconds(CLOCK_PROCESS_CPUTIME_ID);
  int frames = 0;
  while (seconds(CLOCK_MONOTONIC) - wall0 < duration) {
    screen.frame(getTime());
    W3DShowFrame();
    if (screen.fullClear >= 0) W3DClearWindow(screen.fullClear);
    frames++;
  }
  double wall = seconds(CLOCK_MONOTONIC) - wall0, cpu = seconds(CLOCK_PROCESS_CPUTIME_ID) - cpu0;
  const W3D_Stats *after = W3D_GetStats(w3d_Context);
  double pixels = double(SCREEN_WIDTH) * SCREEN_HEIGHT * frames;
  loadingSong = 0;
  return Figures{frames / wall, 100 * cpu / wall, 1000 * cpu / frames,
                 (after->pixelsCovered - before.pixelsCovered) / pixels,
                 (after->pixelsWritten - before.pixelsWritten) / pixels};
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 2 && strcmp(argv[1], "startup") == 0) return startupOnce(argv[2]);
  const char *mode = argc > 1 ? argv[1] : "xvfb";
  std::string size = argc > 2 ? argv[2] : "1024x768";
  double duration = argc > 3 ? atof(argv[3]) : 4.0;
  const char *only = argc > 4 ? argv[4] : "both";  // gl or cpu: that way alone, for a profiler
  const char *screenOnly = argc > 5 ? argv[5] : "";  // the screens whose names start so, for a profiler
  XServer server;
  if (strcmp(mode, "xvfb") == 0) {
    if (!startXvfb((size + "x24").c_str(), &server)) return 1;
    setenv("DISPLAY", server.display.c_str(), 1);
    setenv("SDL_VIDEODRIVER", "x11", 1);
  } else {
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
  }
  char runtime[] = "/tmp/bench-screens-XXXXXX";
  if (!mkdtemp(runtime)) return 1;
  setenv("XDG_RUNTIME_DIR", runtime, 1);

  const char *ways[2] = {"gl", "cpu"};
  std::vector<double> startups[2];
  bool measured[2] = {strcmp(only, "cpu") != 0, strcmp(only, "gl") != 0};
  for (int run = 0; run < STARTUP_RUNS; run++)
    for (int way = 0; way < 2; way++)
      if (measured[way]) startupMedian(ways[way], &startups[way]);

  Figures figures[2][SCREENS] = {};
  int width = 0, height = 0;
  for (int way = 0; way < 2; way++) {
    if (!measured[way]) continue;
    W3D_CpuDrawing = way;
    if (!startProgram()) return 1;
    width = SCREEN_WIDTH;
    height = SCREEN_HEIGHT;
    for (int s = 0; s < SCREENS; s++)
      if (strncmp(screens[s].name, screenOnly, strlen(screenOnly)) == 0) figures[way][s] = measure(screens[s], duration);
    W3DCleanup();
  }

  printf("\n%s, %dx%d, %.0f s per screen; before = OpenGL (llvmpipe), after = CPU drawing\n", mode, width, height,
         duration);
  printf("start-up to the first intro frame: before %.0f ms, after %.0f ms (medians of %d)\n",
         median(startups[0]), median(startups[1]), STARTUP_RUNS);
  int rate = 60;  // Xvfb's rate, which the frame cycle keeps
  printf("%-30s %17s %17s %9s %17s %17s %17s\n", "screen", "frames/s", "CPU ms/frame", "ratio",
         "% core measured", "% core at 60/s", "overdraw");
  printf("%-30s %8s %8s %8s %8s %9s %8s %8s %8s %8s %8s %8s\n", "", "before", "after", "before", "after", "", "before",
         "after", "before", "after", "before", "after");
  for (int s = 0; s < SCREENS; s++) {
    const Figures &b = figures[0][s], &a = figures[1][s];
    printf("%-30s %8.1f %8.1f %8.2f %8.2f %8.2fx %8.1f %8.1f %8.1f %8.1f %8.2f %8.2f\n", screens[s].name,
           b.framesPerSecond, a.framesPerSecond, b.cpuPerFrame, a.cpuPerFrame, b.cpuPerFrame / a.cpuPerFrame, b.share,
           a.share, b.cpuPerFrame * rate / 10, a.cpuPerFrame * rate / 10, a.covered, a.written);
  }
  if (server.pid > 0) stopXvfb(&server);
  rmdir(runtime);
  return 0;
}
