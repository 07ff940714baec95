// The commands on their way to the player: a queue on the main task, sent
// one at a time over the ports without waiting, answers taken when they
// come. See music.h for the rules.
//
// Nothing here holds the frame loop: a connect that finds the player's
// queue of connections full fails at once (and is tried again), and an
// answer is waited for COMMAND_ANSWER_WAIT_MS at most.
#include <cerrno>
#include <cstdio>

#include "music/music.h"
#include "ports/ports.h"

namespace {

struct CommandQueue {
  int32_t values[PLAYER_COMMAND_SLOTS];
  int head = 0;
  int count = 0;
  MsgPort inFlight;          // the head command's connection once it is sent
  int64_t headSinceMs = -1;  // since when the head command waits
  int64_t lastAnswerMs = -1;
  bool overflowSaid = false;  // the drop of commands beyond the slots was said
};

CommandQueue queue;

void popHead(int64_t now) {
  closeReplyPort(&queue.inFlight);
  queue.head = (queue.head + 1) % PLAYER_COMMAND_SLOTS;
  queue.count--;
  queue.headSinceMs = queue.count > 0 ? now : -1;
}

// Sends what it can, in order; waitMs (at most once) for the head's answer.
void deliver(int64_t now, int waitMs) {
  while (queue.count > 0) {
    if (queue.inFlight.fd < 0) {
      MusicMessage message = musicMessage(queue.values[queue.head]);
      // No port yet (a player starting up) or a full queue of connections:
      // the command keeps its turn for the next frame.
      if (!SafePutToPort(&message, PLAYER_PORT, &queue.inFlight)) return;
    }
    MusicMessage answer;
    ReplyState reply = waitForReply(&queue.inFlight, &answer, waitMs);
    waitMs = 0;
    if (reply == REPLY_PENDING) return;
    if (reply == REPLY_REFUSED) {
      // Closed without an answer: the player withdrew its port, it is
      // leaving its song, and what is queued has become meaningless.
      dropPlayerCommands();
      return;
    }
    queue.lastAnswerMs = now;
    popHead(now);
  }
}

}  // namespace

void deliverPlayerCommands(int64_t now) { deliver(now, 0); }

void commandPlayer(int32_t value, int64_t now) {
  if (queue.count == PLAYER_COMMAND_SLOTS) {
    if (!queue.overflowSaid)
      fprintf(stderr, "musicdisk: the player takes no commands: %d are waiting, more are dropped\n",
              PLAYER_COMMAND_SLOTS);
    queue.overflowSaid = true;
    return;
  }
  queue.values[(queue.head + queue.count) % PLAYER_COMMAND_SLOTS] = value;
  if (queue.count++ == 0) queue.headSinceMs = now;
  // The usual case: a player that answers at once is answered within the
  // frame, as a synchronous send would be.
  deliver(now, COMMAND_ANSWER_WAIT_MS);
  // With no player of ours, there is nobody to wait for.
  if (!playerTakesCommands() && queue.count > 0 && queue.inFlight.fd < 0) dropPlayerCommands();
}

void dropPlayerCommands() {
  closeReplyPort(&queue.inFlight);
  queue.head = 0;
  queue.count = 0;
  queue.headSinceMs = -1;
  queue.overflowSaid = false;
}

int64_t playerCommandWaitingSince() { return queue.headSinceMs; }
int64_t playerLastAnswerMs() { return queue.lastAnswerMs; }
int32_t playerCommandsWaiting() { return queue.count; }
