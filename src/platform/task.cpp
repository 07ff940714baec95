// Tasks as threads that can be told to stop through an eventfd.
#include "platform/task.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstring>
#include <cstdio>
#include <new>
#include <string>
#include <system_error>
#include <thread>

struct MusicTask {
  std::string name;
  int stopFd = -1;  // eventfd, readable once the task is asked to stop
  std::thread thread;
};

MusicTask *createTask(const char *name, void (*entry)(MusicTask *task)) {
  MusicTask *task = new (std::nothrow) MusicTask;
  if (!task) return nullptr;
  task->name = name;
  task->stopFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (task->stopFd < 0) {
    fprintf(stderr, "musicdisk: cannot start task %s: %s\n", name, strerror(errno));
    delete task;
    return nullptr;
  }
  try {
    task->thread = std::thread(entry, task);
  } catch (const std::system_error &e) {
    fprintf(stderr, "musicdisk: cannot start task %s: %s\n", name, e.what());
    close(task->stopFd);
    delete task;
    return nullptr;
  }
  return task;
}

void deleteTask(MusicTask *task) {
  if (!task) return;
  uint64_t one = 1;
  if (write(task->stopFd, &one, sizeof one) != sizeof one) perror("eventfd write");
  if (task->thread.joinable()) task->thread.join();
  close(task->stopFd);
  delete task;
}

int taskStopDescriptor(const MusicTask *task) { return task ? task->stopFd : -1; }

const char *taskName(const MusicTask *task) { return task ? task->name.c_str() : ""; }
