// A disk of the user's own against the built-in disk, in one run on a
// private Xvfb:
//   start-up  - from reading the command line to the first intro frame
//               shown, in fresh processes taken in turn (median of each):
//               the built-in disk, and a folder of SONGS MP3 files with ID3
//               tags (links to one file made by ffmpeg); the aim is at most
//               1.5 times the built-in disk's
//   folder    - reading the folder of SONGS songs and choosing the disk
//   tags      - what a song costs when it is first shown (its tags read and
//               its texts folded): milliseconds per song, over the first
//               page of entrants and beyond
//
// Usage: bench_owndisk [runs]
#include <stdlib.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/commandline.h"
#include "driver/diskchoice.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "screens/intro.h"
#include "screens/effects.h"
#include "freshprocess.h"
#include "xserver.h"

namespace {

constexpr int SONGS = 1000;
constexpr int TAGGED_SONGS = 100;  // songs shown for the tags figure

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

// One start-up in this process, as the program's main does it up to the
// first intro frame; prints the milliseconds.
int startupOnce(int argc, char **argv) {
  double start = monotonicMs();
  if (readCommandLine(argc, argv) >= 0 || chooseDisk() >= 0) return 1;
  return startupToFirstIntroFrame(start);
}

// A fresh process's start-up (folder null: the built-in disk), added to samples.
void startupSample(const char *folder, std::vector<double> *samples) {
  const char *argv[] = {"bench_owndisk", "startup", folder, nullptr};
  double figure;
  if (freshProcessFigure(argv, &figure)) samples->push_back(figure);
}

// SONGS tagged MP3 files in folder: links to one that ffmpeg makes.
bool makeFolder(const std::string &folder) {
  std::string first = folder + "/song 1.mp3";
  std::string command = "ffmpeg -loglevel error -f lavfi -i sine=d=20 -metadata title=Tune -metadata artist=Someone '" +
                        first + "'";
  if (system(command.c_str()) != 0) return false;
  for (int i = 2; i <= SONGS; i++)
    if (link(first.c_str(), (folder + "/song " + std::to_string(i) + ".mp3").c_str()) != 0) return false;
  return true;
}

}  // namespace

int main(int argc, char **argv) {
  if (argc > 1 && strcmp(argv[1], "startup") == 0) return startupOnce(argc - 1, argv + 1);
  int runs = argc > 1 ? atoi(argv[1]) : 7;
  XServer server;
  if (!startXvfb("1024x768x24", &server)) return 1;
  setenv("DISPLAY", server.display.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  char scratch[] = "/tmp/bench-owndisk-XXXXXX";
  if (!mkdtemp(scratch)) return 1;
  setenv("XDG_RUNTIME_DIR", scratch, 1);
  std::string folder = std::string(scratch) + "/disk";
  mkdir(folder.c_str(), 0700);
  if (!makeFolder(folder)) return 1;

  std::vector<double> builtin, own;
  for (int run = 0; run < runs; run++) {
    startupSample(nullptr, &builtin);
    startupSample(folder.c_str(), &own);
  }

  // The tags: the disk chosen in this process, songs shown one by one.
  char *chosen[] = {argv[0], &folder[0], nullptr};
  double start = monotonicMs();
  if (readCommandLine(2, chosen) >= 0 || chooseDisk() >= 0) return 1;
  double reading = monotonicMs() - start;
  start = monotonicMs();
  for (int row = 0; row < TAGGED_SONGS; row++) songLine(row);
  double perSong = (monotonicMs() - start) / TAGGED_SONGS;

  printf("start-up to the first intro frame (medians of %d, Xvfb 1024x768):\n", runs);
  printf("  built-in disk          %8.1f ms\n", median(builtin));
  printf("  folder of %d songs   %8.1f ms  (%.2fx the built-in disk's)\n", SONGS, median(own),
         median(own) / median(builtin));
  printf("the folder read (scan, natural order, disk chosen): %.1f ms\n", reading);
  printf("a song first shown (tags read, texts folded): %.2f ms; a page of 15 entrants: %.1f ms (\"%s\")\n", perSong,
         perSong * 15, songLine(0));
  std::string clean = "rm -rf '" + std::string(scratch) + "'";
  stopXvfb(&server);
  return system(clean.c_str()) == 0 ? 0 : 1;
}
