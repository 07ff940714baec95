// Termination requests from outside: SIGINT (Ctrl+C), SIGTERM and SIGHUP
// only set a flag; the program sees it and ends the orderly way (player told
// to quit, staged files and sockets removed, display closed).
#pragma once

// Installs the handlers (once, at start). SDL must not install its own:
// the display sets SDL_HINT_NO_SIGNAL_HANDLERS.
void installTerminationHandlers();
// True once a termination signal has arrived.
bool terminationRequested();
// Sets the flag as a signal would (the window's close request does too).
void requestTermination();
