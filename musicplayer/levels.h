// The level meter's measurements in the player: what the mixed output holds
// in five frequency bands, low to high, sent to the music handler's port as
// level reports (ports/protocol.h) while the song plays.
//
// Two sides. SDL2_mixer's post-mix hook, on the audio thread, runs the
// mixed output through a bank of filters and leaves each band's power in an
// atomic: it never waits, never allocates and never talks to anyone. A
// thread of its own reads the atomics, lets each band fall like a real
// meter's needle and sends a report when it changed, at most
// LEVEL_REPORTS_PER_SECOND times a second (and now and then regardless, so
// that a lost report costs the musicdisk only a moment).
//
// With MUSICDISK_NO_LEVELS set in the environment nothing here runs: the
// player then behaves as one that knows no level reports (benchmarks
// compare the two).
#pragma once

// At most this many reports a second: the display's rate.
constexpr int LEVEL_REPORTS_PER_SECOND = 60;
// How often the reporting thread looks at the measurements (ms): more often
// than it may report, so that a sound that starts is reported within this
// much of its measurement rather than within a whole report's interval.
constexpr int LEVEL_LOOK_MS = 4;
// A report is sent at least this often while the song plays, changed or not.
constexpr int LEVEL_REPORT_REFRESH_MS = 100;
// A band's level falls by this much a second once its sound is gone (dB).
constexpr float LEVEL_FALL_DB_PER_SECOND = 60.0f;
// The environment variable that turns the measurements off.
constexpr char NO_LEVELS_VARIABLE[] = "MUSICDISK_NO_LEVELS";

// Installs the post-mix hook and starts the reporting thread, after the
// audio is open. Does nothing under NO_LEVELS_VARIABLE; false after one line
// of text when the thread cannot start (the song plays on without levels).
bool startLevels();
// Whether the song sounds (playing, not paused or stopped): reports go out
// only while it does.
void levelsSounding(bool sounding);
// Stops the thread and removes the hook, before the audio is closed. Safe to
// call when nothing was started.
void stopLevels();
