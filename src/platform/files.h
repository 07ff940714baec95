// Where the system's files are: the data directory (music/, musicplayer/)
// and the private staging directory that stands in for RAM:.
//
// "ram:NAME" and "RAM:NAME" (any case) name NAME in the staging directory,
// which is made fresh for each run (mode 0700) under $XDG_RUNTIME_DIR, else
// $TMPDIR, else /tmp, on first use, and removed by removeStagingDirectory.
#pragma once

#include <cstddef>
#include <cstdio>

// fopen with "ram:" names mapped to the staging directory.
FILE *openFile(const char *path, const char *mode);
// Writes the real path for path into out; false when it does not fit or the
// staging directory cannot be made.
bool resolvePath(const char *path, char *out, size_t outSize);
// The staging directory, made on first call; null when it cannot be made.
const char *stagingDirectory();
// Removes the staging directory and everything in it (safe to call twice,
// and from a signal handler once the directory exists).
void removeStagingDirectory();
// Makes the data directory the working directory: the executable's own
// directory in the build tree, ../share/musicdisk when installed. False when
// neither holds the music folder.
bool enterDataDirectory();
