// The desktop's media controls: the musicdisk as an MPRIS 2 player on the
// session bus ("org.mpris.MediaPlayer2.musicdisk", object
// /org/mpris/MediaPlayer2), served by a thread of its own through sd-bus.
//
// The bus thread never touches the screens: it hands the commands it gets
// to the frame loop (mprisTakeCommand) and shows what the frame loop last
// reported (mprisShow), announcing every change with PropertiesChanged.
// Neither call waits for the bus. What the commands do is the disk screen's
// business (screens/diskremote.cpp).
#pragma once

#include <cstdint>

constexpr char MPRIS_BUS_NAME[] = "org.mpris.MediaPlayer2.musicdisk";
// Commands waiting for the frame loop at most; more are dropped.
constexpr int MPRIS_COMMAND_SLOTS = 16;

enum MprisStatus { MPRIS_STOPPED, MPRIS_PLAYING, MPRIS_PAUSED };

enum MprisCommand {
  MPRIS_NONE,
  MPRIS_PLAY,
  MPRIS_PAUSE,
  MPRIS_PLAY_PAUSE,
  MPRIS_STOP,
  MPRIS_NEXT,
  MPRIS_PREVIOUS,
  MPRIS_QUIT,
  // MPRIS_VOLUME + thousandths (0 to 1000): set the volume.
  MPRIS_VOLUME = 0x10000,
};

// What the media controls show. The strings must live for the whole run.
struct MprisView {
  bool controllable;     // commands are taken: the disk screen runs
  int32_t status;        // MprisStatus
  int32_t track;         // song row, or -1 for none
  const char *title;     // of that song (null with no song)
  const char *artist;
  const char *album;     // the disk's name (null: none)
  const char *artUrl;    // a picture for the song (null: none)
};
// No song, no commands: before the disk screen and during the farewell.
constexpr MprisView MPRIS_NOTHING = {false, MPRIS_STOPPED, -1, nullptr, nullptr, nullptr, nullptr};
// A length question that found no answer is asked again this much later.
constexpr int MPRIS_LENGTH_RETRY_MS = 250;

// What the bus thread asks of the song shown; each may wait a little, none
// may be null.
struct MprisQuestions {
  // The length in milliseconds, -1 when unknown, or a value below -1 when
  // nobody answered: asked when the song changes, and again every
  // MPRIS_LENGTH_RETRY_MS while the song is shown and no answer has come.
  int32_t (*songLength)();
  // The position in milliseconds, -1 when unknown (shown as 0).
  int32_t (*songPosition)();
  // Whether the song can be moved in: asked with its length and when the
  // status changes.
  bool (*canSeek)();
  // Moves the song by ms (by) or to ms: the new position in milliseconds,
  // or -1 when it did not move.
  int32_t (*seek)(bool by, int64_t ms);
};

// Joins the session bus and starts serving. Without a session bus it makes
// sure nothing in the program starts one, says so in one line on standard
// error and returns false; the program runs on without media controls.
bool mprisStart(const MprisQuestions &questions);
// Leaves the bus and ends the thread (nothing when not started).
void mprisStop();
// The frame loop's report; the bus thread is woken only when it changed.
void mprisShow(const MprisView &view);
// The volume to show (thousandths); the bus thread is woken when it changed.
void mprisShowVolume(int32_t thousandths);
// The song was moved by a key: the bus learns the new position (Seeked).
void mprisSeeked();
// The oldest command waiting for the frame loop, or MPRIS_NONE. While the
// view is not controllable, commands are dropped when they arrive (Quit
// then ends the program as a close request does).
int mprisTakeCommand();
