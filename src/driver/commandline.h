// The program's command line: --help, --version, --window, then a folder or
// song files ("--" ends the options); an unknown option is refused with the
// usage.
#pragma once

#include <vector>

// Reads the options. Returns -1 when the program is to run, otherwise the
// exit value: 0 after --help or --version (printed on standard output), 2
// after an unknown option or argument (the usage on standard error).
// --window makes the display start in a window (w3d_StartWindowed).
int readCommandLine(int argc, char **argv);
// The folder or the files the command line names, in its order; empty for
// the built-in disk.
extern std::vector<const char *> diskArguments;
