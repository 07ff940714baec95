// The time base: hundredths of a second since the last reset.
//
// After a reset the base runs on the monotonic clock, so that setting the
// system clock cannot make a phase jump. Before the first reset the value
// is the time of day in hundredths, which start-up uses as the random seed.
#include <sys/time.h>
#include <time.h>

#include "display/display.h"

uint32_t startSec = 0;
uint32_t startUSec = 0;

namespace {
bool monotonicBase = false;  // set by the first reset
}

int32_t getTimeWithStatus(int32_t status) {
  uint32_t seconds, hundredths;
  if (status == 1 || monotonicBase) {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    seconds = static_cast<uint32_t>(now.tv_sec);
    hundredths = static_cast<uint32_t>(now.tv_nsec / 10000000);
  } else {
    timeval now;
    gettimeofday(&now, nullptr);
    seconds = static_cast<uint32_t>(now.tv_sec);
    hundredths = static_cast<uint32_t>(now.tv_usec) / 10000u;
  }
  if (status == 1) {
    startSec = seconds;
    startUSec = hundredths;
    monotonicBase = true;
  }
  // 32-bit arithmetic: the value wraps like the counter it is.
  return static_cast<int32_t>((seconds - startSec) * 100u + (hundredths - startUSec));
}

int32_t getTime() { return getTimeWithStatus(-1); }
