// What the tests share around files and ports: a private scratch directory
// per test, which is also the test's port directory root (XDG_RUNTIME_DIR),
// so that tests running in parallel never meet on a port; a raw client of
// a port's socket; and a port owner on a thread of its own that records
// what it is sent; and a child process started with its own environment
// and output files.
#pragma once

#include <fcntl.h>
#include <ftw.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/clock.h"
#include "ports/ports.h"
#include "ports/protocol.h"

extern char **environ;

inline int removeEntry(const char *path, const struct stat *, int, struct FTW *) { return remove(path); }

struct ScratchDirectory {
  std::string path;
  std::string previousRuntime;  // empty: there was none (an empty one is none either)

  ScratchDirectory() {
    char pattern[] = "/tmp/musicdisk-test-XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
    if (const char *runtime = getenv("XDG_RUNTIME_DIR")) previousRuntime = runtime;
    setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
  }
  ~ScratchDirectory() {
    if (!previousRuntime.empty())
      setenv("XDG_RUNTIME_DIR", previousRuntime.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    if (!path.empty()) nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  std::string operator/(const std::string &name) const { return path + "/" + name; }
  std::string portDir() const { return path + "/musicdisk"; }
  std::string portFile(const char *name) const { return portDir() + "/" + name; }
  bool hasPortFile(const char *name) const {
    struct stat st;
    return lstat(portFile(name).c_str(), &st) == 0;
  }
};

inline int64_t nowMs() { return monotonicMs(); }

// A child process of the test: started with extra environment entries
// (NAME=VALUE, found before the test's own), standard input from /dev/null,
// standard output and error into the named files (the test's own where a
// name is empty), in dir when that is not empty. Killed if still there when
// it goes out of scope.
struct ChildProcess {
  pid_t pid = -1;
  int status = -1;

  bool start(const std::vector<std::string> &argv, const std::vector<std::string> &extraEnv = {},
             const std::string &outPath = "", const std::string &errPath = "", const std::string &dir = "") {
    std::vector<char *> args, envp;
    for (const std::string &arg : argv) args.push_back(const_cast<char *>(arg.c_str()));
    args.push_back(nullptr);
    // Of two entries of one name, getenv finds the first.
    for (const std::string &entry : extraEnv) envp.push_back(const_cast<char *>(entry.c_str()));
    for (char **entry = environ; *entry; entry++) envp.push_back(*entry);
    envp.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    const int outputFlags = O_WRONLY | O_CREAT | O_TRUNC;
    if (!outPath.empty()) posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), outputFlags, 0600);
    if (!errPath.empty()) posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), outputFlags, 0600);
    if (!dir.empty()) posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
    bool started = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), envp.data()) == 0;
    posix_spawn_file_actions_destroy(&actions);
    if (!started) pid = -1;
    return started;
  }
  // Waits for the end; false (and the child killed) when it does not come.
  bool waitForExit(int timeoutMs) {
    pid_t ended = 0;
    for (int64_t giveUp = nowMs() + timeoutMs; pid > 0 && (ended = waitpid(pid, &status, WNOHANG)) == 0;) {
      if (nowMs() < giveUp) {
        usleep(2000);
      } else {
        kill(pid, SIGKILL);
        waitpid(pid, &status, 0);
        break;
      }
    }
    pid = -1;
    return ended > 0;
  }
  bool exitedWith(int code) const { return WIFEXITED(status) && WEXITSTATUS(status) == code; }
  ~ChildProcess() { waitForExit(0); }
};

// A raw client of a port's socket file, which can send anything at all.
// Receives time out after two seconds, so a failing owner cannot hang a test.
// Only async-signal-safe calls: a forked child of a test may use it too.
// With noWait, a port whose queue of connections is full refuses at once.
inline int rawConnect(const std::string &path, bool noWait = false) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | (noWait ? SOCK_NONBLOCK : 0), 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  memcpy(addr.sun_path, path.c_str(), std::min(path.size(), sizeof addr.sun_path - 1));
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    close(fd);
    return -1;
  }
  timeval bound = {2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  return fd;
}

// How an EventRecorder answers: with the message as it came, with its value
// plus 1000, or never (it holds the first one).
enum class Answer { Echo, Plus1000, Never };

// The owner of a port on a thread of its own: notes when each message came
// and its value, answers as told, and ends when destroyed.
struct EventRecorder {
  struct Event {
    int64_t atMs;
    int32_t value;
  };
  PublicPort *port = nullptr;
  int stop = eventfd(0, EFD_CLOEXEC);
  std::mutex lock;
  std::condition_variable arrived;
  std::vector<Event> events;
  std::thread thread;

  explicit EventRecorder(const char *name = "demoport", Answer answer = Answer::Echo) {
    port = createPublicPort(name);
    if (!port) return;
    thread = std::thread([this, answer] {
      while (waitPublicPort(port, -1, stop) == PORT_READY) {
        unsigned char message[PORT_MESSAGE_SIZE];
        while (getPortMessage(port, message)) {
          int32_t value;
          memcpy(&value, message + 20, sizeof value);
          {
            std::lock_guard<std::mutex> guard(lock);
            events.push_back({nowMs(), value});
          }
          arrived.notify_all();
          if (answer == Answer::Never) {
            pollfd until = {stop, POLLIN, 0};
            poll(&until, 1, -1);
            return;
          }
          value += answer == Answer::Plus1000 ? 1000 : 0;
          memcpy(message + 20, &value, sizeof value);
          replyPortMessage(port, message);
        }
      }
    });
  }
  ~EventRecorder() {
    uint64_t one = 1;
    if (write(stop, &one, sizeof one) != sizeof one) perror("eventfd");
    if (thread.joinable()) thread.join();
    deletePublicPort(port);
    close(stop);
  }
  // Waits for the first message of this value; its time, or -1.
  int64_t waitFor(int32_t value, int timeoutMs) {
    std::unique_lock<std::mutex> guard(lock);
    int64_t result = -1;
    arrived.wait_for(guard, std::chrono::milliseconds(timeoutMs), [&] {
      for (const Event &e : events) {
        if (e.value == value) {
          result = e.atMs;
          return true;
        }
      }
      return false;
    });
    return result;
  }
  // The values in order, the player's level reports (the meter's) left out.
  std::vector<int32_t> values() {
    std::lock_guard<std::mutex> guard(lock);
    std::vector<int32_t> out;
    for (const Event &e : events)
      if (e.value < LEVEL_REPORT) out.push_back(e.value);
    return out;
  }
};
