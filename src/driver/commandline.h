// The program's command line: --help, --version, --window; anything else is
// refused with the usage.
#pragma once

// Reads the options. Returns -1 when the program is to run, otherwise the
// exit value: 0 after --help or --version (printed on standard output), 2
// after an unknown option or argument (the usage on standard error).
// --window makes the display start in a window (w3d_StartWindowed).
int readCommandLine(int argc, char **argv);
