// Music control: the song tables, the song-state globals shared by the main
// task and the music handler, the message that carries commands and events,
// the send functions and the player's command line.
#pragma once

#include <atomic>
#include <cstdint>

constexpr int32_t numberOfSongs = 15;

extern const char *const songnames[numberOfSongs];   // "music/..." paths for the player
extern const char *const songnames2[numberOfSongs];  // "N. Artist - Title"
extern const char *const songposition[numberOfSongs];  // " 2nd (7)" ...
extern const char *const songartists[numberOfSongs];  // the entrants' handles, row by row
extern const char introtheme[];  // "music/Zeb-The_Creator.mp3"

// Song state, shared with the music handler without a lock.
extern std::atomic<int32_t> currentSong;  // row = currentSong % numberOfSongs; starts at 15
extern std::atomic<int16_t> loadingSong;  // 1 while a song change is under way
extern std::atomic<int16_t> changeSong;   // 1 when a player must be started

// Player commands (to "musicplayerport").
constexpr int32_t PLAYER_PLAY = 0;
constexpr int32_t PLAYER_QUIT = 2;
constexpr int32_t PLAYER_PAUSE = 3;
constexpr int32_t PLAYER_NEXT = 4;
constexpr int32_t PLAYER_PREVIOUS = 5;
constexpr int32_t PLAYER_STOP = 6;
// A question, not a command: the player replies with its song's length in
// milliseconds, or -1 when it does not know it. A player that does not know
// the question replies with 7 unchanged, which means "unknown" as well.
constexpr int32_t PLAYER_LENGTH = 7;
// Events (to "demoport").
constexpr int32_t EVENT_PLAYING = 0;
constexpr int32_t EVENT_LOADING = 1;
constexpr int32_t EVENT_SONG_ENDED = 2;
constexpr int32_t HANDLER_QUIT = -1;

// How long syncmusic waits for a reply before it gives up (milliseconds).
constexpr int SYNCMUSIC_REPLY_TIMEOUT_MS = 2000;

struct MsgPort;  // the sender's private reply port (platform/ports.h)

// The 24-byte message, laid out as on the wire (native byte order).
struct MusicMessage {
  uint32_t succ;         // 0
  uint32_t pred;         // 0
  uint8_t type;          // 5 (NT_MESSAGE)
  int8_t pri;            // 0
  uint8_t name[4];       // 0 (unaligned pointer field of the original)
  uint8_t replyPort[4];  // 0 on the wire
  uint16_t length;       // 24
  int32_t value;         // command, event or result
};
static_assert(sizeof(MusicMessage) == 24, "a MusicMessage is 24 bytes");

// Puts message on the public port portName; its reply will arrive on
// replyPort. True when the port existed and the message was put: finding the
// port and putting to it are one step (one connect), so a port that goes away
// meanwhile simply refuses.
bool SafePutToPort(MusicMessage *message, const char *portName, MsgPort *replyPort);
// Sends value to portName and returns the value of the reply; -1 when there
// is no such port or no reply came within SYNCMUSIC_REPLY_TIMEOUT_MS.
int32_t syncmusic(const char *portName, int32_t value);

// The player program and the room for its command line.
constexpr char PLAYER_PROGRAM[] = "musicplayer/sdlmusicplayer";
constexpr int PLAYER_COMMAND_SIZE = 1024;
// Starts the player for the row currentSong % numberOfSongs in the
// background; the last row gets the extra argument "1".
void startSongPlayer();
// Starts a player in the background for path; lastSong adds the "1"
// argument. Returns the player's process id, or -1 after one line of text.
int startPlayer(const char *path, bool lastSong);

// The music handler task (see platform/task.h for creating and deleting it).
struct MusicTask;
extern MusicTask *subtask;
extern char subtaskname[];              // "musichandler_subtask"
extern std::atomic<int32_t> musicdisk;  // the handler acts on events only while set
void musichandler(MusicTask *task);     // the task's entry

// Asks the running player for its song's length: milliseconds, or -1 when
// unknown or no player answers. Waits for the reply: never from a frame loop.
int32_t playerSongLength();
