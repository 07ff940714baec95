// Background processes: what stands in for the shell's "run >NIL: ...".
//
// A program is started with posix_spawn (no shell, no word splitting), its
// standard input, output and error on /dev/null, the signals the musicdisk
// catches or ignores back at their defaults, and is never waited for.
// Finished children are reaped without blocking each time another one is
// started and at exit, so none is left as a zombie.
//
// A started program that wants to die with the musicdisk sets its own
// parent-death signal; Linux delivers it when the thread that spawned it
// ends, so spawn from the main thread only.
#pragma once

#include <sys/types.h>

// Most children tracked at once for reaping; beyond this, the oldest is
// still reaped by the kernel's normal rules once the musicdisk exits.
constexpr int MAX_BACKGROUND_CHILDREN = 32;

// Starts argv[0] (a path: relative to the working directory when it has no
// leading slash) with the arguments argv (null-terminated). Returns the
// child's process id, or -1 after one line on standard error.
pid_t spawnBackground(const char *const argv[]);
// Reaps every started child that has ended, without waiting.
void reapBackgroundChildren();
