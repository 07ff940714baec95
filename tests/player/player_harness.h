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
#include <condition_variable>
#include <cstdlib>
#include <cstring>
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
  std::string stderrPath;

  // Starts the player with these arguments; extraEnv entries are NAME=VALUE.
  bool start(const std::string &scratch, std::vector<std::string> args, const std::vector<std::string> &extraEnv) {
    // The first of two entries of one name is the one getenv finds.
    std::vector<char *> envp;
    for (const std::string &x : extraEnv) envp.push_back(const_cast<char *>(x.c_str()));
    for (char **e = environ; *e; e++) envp.push_back(*e);
    envp.push_back(nullptr);

    std::string program = MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer";
    std::vector<char *> argv = {program.data()};
    for (std::string &arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    stderrPath = scratch + "/player-stderr.txt";
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 2, stderrPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
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
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  ~PlayerProcess() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      waitpid(pid, nullptr, 0);
    }
  }
};
