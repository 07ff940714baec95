// Fresh processes of the benchmark for its start-up figures.
#include "freshprocess.h"

#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <time.h>

#include <cstdio>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/lifecycle.h"
#include "screens/effects.h"
#include "screens/intro.h"

extern char **environ;

double monotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1e3 + now.tv_nsec / 1e6;
}

int startupToFirstIntroFrame(double startMs) {
  if (!startProgram()) return 1;
  initIntroStreaks();
  getTimeWithStatus(1);
  IntroState intro = {};
  introPass(&intro, getTime(), nullptr);
  W3DShowFrame();
  printf("%.1f\n", monotonicMs() - startMs);
  W3DCleanup();
  return 0;
}

bool freshProcessFigure(const char *const argv[], double *printed) {
  int out[2];
  if (pipe(out) != 0) return false;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  pid_t pid;
  int spawned = posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, const_cast<char *const *>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(out[1]);
  char text[64] = {};
  ssize_t got = spawned == 0 ? read(out[0], text, sizeof text - 1) : -1;
  close(out[0]);
  if (spawned == 0) waitpid(pid, nullptr, 0);
  if (got <= 0) return false;
  *printed = atof(text);
  return true;
}
