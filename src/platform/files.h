// Where the system's files are: the data directory (music/, musicplayer/)
// and the private staging directory that stands in for RAM:.
//
// "ram:NAME" and "RAM:NAME" (any case) name NAME in the staging directory,
// which is made fresh for each run (mode 0700) under $XDG_RUNTIME_DIR, else
// $TMPDIR, else /tmp, on first use, and removed by removeStagingDirectory
// when the program exits (main registers it with atexit). A termination
// signal does not remove it: the handler only sets a flag, the frame loops
// see it and end, main returns, and the removal runs at exit as always.
// A run holds a flock on its staging directory; one of ours that nobody
// holds (left by a killed run) is removed when the next one is made.
#pragma once

#include <cstddef>
#include <cstdio>

// fopen with "ram:" names mapped to the staging directory.
FILE *openFile(const char *path, const char *mode);
// Writes the real path for path into out; false when it does not fit or the
// staging directory cannot be made.
bool resolvePath(const char *path, char *out, size_t outSize);
// The staging directory, made on first call; null, after one line on
// standard error, when it cannot be made.
const char *stagingDirectory();
// Removes the staging directory and everything in it. Safe to call twice;
// uses only system calls on a descriptor kept open, so it would also be
// safe in a signal handler, though the program calls it only at exit.
void removeStagingDirectory();
// Makes the data directory the working directory: the executable's own
// directory in the build tree, ../share/musicdisk when installed. False when
// neither holds the music folder, after one line on standard error that
// names both places.
bool enterDataDirectory();
