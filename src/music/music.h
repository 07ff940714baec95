// Music control: the song tables, the song-state globals shared by the main
// task and the music handler, and the player's command line. The message,
// its values and the send functions are the protocol (ports/protocol.h).
#pragma once

#include <atomic>
#include <cstdint>

#include "music/songcounter.h"
#include "ports/protocol.h"

// The built-in disk: fifteen competition entries.
constexpr int32_t BUILTIN_SONGS = 15;
extern const char *const songnames[BUILTIN_SONGS];   // "music/..." paths for the player
extern const char *const songnames2[BUILTIN_SONGS];  // "N. Artist - Title"
extern const char *const songposition[BUILTIN_SONGS];  // " 2nd (7)" ...
extern const char *const songartists[BUILTIN_SONGS];  // the entrants' handles, row by row
extern const char introtheme[];  // "music/Zeb-The_Creator.mp3"

// The disk that plays: the built-in one, or the user's own (useOwnDisk).
// Everything that shows or plays a song asks here, by row (0 to
// numberOfSongs - 1); an own disk's song reads its tags on its first ask.
extern int32_t numberOfSongs;  // BUILTIN_SONGS, or the own disk's count
const char *songPath(int32_t row);     // the file given to the player
const char *songLine(int32_t row);     // "N. Artist - Title" for the song list
const char *songEntrant(int32_t row);  // the artist for the intro (the title when none)
const char *songPlacing(int32_t row);  // " 2nd (7)"; empty when the disk gives none
const char *songTitleText(int32_t row);   // UTF-8 for the desktop: the title
const char *songArtistText(int32_t row);  // ...and the artist (empty when none)
// The disk's name for the desktop (UTF-8), or null when an own disk gives none.
constexpr char BUILTIN_DISK_NAME[] = "Velmo - the Orbel musicdisk";
const char *diskNameText();

// Song state, shared with the music handler without a lock (the counter,
// currentSong, and its changes: music/songcounter.h).
extern std::atomic<int16_t> loadingSong;  // 1 while a song change is under way
extern std::atomic<int16_t> changeSong;   // 1 when a player must be started
// The table row of a song counter. Rows wrap both ways: the song list may
// look one row before row 0, and the counter may pass below 0.
int32_t songRow(int32_t counter);

// The player program and the room for its command line.
constexpr char PLAYER_PROGRAM[] = "musicplayer/sdlmusicplayer";
constexpr int PLAYER_COMMAND_SIZE = 1024;
// Starts the player for the row currentSong % numberOfSongs in the
// background; the last row gets the extra argument "1". now: monotonic ms.
void startSongPlayer(int64_t now);
// Starts a player in the background for path; lastSong adds the "1"
// argument. Returns the player's process id, or -1 after one line of text.
int startPlayer(const char *path, bool lastSong, int64_t now);

// The player process of the moment (the theme's or a song's): our own child,
// one at a time, watched so that one that hangs, dies or cannot play never
// strands the disk screen, and one that is merely slow is never taken for
// hung. Every function here runs on the main task and takes the time it
// acts at (now, monotonic milliseconds) from its caller.
//
// Two bounds. Nothing here holds the frame loop longer than FRAME_BOUND_MS
// (ports/protocol.h): commands are queued and delivered without waiting.
// The hang verdict is another matter: a player that has played is ended as
// hung only when a command has waited PLAYER_HANG_VERDICT_MS for its answer
// with no sign of life from the player meanwhile (no answer to any command,
// no event). A reply that comes late is an answer. One still starting up
// gets PLAYER_START_LIMIT_MS to report that it plays. A song player that
// ends without its report of the song's end reaching the handler (crash,
// kill) counts as having reported it. A song player that never played,
// exited non-zero or had to be killed has failed; after numberOfSongs
// failures in a row no player is started until the user picks a song.
constexpr int PLAYER_HANG_VERDICT_MS = 2000;
constexpr int PLAYER_START_LIMIT_MS = 5000;
// A player asked to end (SIGTERM) that is still there after this is killed.
constexpr int PLAYER_END_GRACE_MS = 200;
// A player that ended may have reported its end just before: the handler
// gets this long to take the report before the end counts as unreported.
constexpr int PLAYER_REPORT_GRACE_MS = 100;

