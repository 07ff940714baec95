#include "xserver.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

extern char **environ;

bool startXvfb(const char *screen, XServer *server) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  // The write end is inherited: Xvfb writes its display number there.
  fcntl(ready[0], F_SETFD, FD_CLOEXEC);
  std::string fd = std::to_string(ready[1]);
  const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen",  "0",
                        screen, "-nolisten",  "tcp",      "-noreset", nullptr};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawnp(&pid, "Xvfb", &actions, nullptr, const_cast<char *const *>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  if (spawned != 0) {
    close(ready[0]);
    return false;
  }
  server->pid = pid;
  std::string number;
  pollfd wait = {ready[0], POLLIN, 0};
  while (poll(&wait, 1, 10000) > 0) {
    char c;
    if (read(ready[0], &c, 1) != 1 || c == '\n') break;
    number += c;
  }
  close(ready[0]);
  if (number.empty()) {
    stopXvfb(server);
    return false;
  }
  server->display = ":" + number;
  return true;
}

void stopXvfb(XServer *server) {
  if (server->pid > 0) {
    kill(server->pid, SIGTERM);
    waitpid(server->pid, nullptr, 0);
  }
  server->pid = -1;
}

bool useVideoDriver(const char *mode, XServer *server) {
  std::string name = mode;
  if (name == "software") return setenv("SDL_VIDEODRIVER", "dummy", 1) == 0;
  if (name == "offscreen") return setenv("SDL_VIDEODRIVER", "offscreen", 1) == 0;
  if (name != "xvfb" || !startXvfb("1280x1024x24", server)) return false;
  setenv("DISPLAY", server->display.c_str(), 1);
  return setenv("SDL_VIDEODRIVER", "x11", 1) == 0;
}
