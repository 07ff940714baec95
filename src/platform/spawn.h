// Background processes: what stands in for the shell's "run >NIL: ...".
//
// A program is started with posix_spawn (no shell, no word splitting), its
// standard input and output on /dev/null, its standard error shared with the
// musicdisk (so that a player's complaint about a song reaches the user),
// the signals the musicdisk catches or ignores back at their defaults, and
// is never waited for. Finished children are reaped without blocking: the
// one the caller watches when it asks, the others each time another one is
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
// leading slash) with the arguments argv (null-terminated) and our own
// environment, with extraVariables ("NAME=VALUE" each, null-terminated;
// null: none) placed before it. Returns the child's process id, or -1 after
// one line on standard error.
pid_t spawnBackground(const char *const argv[], const char *const extraVariables[] = nullptr);
// Reaps every started child that has ended, without waiting.
void reapBackgroundChildren();
// Whether the started child pid has ended; if so it is reaped and its wait
// status (as from waitpid) is in *status. Never waits.
bool backgroundChildEnded(pid_t pid, int *status);
// Sends signal to the started child pid, unless it has already been reaped.
void signalBackgroundChild(pid_t pid, int signal);
