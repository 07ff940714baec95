// The length of the song playing, asked of its player. The desktop's bus
// thread asks it, so it is a question over the port and nothing more: no
// state of the main task is read or written here.
#include "music/music.h"

int32_t playerSongLength() {
  int32_t length = -1;
  if (sendMusicMessage(PLAYER_PORT, PLAYER_LENGTH, &length) != SEND_REPLIED) return PLAYER_LENGTH_UNANSWERED;
  // A player that does not know the question echoes it: unknown.
  return length == PLAYER_LENGTH || length <= 0 ? -1 : length;
}
