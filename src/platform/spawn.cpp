// Starting programs in the background with posix_spawn and reaping them.
#include "platform/spawn.h"

#include <fcntl.h>
#include <limits.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

extern char **environ;

namespace {

std::mutex childrenLock;
pid_t children[MAX_BACKGROUND_CHILDREN];  // 0 = free slot
bool reapAtExitRegistered = false;

void reapLocked() {
  for (pid_t &child : children) {
    if (child <= 0) continue;
    pid_t rc = waitpid(child, nullptr, WNOHANG);
    if (rc == child || (rc < 0 && errno == ECHILD)) child = 0;
  }
}

void reapAtExit() { reapBackgroundChildren(); }

pid_t *findChild(pid_t pid) {
  for (pid_t &child : children)
    if (child == pid) return &child;
  return nullptr;
}

}  // namespace

void reapBackgroundChildren() {
  std::lock_guard<std::mutex> guard(childrenLock);
  reapLocked();
}

bool backgroundChildEnded(pid_t pid, int *status) {
  std::lock_guard<std::mutex> guard(childrenLock);
  pid_t *child = findChild(pid);
  if (!child) {
    *status = 0;  // reaped before: it has long ended
    return true;
  }
  pid_t rc = waitpid(pid, status, WNOHANG);
  if (rc == 0 || (rc < 0 && errno == EINTR)) return false;
  if (rc < 0) *status = 0;
  *child = 0;
  return true;
}

void signalBackgroundChild(pid_t pid, int signal) {
  std::lock_guard<std::mutex> guard(childrenLock);
  // A reaped child's number may already belong to another process.
  if (pid > 0 && findChild(pid)) kill(pid, signal);
}

pid_t spawnBackground(const char *const argv[], const char *const extraVariables[]) {
  std::lock_guard<std::mutex> guard(childrenLock);
  reapLocked();
  if (!reapAtExitRegistered) {
    atexit(reapAtExit);
    reapAtExitRegistered = true;
  }

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&actions);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
  // The child starts with no blocked signals, and with default actions for
  // the ones the musicdisk handles or ignores (an ignored SIGPIPE would
  // otherwise be inherited across exec).
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) sigaddset(&defaults, signal);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);

  // The extra entries first: getenv finds the first of two with one name.
  std::vector<char *> environment;
  for (int i = 0; extraVariables && extraVariables[i]; i++) environment.push_back(const_cast<char *>(extraVariables[i]));
  for (char **entry = environ; *entry; entry++) environment.push_back(*entry);
  environment.push_back(nullptr);

  pid_t pid = -1;
  int error = posix_spawn(&pid, argv[0], &actions, &attributes, const_cast<char *const *>(argv), environment.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    // Said once: a missing player is tried again for every song.
    static bool told = false;
    char here[PATH_MAX] = "";
    if (argv[0][0] != '/' && !getcwd(here, sizeof here)) here[0] = '\0';
    const char *separator = *here && here[strlen(here) - 1] != '/' ? "/" : "";
    if (!told) fprintf(stderr, "musicdisk: cannot start %s%s%s: %s\n", here, separator, argv[0], strerror(error));
    told = true;
    return -1;
  }
  for (pid_t &child : children) {
    if (child == 0) {
      child = pid;
      return pid;
    }
  }
  return pid;  // table full: this one is left to the system
}
