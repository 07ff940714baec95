// Watching the player process of the moment: noticing its end, how it ended
// and what the disk screen makes of it; ending it when it hangs or must make
// room for the next one. See music.h for the rules.
//
// Everything here runs on the main task, at the time its caller gives;
// only playerPlayed, playerEvents and the song's end notice (songcounter.h)
// are written by the music handler.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/music.h"
#include "platform/clock.h"
#include "platform/spawn.h"

std::atomic<int16_t> playerPlayed{0};
std::atomic<int32_t> playerEvents{0};
int32_t failedInARow = 0;
bool lastSongFailed = false;
int32_t playersEndedAsHung = 0;

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
  int32_t eventsSeen = 0;       // playerEvents when last looked at
  int64_t lastLifeMs = 0;       // the latest sign of life: start, answer, event
};

WatchedPlayer player;
int64_t lastStartMs = -PLAYER_START_SPACING_MS;  // monotonic time of the latest start

void killPlayer(const char *why) {
  if (!player.active || player.pid < 0 || player.ended || player.killed) return;
  signalBackgroundChild(player.pid, SIGKILL);
  player.killed = true;
  player.why = why;
  dropPlayerCommands();
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
  // Without its report, the end is counted here, as if it had come.
  const bool reported = !songEndUnreported();
  // A player killed after it had reported its song's end (one slow to exit)
  // has not failed the song; one that exits non-zero has said why itself.
  bool failed = (player.killed && !reported) || !playerPlayed.load() ||
                (WIFEXITED(status) && WEXITSTATUS(status) != 0);
  if (!reported) sayWhatWentWrong(status);
  lastSongFailed = failed;
  failedInARow = failed ? failedInARow + 1 : 0;
}

// The hang verdict: a command has waited for its answer, and the player has
// shown no sign of life, for PLAYER_HANG_VERDICT_MS. A player still starting
// up is judged by its start limit instead.
void judgeSilence(int64_t now) {
  int32_t events = playerEvents.load();
  if (events != player.eventsSeen) {
    player.eventsSeen = events;
    player.lastLifeMs = now;
  }
  int64_t answered = playerLastAnswerMs();
  if (answered > player.lastLifeMs) player.lastLifeMs = answered;
  int64_t waiting = playerCommandWaitingSince();
  if (waiting < 0 || !playerPlayed.load() || player.termSentMs >= 0) return;
  int64_t silentSince = waiting > player.lastLifeMs ? waiting : player.lastLifeMs;
  if (now - silentSince < PLAYER_HANG_VERDICT_MS) return;
  playersEndedAsHung++;
  killPlayer("did not answer for two seconds");
}

// At exit: a player that could not hear its QUIT (stopped, hung) would
// outlive us, since a stopped process never acts on its parent-death
// signal. It gets its grace to end the clean way first.
void endUnhearingPlayer() {
  if (!player.active || player.ended || player.pid < 0 || player.termSentMs < 0) return;
  for (int64_t giveUp = player.termSentMs + PLAYER_END_GRACE_MS; monotonicMs() < giveUp; usleep(2000))
    if (backgroundChildEnded(player.pid, &player.status)) return;
  killPlayer("did not end when asked");
}

void atExit() {
  endUnhearingPlayer();
  // The players' note that no audio device was said is ours to remove.
  char note[512];
  if (!portDirectory(note, sizeof note - sizeof NO_AUDIO_NOTE - 1, false)) return;
  strcat(note, "/");
  strcat(note, NO_AUDIO_NOTE);
  unlink(note);
}

}  // namespace

void watchNewPlayer(int pid, const char *path, bool isSong, int64_t now) {
  static bool endAtExitRegistered = false;
  if (!endAtExitRegistered) endAtExitRegistered = atexit(atExit) == 0;
  dropPlayerCommands();  // queued for the one before: the song changed
  player = WatchedPlayer{};
  player.active = true;
  player.pid = pid;
  player.path = path;
  player.isSong = isSong;
  player.startedMs = now;
  player.lastLifeMs = now;
  player.eventsSeen = playerEvents.load();
  lastStartMs = now;
  playerPlayed.store(0);
  songEndExpected();
  if (isSong) lastSongFailed = false;
  if (pid < 0) {
    // Could not even be started: as a player that ended at once.
    player.ended = true;
    player.status = 1 << 8;  // exited with 1
    player.endedMs = now;
  }
}

bool playerTakesCommands() { return player.active && !player.ended && !player.killed && player.termSentMs < 0; }

void quitPlayer(int64_t now) {
  dropPlayerCommands();
  if (syncmusic(PLAYER_PORT, PLAYER_QUIT) != -1 || !player.active || player.pid < 0 || player.ended) return;
  // No port yet, or no answer within the frame bound: it cannot hear the
  // command now, so it is told the other way, which it handles the same
  // (no event, port removed).
  signalBackgroundChild(player.pid, SIGTERM);
  player.termSentMs = now;
}

void watchPlayer(int64_t now) {
  if (!player.active) return;
  if (!player.ended) {
    deliverPlayerCommands(now);
    if (!backgroundChildEnded(player.pid, &player.status)) {
      if (player.isSong && musicdisk.load() && !playerPlayed.load() && player.termSentMs < 0 &&
          now - player.startedMs >= PLAYER_START_LIMIT_MS)
        killPlayer("did not start playing in time");
      judgeSilence(now);
      return;
    }
    player.ended = true;
    player.endedMs = now;
    dropPlayerCommands();  // the song is over: they have become meaningless
  }
  if (player.isSong && musicdisk.load()) {
    if (!songEndWasReported() && now - player.endedMs < PLAYER_REPORT_GRACE_MS) return;
    judgeEndedSong();
  }
  player.active = false;
}

bool nextPlayerMayStart(int64_t now) {
  watchPlayer(now);
  if (!player.active) return now - lastStartMs >= PLAYER_START_SPACING_MS;
  if (player.ended) return false;  // reaped, its verdict still to come
  if (player.termSentMs < 0) {
    dropPlayerCommands();
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
