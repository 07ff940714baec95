// Termination signals become one flag that the frame loops read.
#include "platform/termination.h"

#include <signal.h>

#include <atomic>

namespace {

std::atomic<int> terminationFlag{0};
static_assert(std::atomic<int>::is_always_lock_free, "the flag is set from a signal handler");

void onTerminationSignal(int) { terminationFlag.store(1); }

}  // namespace

void installTerminationHandlers() {
  struct sigaction action = {};
  action.sa_handler = onTerminationSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  sigaction(SIGHUP, &action, nullptr);
  // A reader that went away must not kill the program: sends use
  // MSG_NOSIGNAL, and a closed stdout pipe is not a reason to die either.
  signal(SIGPIPE, SIG_IGN);
}

bool terminationRequested() { return terminationFlag.load() != 0; }

void requestTermination() { terminationFlag.store(1); }
