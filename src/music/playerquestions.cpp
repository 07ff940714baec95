// What the desktop's bus thread asks of the player that plays: the song's
// length and position, whether it can be moved in, and the moves. They are
// messages over the port and nothing more: no state of the main task is read
// or written here. An old player echoes what it does not know; every answer
// is read so that an echo means "unknown" or "cannot".
#include "music/music.h"

int32_t playerSongLength() {
  int32_t length = -1;
  if (sendMusicMessage(PLAYER_PORT, PLAYER_LENGTH, &length) != SEND_REPLIED) return PLAYER_LENGTH_UNANSWERED;
  // A player that does not know the question echoes it: unknown.
  return length == PLAYER_LENGTH || length <= 0 ? -1 : length;
}

int32_t playerSongPosition() {
  int32_t position = -1;
  if (sendMusicMessage(PLAYER_PORT, PLAYER_POSITION, &position) != SEND_REPLIED) return -1;
  return position;  // the echo is PLAYER_POSITION, below 0: unknown
}

bool playerCanSeek() {
  int32_t answer = 0;
  return sendMusicMessage(PLAYER_PORT, PLAYER_CAN_SEEK, &answer) == SEND_REPLIED && answer == 1;
}

int32_t playerSeek(bool by, int64_t ms) {
  int64_t payload = by ? ms + PLAYER_SEEK_BIAS : ms;
  if (payload < 0) payload = 0;
  if (payload > PLAYER_PAYLOAD) payload = PLAYER_PAYLOAD;
  int32_t command = (by ? PLAYER_SEEK_BY : PLAYER_SEEK_TO) + static_cast<int32_t>(payload), answer = command;
  if (sendMusicMessage(PLAYER_PORT, command, &answer) != SEND_REPLIED) return -1;
  return answer >= 0 && answer < PLAYER_SEEK_TO ? answer : -1;  // the echo: not moved
}
