#include "xvfb.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

extern char **environ;

bool startXvfb(const char *screen, XServer *server) {
  int ready[2];
  if (pipe(ready) != 0) return false;
  // The write end is inherited: Xvfb writes its display number there.
  fcntl(ready[0], F_SETFD, FD_CLOEXEC);
  std::string fd = std::to_string(ready[1]);
  const char *argv[] = {"Xvfb", "-displayfd", fd.c_str(), "-screen", "0", screen, "-nolisten", "tcp", "-noreset", nullptr};
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

int runXdotool(const XServer &server, const char *const *args) {
  std::vector<const char *> argv = {"xdotool"};
  for (const char *const *arg = args; *arg; arg++) argv.push_back(*arg);
  argv.push_back(nullptr);
  std::vector<std::string> environment;
  for (char **entry = environ; *entry; entry++)
    if (std::string(*entry).rfind("DISPLAY=", 0) != 0) environment.emplace_back(*entry);
  environment.push_back("DISPLAY=" + server.display);
  std::vector<char *> envp;
  for (std::string &entry : environment) envp.push_back(entry.data());
  envp.push_back(nullptr);
  pid_t pid;
  if (posix_spawnp(&pid, "xdotool", nullptr, nullptr, const_cast<char *const *>(argv.data()), envp.data()) != 0)
    return -1;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
