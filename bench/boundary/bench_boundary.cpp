// The disk loop against a real player that misbehaves, on the offscreen
// renderer with the real music handler:
// - the longest frame gap while keys go to a stopped (SIGSTOP) player,
//   beside the normal frame time of the same run;
// - the time from a player's death (SIGKILL) to the next song sounding
//   (its EVENT_PLAYING), beside the same from the down key (the
//   one-second song-change delay and a player's start);
// - player starts a minute with every song damaged, and starts after the
//   disk has given up.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../../tests/player/disk_harness.h"

namespace {

constexpr int HUNG_ROUNDS = 5;
constexpr int DEATH_ROUNDS = 5;
constexpr int QUIET_AFTER_GIVING_UP_MS = 10000;

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[values.size() / 2];
}

// Runs frames until done() and notes every gap between two frames shown.
void runNotingGaps(DiskHarness *disk, const std::function<bool()> &done, int ms, std::vector<double> *gaps) {
  int64_t last = disk->state.lastFrameMs;
  disk->runUntil([&] {
    if (last) gaps->push_back(double(disk->state.lastFrameMs - last));
    last = disk->state.lastFrameMs;
    return done();
  }, ms);
}

void hungAndDead(DiskHarness *disk) {
  // Normal frames: a playing song, as long as the rounds with a hung player.
  disk->runUntil([disk] { return disk->playing(); }, 20000);
  std::vector<double> normal, hung;
  runNotingGaps(disk, [] { return false; }, HUNG_ROUNDS * 1500, &normal);
  for (int round = 0; round < HUNG_ROUNDS; round++) {
    disk->runUntil([disk] { return disk->playing(); }, 20000);
    pid_t stopped = DiskHarness::player();
    kill(stopped, SIGSTOP);
    // Keys go to it until it is gone (the next song's start is not counted).
    int keys = 0;
    runNotingGaps(disk, [&] {
      if (keys < 3 && SDL_PeepEvents(nullptr, 0, SDL_PEEKEVENT, SDL_KEYDOWN, SDL_KEYDOWN) == 0) {
        SDL_Event event{};
        event.type = SDL_KEYDOWN;
        event.key.windowID = SDL_GetWindowID(w3d_Screen->window);
        event.key.keysym.scancode = keys++ == 1 ? SDL_SCANCODE_RIGHT : SDL_SCANCODE_LEFT;
        SDL_PushEvent(&event);
      }
      return keys == 3 && DiskHarness::player() != stopped;
    }, 10000, &hung);
  }
  printf("frame gaps, keys to a stopped player   median %.1f ms, longest %.0f ms   normal frames of the same run: "
         "median %.1f ms, longest %.0f ms   ratio of the longest %.1fx   (aim < 50 ms)\n",
         median(hung), *std::max_element(hung.begin(), hung.end()), median(normal),
         *std::max_element(normal.begin(), normal.end()),
         *std::max_element(hung.begin(), hung.end()) / *std::max_element(normal.begin(), normal.end()));

  std::vector<double> deaths;
  for (int round = 0; round < DEATH_ROUNDS; round++) {
    disk->runUntil([disk] { return disk->playing(); }, 20000);
    pid_t dead = DiskHarness::player();
    int64_t killedAt = nowMs();
    kill(dead, SIGKILL);
    if (disk->runUntil([&] { return disk->playing() && DiskHarness::player() != dead; }, 10000))
      deaths.push_back(double(nowMs() - killedAt));
  }
  // The reference: the same road from the down key.
  std::vector<double> downs;
  for (int round = 0; round < DEATH_ROUNDS; round++) {
    disk->runUntil([disk] { return disk->playing(); }, 20000);
    pid_t left = DiskHarness::player();
    int64_t pressedAt = nowMs();
    disk->press(SDL_SCANCODE_DOWN);
    if (disk->runUntil([&] { return disk->playing() && DiskHarness::player() != left; }, 10000))
      downs.push_back(double(nowMs() - pressedAt));
  }
  printf("player death to the next song playing (median of %zu)  %.0f ms   down key to the next song %.0f ms   "
         "ratio %.2f   (aim about 1 s, the song-change delay)\n",
         deaths.size(), median(deaths), median(downs), median(deaths) / median(downs));
}

void damaged() {
  // A data directory whose every song is random bytes.
  std::string dir = "/tmp/bench-boundary-XXXXXX";
  if (!mkdtemp(dir.data())) return;
  mkdir((dir + "/music").c_str(), 0700);
  mkdir((dir + "/musicplayer").c_str(), 0700);
  if (symlink(MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer", (dir + "/musicplayer/sdlmusicplayer").c_str()) != 0)
    return;
  std::mt19937 random(12);
  for (const char *song : songnames) {
    FILE *f = fopen((dir + "/" + song).c_str(), "wb");
    for (int i = 0; f && i < 30000; i++) fputc(int(random() & 0xFF), f);
    if (f) fclose(f);
  }
  DiskHarness disk;
  if (!disk.open(dir.c_str())) return;
  std::vector<pid_t> seen;
  int64_t first = 0, last = 0, gaveUpAt = 0;
  auto count = [&] {
    pid_t pid = DiskHarness::player();
    if (pid > 0 && std::find(seen.begin(), seen.end(), pid) == seen.end()) {
      seen.push_back(pid);
      last = nowMs();
      if (!first) first = last;
    }
    if (songsHalted() && !gaveUpAt) gaveUpAt = nowMs();
    return gaveUpAt != 0;
  };
  disk.runUntil(count, 60000);
  // The rate over the intervals between the starts seen.
  size_t failing = seen.size();
  double minutes = double(last - first) / 60000.0;
  disk.runUntil([&] { return count() && false; }, QUIET_AFTER_GIVING_UP_MS);
  printf("player starts, every song damaged  %.1f a minute (%zu starts over %.1f s)   then %zu in %d s after giving up   "
         "(aim <= 60, then none)\n",
         minutes > 0 ? double(failing - 1) / minutes : 0, failing, minutes * 60, seen.size() - failing,
         QUIET_AFTER_GIVING_UP_MS / 1000);
  disk.close();
}

}  // namespace

int main() {
  {
    DiskHarness disk;
    if (!disk.open(MUSICDISK_BINARY_DIR)) {
      fputs("cannot open the disk screen\n", stderr);
      return 1;
    }
    hungAndDead(&disk);
    disk.close();
  }
  damaged();
  return 0;
}
