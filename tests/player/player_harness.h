// Test harness for the real player program: a scratch directory with its
// own port directory, the test's own "demoport" (EventRecorder, in
// ../music/scratch.h) that records the player's events, the player started
// with SDL's disk audio driver capturing its output, and an analysis of the
// captured samples.
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
#include "audio_fixtures.h"
#include "music/music.h"
#include "platform/ports.h"

extern char **environ;

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
