// The song counter: currentSong, the one number that says which song is on
// (its row is songRow(currentSong)). Anyone may read it; every change goes
// through the operations below, each one atomic read-modify-write, because
// the main task and the music handler both change it without a lock.
#pragma once

#include <atomic>
#include <cstdint>

extern std::atomic<int32_t> currentSong;  // starts at 15, which selects row 0

// A player's song is over, however it ended: one song on, and a player is
// due. The counter first, so that whoever sees changeSong sees the new song.
void songEnded();
// The end of the current player's song is counted once. The player reports
// it (EVENT_SONG_ENDED, taken by the music handler); when the report has
// not come in time after the player ended, the player watch counts the end
// itself, and a report that comes later still (a starved handler) is that
// same end: it is swallowed rather than skipping a song.
//
// A new player starts: its end is still to come.
void songEndExpected();
// The handler took EVENT_SONG_ENDED. Counts the end unless the watch already
// has; a second report of the same player counts again (two ends before a
// player starts are two songs on).
void songEndReported();
// The watch gives up waiting for the report: counts the end unless the
// report came first. True when it counted it.
bool songEndUnreported();
// Whether the current player's end was reported.
bool songEndWasReported();
// "Previous": the counter steps back by two, because the player's "song
// ended" that follows adds one back; the net step is one song back.
void songStepBackForPrevious();
// A song picked by the user after every song has failed: step songs from
// the counter (0 the song shown, 1 the one after it, -1 the one before).
void songPicked(int32_t step);
// Before the song list is drawn: the list looks two rows back, so a counter
// below 2 gets a lap added (the row stays the same).
void songKeepListRoom();
// The disk to play was chosen (before anything runs): the counter at its
// first song, a lap on as the built-in disk's 15 is, and at least 2, so
// that the song list has room to look back.
void songCounterToFirstSong();
// Before a player starts: a counter below 0 gets laps added (the row stays
// the same), so the row is taken from a non-negative counter.
void songWrapToRow();
