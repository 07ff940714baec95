// The player program measured: time from process start to EVENT_PLAYING for
// an MP3 and a module (beside the time to start and end a program that does
// nothing, the floor of any process start), CPU use while playing, and gaps
// or jumps in the captured output of a steady tone (an underrun shows as
// either). The output goes through SDL's disk driver, which keeps real time.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../../tests/player/audio_fixtures.h"
#include "music/music.h"
#include "ports/ports.h"

extern char **environ;

namespace {

constexpr int START_RUNS = 15;
const std::string PLAYER = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";

double nowMs() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// "demoport": notes the time of the latest EVENT_PLAYING.
struct Recorder {
  PublicPort *port = createPublicPort("demoport");
  std::atomic<bool> running{true};
  std::atomic<double> playingAt{-1};
  std::thread thread{[this] {
    while (running) {
      if (waitPublicPort(port, 20, -1) == PORT_FAILED) return;
      MusicMessage message;
      while (getPortMessage(port, &message)) {
        if (message.value == EVENT_PLAYING) playingAt = nowMs();
        replyPortMessage(port, &message);
      }
    }
  }};
  ~Recorder() {
    running = false;
    thread.join();
    deletePublicPort(port);
  }
};

pid_t spawn(const std::vector<std::string> &args, const std::vector<std::string> &extraEnv) {
  std::vector<std::string> env;
  for (char **e = environ; *e; e++) env.push_back(*e);
  for (const std::string &x : extraEnv) env.push_back(x);
  std::vector<char *> envp, argv;
  for (std::string &e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::vector<std::string> copy = args;
  for (std::string &a : copy) argv.push_back(a.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid = -1;
  if (posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0) pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  return pid;
}

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double cpuSeconds(pid_t pid);

struct StartFigures {
  double wallMs;  // spawn to EVENT_PLAYING
  double cpuMs;   // CPU time the player had used by then (all its threads)
};

// Medians of START_RUNS starts.
StartFigures startToPlaying(Recorder &recorder, const std::string &song) {
  std::vector<double> times, cpu;
  for (int i = 0; i < START_RUNS; i++) {
    recorder.playingAt = -1;
    double start = nowMs();
    pid_t pid = spawn({PLAYER, song}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=/dev/null"});
    while (recorder.playingAt < 0 && nowMs() - start < 5000) usleep(200);
    cpu.push_back(cpuSeconds(pid) * 1000.0);
    times.push_back(recorder.playingAt - start);
    syncmusic("musicplayerport", PLAYER_QUIT);
    waitpid(pid, nullptr, 0);
  }
  return {median(times), median(cpu)};
}

double processFloor() {
  std::vector<double> times;
  for (int i = 0; i < START_RUNS; i++) {
    double start = nowMs();
    pid_t pid = spawn({"/bin/true"}, {});
    waitpid(pid, nullptr, 0);
    times.push_back(nowMs() - start);
  }
  return median(times);
}

// CPU time of all the process's threads so far, from the scheduler's own
// nanosecond count (finer than the 10 ms ticks of /proc/PID/stat).
double cpuSeconds(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/task", pid);
  DIR *tasks = opendir(path);
  if (!tasks) return -1;
  double total = 0;
  while (dirent *entry = readdir(tasks)) {
    if (entry->d_name[0] == '.') continue;
    char statPath[320];
    snprintf(statPath, sizeof statPath, "/proc/%d/task/%s/schedstat", pid, entry->d_name);
    FILE *f = fopen(statPath, "r");
    if (!f) continue;
    unsigned long long ns = 0;
    if (fscanf(f, "%llu", &ns) == 1) total += ns / 1e9;
    fclose(f);
  }
  closedir(tasks);
  return total;
}

struct PlayFigures {
  double cpuPercent;
  int gaps;   // 10 ms windows of silence inside the tone
  int jumps;  // sample steps far steeper than the tone allows
};

PlayFigures playAndMeasure(Recorder &recorder, const std::string &song, const std::string &capture,
                           double toneHz) {
  recorder.playingAt = -1;
  pid_t pid = spawn({PLAYER, song}, {"SDL_AUDIODRIVER=disk", "SDL_DISKAUDIOFILE=" + capture});
  while (recorder.playingAt < 0) usleep(1000);
  usleep(1000 * 1000);
  double cpu0 = cpuSeconds(pid), t0 = nowMs();
  usleep(5000 * 1000);
  double cpu1 = cpuSeconds(pid), t1 = nowMs();
  waitpid(pid, nullptr, 0);
  PlayFigures figures = {100.0 * (cpu1 - cpu0) / ((t1 - t0) / 1000.0), 0, 0};

  Capture out(capture);
  auto sounding = out.sounding();
  if (sounding.empty()) return {figures.cpuPercent, -1, -1};
  figures.gaps = static_cast<int>(sounding.size()) - 1;
  if (toneHz > 0) {
    // A sine of amplitude A moves at most 2*pi*f/rate*A per sample.
    size_t from = static_cast<size_t>((sounding[0].first + 0.1) * Capture::RATE);
    size_t to = static_cast<size_t>((sounding.back().second - 0.1) * Capture::RATE);
    int amplitude = out.peak(from, to - from);
    double limit = 1.5 * 2 * M_PI * toneHz / Capture::RATE * amplitude;
    for (size_t i = from + 1; i < to; i++)
      if (std::abs(out.samples[2 * i] - out.samples[2 * i - 2]) > limit) figures.jumps++;
  }
  return figures;
}

}  // namespace

int main() {
  char dir[] = "/tmp/musicdisk-bench-XXXXXX";
  if (!mkdtemp(dir)) return 1;
  std::string scratch = dir;
  setenv("XDG_RUNTIME_DIR", dir, 1);
  std::string mp3 = scratch + "/tone.mp3", longMp3 = scratch + "/long.mp3", module = scratch + "/tone.mod",
              longModule = scratch + "/long.mod";
  bool made = makeTwoToneMp3(mp3) &&
              system(("sox -q -n -r 44100 -c 2 '" + longMp3 + "' synth 8 sine 440 gain -6").c_str()) == 0 &&
              writeFile(module, makeModule(false)) && writeFile(longModule, makeModule(false, 64, 6, 4));
  if (!made) {
    fprintf(stderr, "cannot make the test songs (sox with MP3 support needed)\n");
    return 1;
  }
  Recorder recorder;

  double floor = processFloor();
  StartFigures mp3Start = startToPlaying(recorder, mp3);
  StartFigures moduleStart = startToPlaying(recorder, module);
  printf("start to EVENT_PLAYING (median of %d)   MP3 %.1f ms   module %.1f ms   (aim < 100 ms)\n", START_RUNS,
         mp3Start.wallMs, moduleStart.wallMs);
  printf("  CPU time used by then                 MP3 %.1f ms   module %.1f ms\n", mp3Start.cpuMs,
         moduleStart.cpuMs);
  printf("  floor: start and end of /bin/true     %.1f ms   (MP3 %.1fx, module %.1fx)\n", floor,
         mp3Start.wallMs / floor, moduleStart.wallMs / floor);

  PlayFigures mp3Play = playAndMeasure(recorder, longMp3, scratch + "/mp3.raw", 440);
  PlayFigures modulePlay = playAndMeasure(recorder, longModule, scratch + "/mod.raw", 0);
  printf("CPU while playing (5 s, one core = 100%%)  MP3 %.2f %%   4-voice module %.2f %%   (aim < 3 %%)\n",
         mp3Play.cpuPercent, modulePlay.cpuPercent);
  printf("captured output: MP3 gaps %d, jumps %d; module gaps %d\n", mp3Play.gaps, mp3Play.jumps,
         modulePlay.gaps);

  std::string cleanup = "rm -rf '" + scratch + "'";
  return system(cleanup.c_str()) == 0 ? 0 : 1;
}
