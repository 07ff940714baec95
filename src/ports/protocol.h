// The protocol between the musicdisk and its player: the two port names, the
// 24-byte message, the commands and events it carries, and the one way a
// message is sent and answered. The player program needs this header and the
// ports library, nothing else of the musicdisk; docs/protocol.md says the
// same for anyone who writes a player of their own.
#pragma once

#include <cstddef>
#include <cstdint>

#include "ports/ports.h"

// The public ports: the running player's, and the music handler's.
constexpr char PLAYER_PORT[] = "musicplayerport";
constexpr char HANDLER_PORT[] = "demoport";

// Player commands (to PLAYER_PORT).
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
// Where the song is, moving in it, and its loudness. Each is built so that
// a player that does not know it (it echoes the value unchanged) reads as
// "cannot": the answers lie in ranges that no echo falls in.
// A question: the reply is the song's position in milliseconds (0 or more);
// the echo (-2) means the player cannot tell.
constexpr int32_t PLAYER_POSITION = -2;
// A question: 1 when the song can be moved in (PLAYER_SEEK_TO, _BY); any
// other reply (the echo 8 among them) means it cannot.
constexpr int32_t PLAYER_CAN_SEEK = 8;
// Commands that carry a number in their low 28 bits (PLAYER_PAYLOAD).
constexpr int32_t PLAYER_PAYLOAD = 0x0FFFFFFF;
// Move to PLAYER_SEEK_TO + milliseconds from the song's start, or by
// PLAYER_SEEK_BY + PLAYER_SEEK_BIAS + milliseconds (negative: back). A move
// before the start goes to the start; one to or past the end ends the song
// as its natural end does. The reply is the new position in milliseconds
// (below PLAYER_SEEK_TO); the echo means the song cannot be moved in now.
constexpr int32_t PLAYER_SEEK_TO = 0x10000000;
constexpr int32_t PLAYER_SEEK_BY = 0x20000000;
constexpr int32_t PLAYER_SEEK_BIAS = 0x08000000;
// PLAYER_VOLUME + thousandths (0 to VOLUME_FULL): the music's loudness
// from now on. The reply is the thousandths applied; the echo means the
// player has no volume.
constexpr int32_t PLAYER_VOLUME = 0x30000000;
constexpr int32_t VOLUME_FULL = 1000;
// A new player finds the volume to start at here (thousandths); without
// it, it plays at full volume.
constexpr char MUSICDISK_VOLUME_VARIABLE[] = "MUSICDISK_VOLUME";

// Events (to HANDLER_PORT), and the musicdisk's own stop request there.
constexpr int32_t EVENT_PLAYING = 0;
constexpr int32_t EVENT_LOADING = 1;
constexpr int32_t EVENT_SONG_ENDED = 2;
constexpr int32_t HANDLER_QUIT = -1;

// Level reports (to HANDLER_PORT): every event value with LEVEL_REPORT set
// (0x40000000..0x7FFFFFFF) carries the player's output in LEVEL_BANDS
// frequency bands, low to high, LEVEL_BITS each from the lowest bit up. A
// band's step is 0 at LEVEL_FLOOR_DB (of full scale) or quieter and
// LEVEL_STEPS - 1 at full scale, evenly in dB between. Sent only while a
// song sounds, at most at the display's rate; one lost is harmless.
constexpr int32_t LEVEL_REPORT = 0x40000000;
constexpr int LEVEL_BANDS = 5;
constexpr int LEVEL_BITS = 6;
constexpr int LEVEL_STEPS = 1 << LEVEL_BITS;
constexpr float LEVEL_FLOOR_DB = -48.0f;
static_assert(LEVEL_BANDS * LEVEL_BITS <= 30, "the bands fit below the report's bit");

// The frame bound (milliseconds): nothing to do with the player (a key, a
// button, a song change, a media-controls call, a full queue) holds the
// musicdisk's frame loop longer than this. It is not a verdict on the
// player: one that answers later is slow, not hung (the hang verdict is the
// player watch's, music/music.h).
constexpr int FRAME_BOUND_MS = 25;
// How long syncmusic waits for a reply: the frame bound. A live player or
// handler answers in well under a millisecond.
constexpr int SYNCMUSIC_REPLY_TIMEOUT_MS = FRAME_BOUND_MS;

// A player started by the musicdisk finds the musicdisk's process id in
// this environment variable: a player whose parent is another process has
// been orphaned (its musicdisk ended before the player could ask to die
// with it) and ends at once.
constexpr char MUSICDISK_PID_VARIABLE[] = "MUSICDISK_PID";
// Players of one musicdisk share its standard error: the first that finds
// no audio device says so and leaves this note in the port directory (the
// musicdisk's process id), so that the next ones keep quiet.
constexpr char NO_AUDIO_NOTE[] = "no-audio-said";

// The 24-byte message, laid out as on the wire (native byte order).
struct MusicMessage {
  uint32_t succ;         // 0
  uint32_t pred;         // 0
  uint8_t type;          // NT_MESSAGE
  int8_t pri;            // 0
  uint8_t name[4];       // 0 (unaligned pointer field of the original)
  uint8_t replyPort[4];  // 0 on the wire
  uint16_t length;       // 24
  int32_t value;         // command, event or result
};
// The ports check the Exec header at these places.
static_assert(sizeof(MusicMessage) == PORT_MESSAGE_SIZE, "a MusicMessage is 24 bytes");
static_assert(offsetof(MusicMessage, type) == MESSAGE_TYPE_OFFSET, "the node type is at byte 8");
static_assert(offsetof(MusicMessage, length) == MESSAGE_LENGTH_OFFSET, "the length is at byte 18");

// A zeroed message carrying value, with its Exec header filled in.
MusicMessage musicMessage(int32_t value);

// Puts message on the public port portName; its reply will arrive on
// replyPort. True when the port existed and the message was put: finding the
// port and putting to it are one step (one connect), so a port that goes away
// meanwhile simply refuses.
bool SafePutToPort(MusicMessage *message, const char *portName, MsgPort *replyPort);

enum SendResult {
  SEND_REPLIED,     // the reply's value is in *reply
  SEND_NO_PORT,     // nobody owns the port, or its queue is full: nothing was sent
  SEND_UNANSWERED,  // sent, but no reply came within SYNCMUSIC_REPLY_TIMEOUT_MS
};
// Sends value to portName and waits (bounded) for the reply.
SendResult sendMusicMessage(const char *portName, int32_t value, int32_t *reply);
// Sends value to portName and returns the value of the reply; -1 when there
// is no such port or no reply came within SYNCMUSIC_REPLY_TIMEOUT_MS.
int32_t syncmusic(const char *portName, int32_t value);
