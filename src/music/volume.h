// The music's volume: one number for the whole run, in thousandths of full
// volume, stepped by the keys and set by the desktop's media controls, sent
// to the player of the moment and given to every new one, and kept across
// runs in a small file: $XDG_STATE_HOME/musicdisk/volume (without an
// absolute XDG_STATE_HOME, ~/.local/state/musicdisk/volume), holding the
// volume as a fraction ("0.50"). A missing file is full volume; a damaged
// one, or one that cannot be written, costs one line on standard error.
#pragma once

#include <atomic>
#include <cstdint>

#include "ports/protocol.h"

// The volume (0 to VOLUME_FULL). The main task changes it; the bus thread
// reads it.
extern std::atomic<int32_t> musicVolume;
// One step of the keys.
constexpr int32_t VOLUME_STEP = 50;
// How long the screen shows a changed volume (ms).
constexpr int VOLUME_SHOWN_MS = 1500;

// Takes the volume kept by the last run; before any player starts.
void loadVolume();
// Sets the volume (clamped to 0..VOLUME_FULL), tells the player (a queued
// command: nothing waits) and keeps it in the file. now: monotonic ms.
void setVolume(int32_t thousandths, int64_t now);
// When the volume last changed (monotonic ms); -1 when it has not this run.
int64_t volumeChangedAtMs();
// The file the volume is kept in; false when there is no home to put it in.
bool volumePath(char *out, size_t outSize);
