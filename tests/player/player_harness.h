// Test harness for the real player program: a scratch directory with its
// own port directory, the test's own "demoport" that records the player's
// events, the player started with SDL's disk audio driver capturing its
// output, and an analysis of the captured samples.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <condition_variable>
#include <fstream>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "../music/scratch.h"
#include "music/music.h"
#include "platform/ports.h"

extern char **environ;

// The test's "demoport": replies to everything and notes what came when.
struct EventRecorder {
  struct Event {
    int64_t atMs;
    int32_t value;
  };
  PublicPort *port = nullptr;
  std::atomic<bool> running{true};
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<Event> events;
  std::thread thread;

  EventRecorder() {
    port = createPublicPort("demoport");
    if (!port) return;
    thread = std::thread([this] {
      while (running) {
        if (waitPublicPort(port, 50, -1) == PORT_FAILED) return;
        MusicMessage message;
        while (getPortMessage(port, &message)) {
          {
            std::lock_guard<std::mutex> guard(lock);
            events.push_back({nowMs(), message.value});
          }
          replyPortMessage(port, &message);
          arrived.notify_all();
        }
      }
    });
  }
  ~EventRecorder() {
    running = false;
    if (thread.joinable()) thread.join();
    deletePublicPort(port);
  }
  // Waits for the first event of this value; its time, or -1.
  int64_t waitFor(int32_t value, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock);
    int64_t result = -1;
    arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
      for (const Event &e : events)
        if (e.value == value) {
          result = e.atMs;
          return true;
        }
      return false;
    });
    return result;
  }
  std::vector<int32_t> values() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<int32_t> out;
    for (const Event &e : events) out.push_back(e.value);
    return out;
  }
};

// Captured output: 16-bit stereo at 44100 Hz.
struct Capture {
  static constexpr int RATE = 44100;
  static constexpr int WINDOW = RATE / 100;  // 10 ms
  static constexpr int LOUD = 1000;          // peak of a window that sounds
  std::vector<int16_t> samples;              // interleaved left, right

