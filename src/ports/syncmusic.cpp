// Sending a MusicMessage to a public port and waiting for its reply: the one
// way the musicdisk (and the player) talks to a port.
#include <cstring>

#include "ports/protocol.h"
#include "ports/ports.h"

bool SafePutToPort(MusicMessage *message, const char *portName, MsgPort *replyPort) {
  // The reply-port field is the sender's own address space: on the wire it is
  // 0, the connection itself carries the reply.
  memset(message->replyPort, 0, sizeof message->replyPort);
  return putToPublicPort(portName, message, replyPort);
}

MusicMessage musicMessage(int32_t value) {
  MusicMessage message;
  memset(&message, 0, sizeof message);
  message.type = NT_MESSAGE;
  message.length = sizeof(MusicMessage);
  message.value = value;
  return message;
}

SendResult sendMusicMessage(const char *portName, int32_t value, int32_t *reply) {
  MsgPort replyPort;
  MusicMessage message = musicMessage(value);

  SendResult result = SEND_NO_PORT;
  if (SafePutToPort(&message, portName, &replyPort)) {
    // Bounded: a receiver that hangs must not hold the sender.
    MusicMessage answer;
    result = SEND_UNANSWERED;
    if (waitForReply(&replyPort, &answer, SYNCMUSIC_REPLY_TIMEOUT_MS) == REPLY_ARRIVED) {
      *reply = answer.value;
      result = SEND_REPLIED;
    }
  }
  closeReplyPort(&replyPort);
  return result;
}

int32_t syncmusic(const char *portName, int32_t value) {
  int32_t reply = -1;
  return sendMusicMessage(portName, value, &reply) == SEND_REPLIED ? reply : -1;
}
