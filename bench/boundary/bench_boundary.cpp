// The disk loop against a real player that is slow or misbehaves, on the
// offscreen renderer with the real music handler:
// - reply times of 1000 pause commands at 30 a second, taken the way the
//   keys send them, on a quiet machine and under load (8 busy loops and a
//   parallel build), with the players killed and the songs skipped;
// - the longest frame gap while keys go to a stopped (SIGSTOP) player,
//   beside the normal frame time of the same run;
// - the time from a player's death (SIGKILL) to the next song sounding
//   (its EVENT_PLAYING), beside the same from the down key (the
//   one-second song-change delay and a player's start);
// - player starts a minute with every song damaged, and starts after the
//   disk has given up.
#include <sys/stat.h>
#include <sys/wait.h>

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
constexpr int COMMANDS = 1000;
constexpr int COMMAND_SPACING_US = 1000000 / 30;
constexpr int BUSY_LOOPS = 8;
constexpr int BUILD_JOBS = 2;

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

int64_t nowUs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000 + now.tv_nsec / 1000;
}

double percentile(std::vector<double> values, double p) {
  std::sort(values.begin(), values.end());
  return values.empty() ? 0 : values[std::min(values.size() - 1, size_t(p * values.size()))];
}

// The load: busy loops, and a build of BUILD_JOBS jobs compiling a heavy
// file over and over. Each in a process group of its own, to end it whole.
std::vector<pid_t> startLoad() {
  std::vector<pid_t> load;
  const char *source = "/tmp/bench-boundary-build.cpp";
  if (FILE *f = fopen(source, "w")) {
    fputs("#include <regex>\n#include <map>\n#include <iostream>\n"
          "int main(){std::map<std::string,std::regex> m; m[\"a\"]=std::regex(\"(a|b)*c\");"
          "std::cout<<std::regex_match(\"abc\",m[\"a\"]);}\n", f);
    fclose(f);
  }
  for (int i = 0; i < BUSY_LOOPS + BUILD_JOBS; i++) {
    pid_t pid = fork();
    if (pid == 0) {
      setpgid(0, 0);
      if (i >= BUSY_LOOPS)
        execlp("sh", "sh", "-c", "while :; do c++ -O2 -c -o /dev/null \"$0\"; done", source, nullptr);
      for (volatile unsigned spin = 0;; spin++) {
      }
    }
    if (pid > 0) load.push_back(pid);
  }
  return load;
}

void endLoad(const std::vector<pid_t> &load) {
  for (pid_t pid : load) kill(-pid, SIGKILL);
  for (pid_t pid : load) waitpid(pid, nullptr, 0);
}

// COMMANDS pauses at 30 a second to a fresh song's player, as the keys send
// them (commandPlayer), with the disk loop's frames in between. A reply is
// timed to the moment the musicdisk takes it: within the command's own
// wait, or by polling every half millisecond between frames (within a
// frame, to the frame's end).
void replyTimes(DiskHarness *disk, const char *label) {
  disk->runUntil([disk] { return disk->playing(); }, 20000);
  disk->press(SDL_SCANCODE_DOWN);  // a fresh song: no natural end within the run
  const pid_t before = DiskHarness::player();
  disk->runUntil([&] { return disk->playing() && DiskHarness::player() != before; }, 20000);
  const int32_t song = currentSong, hung = playersEndedAsHung, failed = failedInARow;
  std::vector<double> replies;
  int64_t next = nowUs();
  for (int i = 0; i < COMMANDS; i++) {
    while (nowUs() < next) {
      diskFrame(&disk->state);
      if (nowUs() < next) usleep(500);
    }
    int64_t sent = nowUs();
    next = sent + COMMAND_SPACING_US;
    commandPlayer(PLAYER_PAUSE, nowMs());
    while (playerCommandsWaiting() > 0 && nowUs() < sent + 10 * 1000000) {
      if (nowUs() >= next) {
        diskFrame(&disk->state);  // a frame, as the loop would
        next = nowUs() + COMMAND_SPACING_US;
      } else {
        usleep(500);
        deliverPlayerCommands(nowMs());
      }
    }
    if (playerCommandsWaiting() == 0) replies.push_back((nowUs() - sent) / 1000.0);
  }
  printf("reply times, %-6s  %zu of %d answered   median %.2f ms   99th percentile %.1f ms   max %.1f ms   "
         "players killed %d   songs skipped %d   failed songs %d   (aim: 0 and 0)\n",
         label, replies.size(), COMMANDS, percentile(replies, 0.5), percentile(replies, 0.99),
         replies.empty() ? 0 : *std::max_element(replies.begin(), replies.end()), playersEndedAsHung - hung,
         currentSong - song, failedInARow - failed);
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
    replyTimes(&disk, "quiet");
    std::vector<pid_t> load = startLoad();
    sleep(2);  // the build under way
    replyTimes(&disk, "loaded");
    endLoad(load);
    hungAndDead(&disk);
    disk.close();
  }
  damaged();
  return 0;
}