  explicit Capture(const std::string &path) {
    std::ifstream in(path, std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    samples.resize(bytes.size() / 2);
    memcpy(samples.data(), bytes.data(), samples.size() * 2);
  }
  size_t frames() const { return samples.size() / 2; }
  double seconds() const { return static_cast<double>(frames()) / RATE; }
  int peak(size_t fromFrame, size_t count) const {
    int best = 0;
    for (size_t i = fromFrame; i < fromFrame + count && i < frames(); i++) {
      best = std::max(best, std::abs(static_cast<int>(samples[2 * i])));
      best = std::max(best, std::abs(static_cast<int>(samples[2 * i + 1])));
    }
    return best;
  }
  // Sounding stretches in seconds: [start, end) pairs, gaps under 50 ms joined.
  std::vector<std::pair<double, double>> sounding() const {
    std::vector<std::pair<double, double>> out;
    size_t windows = frames() / WINDOW;
    for (size_t w = 0; w < windows; w++) {
      if (peak(w * WINDOW, WINDOW) < LOUD) continue;
      double start = w / 100.0, end = (w + 1) / 100.0;
      if (!out.empty() && start - out.back().second < 0.05)
        out.back().second = end;
      else
        out.push_back({start, end});
    }
    return out;
  }
  double soundingSeconds() const {
    double total = 0;
    for (auto &s : sounding()) total += s.second - s.first;
    return total;
  }
  // Frequency of the left channel over 100 ms from atSeconds (zero crossings).
  double frequencyAt(double atSeconds) const {
    size_t from = static_cast<size_t>(atSeconds * RATE), count = RATE / 10;
    int crossings = 0;
    for (size_t i = from + 1; i < from + count && i < frames(); i++)
      if ((samples[2 * i - 2] < 0) != (samples[2 * i] < 0)) crossings++;
    return crossings / 2.0 / 0.1;
  }
};

// A short MP3 made at test time: 1.2 s of 440 Hz, then 1.2 s of 880 Hz.
inline bool makeTwoToneMp3(const std::string &path, double eachSeconds = 1.2) {
  std::string command = "sox -q -n -r 44100 -c 2 '" + path + "' synth " + std::to_string(eachSeconds) +
                        " sine 440 gain -6 : synth " + std::to_string(eachSeconds) + " sine 880 gain -6";
  return system(command.c_str()) == 0;
}

// A tiny ProTracker module (M.K.): one looped square-wave sample played as
// C-2 (about 259 Hz) at speed 3, 32 rows (1.92 s). The last row breaks to
// the end of the song, or, with loop, jumps back to its start for ever.
inline std::string makeModule(bool loop) {
  std::string mod(20, '\0');
  mod.replace(0, 4, "test");
  auto header = [&mod](const char *name, int words, int volume, int repeatStart, int repeatWords) {
    std::string h(22, '\0');
    h.replace(0, strlen(name), name);
    unsigned char rest[8] = {static_cast<unsigned char>(words >> 8), static_cast<unsigned char>(words), 0,
                             static_cast<unsigned char>(volume), static_cast<unsigned char>(repeatStart >> 8),
                             static_cast<unsigned char>(repeatStart), static_cast<unsigned char>(repeatWords >> 8),
                             static_cast<unsigned char>(repeatWords)};
    mod += h + std::string(reinterpret_cast<char *>(rest), 8);
  };
  header("square", 16, 64, 0, 16);
  for (int i = 1; i < 31; i++) header("", 0, 0, 0, 1);
  mod += std::string(1, 1) + std::string(1, 127);  // song length 1, restart
  mod += std::string(128, '\0');                   // order list: pattern 0
  mod += "M.K.";
  std::string pattern(64 * 4 * 4, '\0');
  auto cell = [&pattern](int row, int channel, int sample, int period, int effect, int parameter) {
    size_t o = (row * 4 + channel) * 4;
    pattern[o] = static_cast<char>((sample & 0xF0) | (period >> 8));
    pattern[o + 1] = static_cast<char>(period & 0xFF);
    pattern[o + 2] = static_cast<char>(((sample & 0x0F) << 4) | effect);
    pattern[o + 3] = static_cast<char>(parameter);
  };
  cell(0, 0, 1, 428, 0, 0);                   // C-2 with sample 1
  cell(0, 1, 0, 0, 0xF, 3);                   // speed 3: 60 ms a row
  cell(31, 1, 0, 0, loop ? 0xB : 0xD, 0);     // jump to order 0, or break
  mod += pattern;
  for (int i = 0; i < 32; i++) mod += static_cast<char>(i < 16 ? 100 : -100);
  return mod;
}

inline bool writeFile(const std::string &path, const std::string &bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
  return static_cast<bool>(out);
}

// The player as a child process of the test.
struct PlayerProcess {
  pid_t pid = -1;
  int status = -1;
  int64_t startedAt = 0;
  std::string stderrPath;

  // Starts the player on path; extraEnv entries are NAME=VALUE.
  bool start(const std::string &scratch, const std::string &path, bool lastSong,
             const std::vector<std::string> &extraEnv) {
    std::vector<std::string> env;
    for (char **e = environ; *e; e++) {
      std::string entry = *e;
      bool replaced = false;
      for (const std::string &x : extraEnv)
        if (entry.compare(0, x.find('=') + 1, x, 0, x.find('=') + 1) == 0) replaced = true;
      if (!replaced) env.push_back(entry);
    }
    for (const std::string &x : extraEnv) env.push_back(x);
    std::vector<char *> envp;
    for (std::string &e : env) envp.push_back(e.data());
    envp.push_back(nullptr);

    std::string program = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";
    std::vector<char *> argv = {program.data(), const_cast<char *>(path.c_str())};
    std::string one = "1";
    if (lastSong) argv.push_back(one.data());
    argv.push_back(nullptr);

    stderrPath = scratch + "/player-stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    startedAt = nowMs();
    int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0;
  }
  // Waits for the end; false (and the player killed) when it does not come.
  bool waitForExit(int timeoutMs) {
    int64_t giveUp = nowMs() + timeoutMs;
    while (nowMs() < giveUp) {
      if (waitpid(pid, &status, WNOHANG) == pid) {
        pid = -1;
        return true;
      }
      usleep(5000);
    }
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    pid = -1;
    return false;
  }
  bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
  std::string errorText() const {
    std::ifstream in(stderrPath);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }
  ~PlayerProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};
