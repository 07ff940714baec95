// The monotonic clock in milliseconds: what every timeout, grace and frame
// gap of the musicdisk and its player is measured with.
#pragma once

#include <time.h>

#include <cstdint>

inline int64_t monotonicMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}
