// A benchmark's figure taken in a fresh process of the benchmark itself:
// start-up costs must not be paid once and then found warm.
#pragma once

// Runs /proc/self/exe with argv (null-terminated, argv[0] its name), its
// errors to /dev/null, waits for it and reads the number it prints on
// standard output into *printed. False when it could not run or printed
// nothing.
bool freshProcessFigure(const char *const argv[], double *printed);
// The fresh process's side: the program's start-up from its first step to
// the first intro frame shown; prints the milliseconds since startMs (from
// CLOCK_MONOTONIC) and closes everything. Its exit value.
int startupToFirstIntroFrame(double startMs);
// CLOCK_MONOTONIC in milliseconds.
double monotonicMs();
