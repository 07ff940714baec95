// One musicdisk per user: the two would fight over the same ports and the
// same player.
//
// The running musicdisk holds an exclusive flock on the file INSTANCE_LOCK
// in the per-user port directory. The kernel drops the lock when the process
// ends in any way (a SIGKILL too), so a musicdisk that died never blocks the
// next start; an orderly exit also removes the file.
#pragma once

constexpr char INSTANCE_LOCK[] = "musicdisk.lock";

// Takes the lock for the rest of the run. False, after one line on standard
// error, when another musicdisk of this user runs (or the port directory
// cannot be used).
bool claimSingleInstance();