extern std::atomic<int16_t> playerPlayed;  // the current player reported EVENT_PLAYING
extern std::atomic<int32_t> playerEvents;  // events taken by the handler: signs of life
extern int32_t failedInARow;               // song players that failed one after another
extern bool lastSongFailed;                // the latest song player failed
extern int32_t playersEndedAsHung;         // players killed by the hang verdict, this run

// Notes pid (from startPlayer) as the current player; isSong for a song's.
void watchNewPlayer(int pid, const char *path, bool isSong, int64_t now);
// Tells the player to quit (waiting at most the frame bound for its
// answer); one that cannot hear it is asked to end (SIGTERM) instead.
void quitPlayer(int64_t now);
// Once a frame: delivers queued commands and takes their replies, reaps the
// current player when it has ended and acts on how it ended, passes the
// hang verdict, ends a song player that took too long to start.
void watchPlayer(int64_t now);
// Two player starts are at least this far apart, so that songs that fail at
// once never start a storm of players.
constexpr int PLAYER_START_SPACING_MS = 1000;
// True once no player of ours runs and the latest start was at least
// PLAYER_START_SPACING_MS ago. A player still there is asked to end, and
// killed after PLAYER_END_GRACE_MS. Never waits.
bool nextPlayerMayStart(int64_t now);
// True when every song has failed in a row: the disk stops trying.
bool songsHalted();
// The user picked a song: failures are forgiven, the disk tries again.
void resumeSongs();

// The commands on their way to the player (music/playercommands.cpp).
//
// A command is queued and sent at once when the player can take it; its
// answer is waited for at most COMMAND_ANSWER_WAIT_MS within the frame and
// otherwise taken in a later frame. Commands go one at a time, in order.
// One that cannot be delivered now (the player is starting up and has no
// port yet, its queue of connections is full, an earlier command is still
// unanswered) waits for its turn. Commands are dropped only when they have
// become meaningless: the player they were queued for has left its song
// (it ended, or withdrew its port), or another player is started. With no
// player of ours a command goes to whoever owns the port, or is dropped
// when there is none.
constexpr int COMMAND_ANSWER_WAIT_MS = 10;
// Commands waiting at most; more are dropped (and said once).
constexpr int PLAYER_COMMAND_SLOTS = 1024;
// Queues a command for the player and delivers what it can. Never waits
// longer than COMMAND_ANSWER_WAIT_MS.
void commandPlayer(int32_t value, int64_t now);
// Delivers what it can and takes the answers that have come.
void deliverPlayerCommands(int64_t now);
// The commands queued for a player that has left: dropped.
void dropPlayerCommands();
// Whether a player of ours runs and has not left its song: commands wait
// for it (playerwatch.cpp).
bool playerTakesCommands();
// Since when the oldest command has waited for its answer, or -1 when none
// waits; and when the player last answered one.
int64_t playerCommandWaitingSince();
int64_t playerLastAnswerMs();
// Commands queued and not yet answered (0 once all are through).
int32_t playerCommandsWaiting();

// The music handler task (see platform/task.h for creating and deleting it).
struct MusicTask;
extern MusicTask *subtask;
extern char subtaskname[];              // "musichandler_subtask"
extern std::atomic<int32_t> musicdisk;  // the handler acts on events only while set
// Stops and deletes the music handler task, if there is one: the release
// the program registers with W3DAtCleanup.
void endMusicHandler();
void musichandler(MusicTask *task);     // the task's entry

// Asks the running player for its song's length: milliseconds, -1 when the
// player does not know it, PLAYER_LENGTH_UNANSWERED when no player answered
// within the frame bound (ask again later).
constexpr int32_t PLAYER_LENGTH_UNANSWERED = -2;
int32_t playerSongLength();
// The song's position in milliseconds; -1 when unknown or unanswered.
int32_t playerSongPosition();
// Whether the song can be moved in now (an old player: no).
bool playerCanSeek();
// Moves the song by ms (by) or to ms from its start: the new position in
// milliseconds (the song's length for a move past its end, which ends it),
// or -1 when it did not move.
int32_t playerSeek(bool by, int64_t ms);
