// Sending a MusicMessage to a public port and waiting for its reply: the one
// way the musicdisk (and the player) talks to a port.
#include <cstring>

#include "music/music.h"
#include "platform/ports.h"

namespace {

constexpr uint8_t NT_MESSAGE = 5;

}  // namespace

bool SafePutToPort(MusicMessage *message, const char *portName, MsgPort *replyPort) {
  // The reply-port field is the sender's own address space: on the wire it is
  // 0, the connection itself carries the reply.
  memset(message->replyPort, 0, sizeof message->replyPort);
  return putToPublicPort(portName, message, replyPort);
}

int32_t syncmusic(const char *portName, int32_t value) {
  MsgPort replyPort;
  MusicMessage message;
  memset(&message, 0, sizeof message);
  message.type = NT_MESSAGE;
  message.length = sizeof(MusicMessage);
  message.value = value;

  int32_t result = -1;
  if (SafePutToPort(&message, portName, &replyPort)) {
    // Bounded: a player that hangs must not freeze the program.
    MusicMessage reply;
    if (waitForReply(&replyPort, &reply, SYNCMUSIC_REPLY_TIMEOUT_MS)) result = reply.value;
  }
  closeReplyPort(&replyPort);
  return result;
}

int32_t playerSongLength() {
  int32_t length = syncmusic("musicplayerport", PLAYER_LENGTH);
  return length == PLAYER_LENGTH || length <= 0 ? -1 : length;
}
