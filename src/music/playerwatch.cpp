// Watching the player process of the moment: noticing its end, how it ended
// and what the disk screen makes of it; ending it when it hangs or must make
// room for the next one. See music.h for the rules.
//
// Everything here runs on the main task; only playerPlayed and
// playerReportedEnd are written by the music handler.
#include <signal.h>
#include <sys/wait.h>
#include <time.h>

#include <cstdio>
#include <cstdlib>

#include "music/music.h"
#include "platform/clock.h"
#include "platform/spawn.h"

std::atomic<int16_t> playerPlayed{0};
std::atomic<int16_t> playerReportedEnd{0};
int32_t failedInARow = 0;
bool lastSongFailed = false;

namespace {

struct WatchedPlayer {
  bool active = false;          // a player is watched (until its end is judged)
  int pid = -1;                 // -1: it could not be started
  const char *path = "";        // its song file, for what we say about it
  bool isSong = false;          // false for the intro theme's player
  int64_t startedMs = 0;        // monotonic time of its start
  int64_t termSentMs = -1;      // when it was asked to end, -1: not yet
  bool killed = false;          // we killed it (hung, or too slow to end)
  const char *why = nullptr;    // why we killed it
  bool ended = false;           // reaped; the verdict waits for the report grace
  int status = 0;               // its wait status once reaped
  int64_t endedMs = 0;          // when it was reaped
};

WatchedPlayer player;
int64_t lastStartMs = -PLAYER_START_SPACING_MS;  // monotonic time of the latest start

void killPlayer(const char *why) {
  if (!player.active || player.pid < 0 || player.ended || player.killed) return;
  signalBackgroundChild(player.pid, SIGKILL);
  player.killed = true;
  player.why = why;
}

// One line for an end the player could not explain itself: it died by a
// signal, was killed, or ended without playing and without a word.
void sayWhatWentWrong(int status) {
  if (player.killed)
    fprintf(stderr, "musicdisk: the player of %s %s: ended it\n", player.path, player.why);
  else if (WIFSIGNALED(status))
    fprintf(stderr, "musicdisk: the player of %s died (signal %d)\n", player.path, WTERMSIG(status));
  else if (!playerPlayed.load() && WIFEXITED(status) && WEXITSTATUS(status) == 0)
    fprintf(stderr, "musicdisk: the player of %s ended without playing\n", player.path);
}

// The ended song player's verdict, once its report has had time to arrive.
void judgeEndedSong() {
  const int status = player.status;
  const bool reported = playerReportedEnd.load();
  // A player killed after it had reported its song's end (one slow to exit)
  // has not failed the song; one that exits non-zero has said why itself.
  bool failed = (player.killed && !reported) || !playerPlayed.load() ||
                (WIFEXITED(status) && WEXITSTATUS(status) != 0);
  if (!reported) sayWhatWentWrong(status);
  if (!reported) {
    songEnded();  // as if it had reported the end
  }
  lastSongFailed = failed;
  failedInARow = failed ? failedInARow + 1 : 0;
}

// At exit: a player that could not hear its QUIT (stopped, hung) would
// outlive us, since a stopped process never acts on its parent-death signal.
void killUnhearingPlayer() {
  if (player.active && !player.ended && player.termSentMs >= 0) killPlayer("did not end when asked");
}

}  // namespace

void watchNewPlayer(int pid, const char *path, bool isSong) {
  static bool killAtExitRegistered = false;
  if (!killAtExitRegistered) killAtExitRegistered = atexit(killUnhearingPlayer) == 0;
  player = WatchedPlayer{};
  player.active = true;
  player.pid = pid;
  player.path = path;
  player.isSong = isSong;
  player.startedMs = monotonicMs();
  lastStartMs = player.startedMs;
  playerPlayed.store(0);
  playerReportedEnd.store(0);
  if (isSong) lastSongFailed = false;
  if (pid < 0) {
    // Could not even be started: as a player that ended at once.
    player.ended = true;
    player.status = 1 << 8;  // exited with 1
    player.endedMs = player.startedMs;
  }
}

int32_t commandPlayer(int32_t value) {
  int32_t reply = -1;
  SendResult sent = sendMusicMessage(PLAYER_PORT, value, &reply);
  if (sent == SEND_REPLIED) return reply;
  // A player still starting up answers once it plays; one that has played
  // (or has had ample time to) and does not answer is hung.
  bool startingUp = !playerPlayed.load() && monotonicMs() - player.startedMs < PLAYER_START_LIMIT_MS;
  if (sent == SEND_UNANSWERED && !startingUp) killPlayer("did not answer a command");
  return -1;
}

void quitPlayer() {
  if (syncmusic(PLAYER_PORT, PLAYER_QUIT) != -1 || !player.active || player.pid < 0 || player.ended) return;
  // No port yet, or no answer: it cannot hear the command, so it is told
  // the other way, which it handles the same (no event, port removed).
  signalBackgroundChild(player.pid, SIGTERM);
  player.termSentMs = monotonicMs();
}

void watchPlayer() {
  if (!player.active) return;
  int64_t now = monotonicMs();
  if (!player.ended) {
    if (!backgroundChildEnded(player.pid, &player.status)) {
      if (player.isSong && musicdisk.load() && !playerPlayed.load() && player.termSentMs < 0 &&
          now - player.startedMs >= PLAYER_START_LIMIT_MS)
        killPlayer("did not start playing in time");
      return;
    }
    player.ended = true;
    player.endedMs = now;
  }
  if (player.isSong && musicdisk.load()) {
    if (!playerReportedEnd.load() && now - player.endedMs < PLAYER_REPORT_GRACE_MS) return;
    judgeEndedSong();
  }
  player.active = false;
}

bool nextPlayerMayStart() {
  watchPlayer();
  if (!player.active) return monotonicMs() - lastStartMs >= PLAYER_START_SPACING_MS;
  if (player.ended) return false;  // reaped, its verdict still to come
  int64_t now = monotonicMs();
  if (player.termSentMs < 0) {
    signalBackgroundChild(player.pid, SIGTERM);
    player.termSentMs = now;
  } else if (now - player.termSentMs >= PLAYER_END_GRACE_MS) {
    killPlayer("did not end when asked");
  }
  return false;
}

bool songsHalted() { return failedInARow >= numberOfSongs; }

void resumeSongs() {
  failedInARow = 0;
  lastSongFailed = false;
}
