// The player's audio side on SDL2_mixer: opening the device (or, with none,
// SDL's dummy driver, which keeps real time in silence), loading one song,
// play / pause / stop / restart, and telling when the song has ended.
//
// A song ends when SDL2_mixer reports its natural end, or, for a tracker
// module, when its length (and a little more) has been played and a short
// fade has run out: a module that jumps back to its start never ends by
// itself. Played time counts only while the song plays,
// not while it is paused or stopped. A song played as the last of the disk
// fades out over its final LAST_SONG_FADE_MS.
//
// The protocol (ports, commands, events) is not this file's business.
#pragma once

#include <SDL_mixer.h>

#include <cstddef>
#include <cstdint>

// The last song of the disk fades out over this long before its end (ms).
constexpr int LAST_SONG_FADE_MS = 3000;
// SDL2_mixer knows a module's length in whole seconds, rounded: a module
// may go on for this much longer and still end by itself (ms).
constexpr int MODULE_LENGTH_SLACK_MS = 500;
// A module still playing after its length and the slack has jumped back to
// its start: it is faded out over this long and counts as ended (ms).
constexpr int MODULE_END_FADE_MS = 500;
// A module whose length SDL2_mixer cannot tell is ended after this (ms).
constexpr int64_t UNKNOWN_MODULE_LENGTH_MS = 10 * 60 * 1000;
// Output: CD rate, 16-bit stereo, 2048 frames (46 ms) per buffer.
constexpr int AUDIO_RATE = 44100;
constexpr int AUDIO_CHANNELS = 2;
constexpr int AUDIO_BUFFER_FRAMES = 2048;

enum PlaybackState { PLAYBACK_PLAYING, PLAYBACK_PAUSED, PLAYBACK_STOPPED, PLAYBACK_ENDED };

struct Playback {
  Mix_Music *music = nullptr;
  bool isModule = false;      // a tracker module: its length bounds play time
  bool lastSong = false;      // fades out over its final LAST_SONG_FADE_MS
  int64_t lengthMs = -1;      // the song's length, -1 when unknown
  PlaybackState state = PLAYBACK_STOPPED;
  int64_t playedMs = 0;       // time played in the stretches before the current one
  int64_t stretchStartMs = 0; // monotonic time the current playing stretch began
  bool fading = false;        // a fade-out to the end is under way
  bool seekable = false;      // SDL2_mixer can move within the song's format
};

// The player's own lines (one per problem) go to standard error; the notes
// that decoder libraries write there themselves are dropped, so that a
// damaged song is one line for the user, not a screenful.
void quietenDecoders();
void playerSays(const char *format, ...) __attribute__((format(printf, 1, 2)));

// Opens the audio output. Without a usable device it falls back to the
// dummy driver, and says so on standard error when mayTell() agrees (null:
// always). False only when not even that works. wakeFd (-1: none) becomes
// readable when the song ends.
bool openAudio(int wakeFd, bool (*mayTell)());
void closeAudio();

// Loads path. False with the reason in why (one line, no line end).
bool loadSong(Playback *playback, const char *path, bool lastSong, char *why, size_t whySize);
void freeSong(Playback *playback);

// Starts the song from its beginning (also after a stop or an end).
bool playFromStart(Playback *playback);
// Pauses a playing song, resumes a paused one; a stopped song stays stopped.
void pauseOrResume(Playback *playback);
// Stops; not an end of the song.
void stopSong(Playback *playback);

// Advances the song's clock: starts the end fades when due, notices the
// natural end. True once the song has ended.
bool songHasEnded(Playback *playback);
// Milliseconds until songHasEnded has something to do (at most limitMs).
int msUntilNextCheck(const Playback *playback, int limitMs);
// Played time so far, paused and stopped time excluded (ms).
int64_t playedTimeMs(const Playback *playback);

// Where the song is (ms): SDL2_mixer's decoder position where it can tell
// (MP3, OGG, FLAC, WAV), the played time otherwise (modules: the played
// time follows every move, so it stays the position); 0 when stopped.
int64_t songPositionMs(const Playback *playback);
// Whether the song can be moved in now: its format allows it (not MIDI),
// it plays or is paused, and no fade to its end is under way.
bool songCanSeek(const Playback *playback);
enum SeekResult { SEEK_MOVED, SEEK_PAST_END, SEEK_REFUSED };
// Moves to toMs (before the start: the start). To or past the song's end
// nothing moves: the caller ends the song as its natural end.
SeekResult seekSong(Playback *playback, int64_t toMs);
// The music's loudness from now on, in thousandths (clamped to 0..1000);
// returns the thousandths applied.
int setSongVolume(int thousandths);
