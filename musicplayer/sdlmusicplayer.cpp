// sdlmusicplayer PATH [1]: plays one song for the musicdisk and is steered
// through the player's public port; reports to the music handler's port.
//
// Life of a player: take over the player's port; EVENT_LOADING; open the
// audio output and load the song; EVENT_PLAYING once it sounds; then serve
// commands until the song ends (EVENT_SONG_ENDED), the musicdisk says next or
// previous (EVENT_SONG_ENDED) or quit (no event), or the player is told to
// end from outside (SIGTERM, SIGINT, SIGHUP, or its parent ending: no event).
// Every way out removes the port's socket file. On every way out that
// reports, the port is withdrawn before the report, so that the next player
// can take it over at once. docs/protocol.md describes all of it.
#include <sys/eventfd.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <SDL.h>
#include <signal.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <initializer_list>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ports/protocol.h"
#include "ports/ports.h"
#include "levels.h"
#include "playback.h"

namespace {

// How long a new player waits for the previous one to give up the port.
constexpr int PORT_TAKEOVER_WAIT_MS = 2000;
// How often the player looks at its parent and at termination requests
// while nothing else happens (ms).
constexpr int IDLE_CHECK_MS = 100;

// After a termination request the player has this long to end the clean
// way before the alarm's default action ends it regardless (seconds).
constexpr unsigned END_GRACE_SECONDS = 3;

enum class Outcome { Continue, SongOver, Quit };

std::atomic<int> endRequested{0};
static_assert(std::atomic<int>::is_always_lock_free, "set from a signal handler");

void onEndSignal(int) {
  endRequested.store(1);
  alarm(END_GRACE_SECONDS);
}

// SIGTERM (also the parent-death signal), SIGINT and SIGHUP ask for the
// clean end; SDL must not take them over. A reader that went away is no
// reason to die: sends use MSG_NOSIGNAL, and SIGPIPE is ignored.
void installEndSignals() {
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  struct sigaction action = {};
  action.sa_handler = onEndSignal;
  sigemptyset(&action.sa_mask);
  for (int number : {SIGTERM, SIGINT, SIGHUP}) sigaction(number, &action, nullptr);
  signal(SIGPIPE, SIG_IGN);
  signal(SIGALRM, SIG_DFL);
}

// Takes over the port, waiting a little for a player that is just leaving.
PublicPort *takeOverPort() {
  for (int waited = 0;; waited += 10) {
    PublicPort *port = createPublicPort(PLAYER_PORT);
    if (port || errno != EADDRINUSE || waited >= PORT_TAKEOVER_WAIT_MS) return port;
    usleep(10 * 1000);
  }
}

// The commands that carry a number: a move within the song, the volume.
// Anything else is not a command of ours: replied unchanged and ignored.
Outcome handleNumberCommand(Playback *playback, MusicMessage *message) {
  int32_t kind = message->value & ~PLAYER_PAYLOAD, number = message->value & PLAYER_PAYLOAD;
  if (kind == PLAYER_VOLUME) {
    message->value = setSongVolume(number);
    return Outcome::Continue;
  }
  if (kind != PLAYER_SEEK_TO && kind != PLAYER_SEEK_BY) return Outcome::Continue;
  int64_t to = kind == PLAYER_SEEK_TO ? number : songPositionMs(playback) + number - PLAYER_SEEK_BIAS;
  switch (seekSong(playback, to)) {
    case SEEK_MOVED:
      message->value = static_cast<int32_t>(std::min<int64_t>(songPositionMs(playback), PLAYER_PAYLOAD));
      return Outcome::Continue;
    case SEEK_PAST_END:
      // As its natural end: the next song follows.
      message->value = static_cast<int32_t>(std::min<int64_t>(playback->lengthMs, PLAYER_PAYLOAD));
      return Outcome::SongOver;
    case SEEK_REFUSED:
      return Outcome::Continue;
  }
  return Outcome::Continue;
}

// Acts on one command and replies to it (the reply carries the value back).
Outcome handleCommand(PublicPort *port, Playback *playback, MusicMessage *message) {
  Outcome outcome = Outcome::Continue;
  switch (message->value) {
    case PLAYER_PLAY:
      if (playback->state == PLAYBACK_PAUSED)
        pauseOrResume(playback);
      else if (playback->state == PLAYBACK_STOPPED && !playFromStart(playback))
        outcome = Outcome::SongOver;
      break;
    case PLAYER_PAUSE:
      pauseOrResume(playback);  // a second pause resumes
      break;
    case PLAYER_STOP:
      stopSong(playback);
      break;
    case PLAYER_NEXT:
    case PLAYER_PREVIOUS:
      outcome = Outcome::SongOver;
      break;
    case PLAYER_QUIT:
      outcome = Outcome::Quit;
      break;
    case PLAYER_LENGTH:
      message->value = playback->lengthMs > 0 && playback->lengthMs <= INT32_MAX
                           ? static_cast<int32_t>(playback->lengthMs)
                           : -1;
      break;
    case PLAYER_POSITION:
      message->value = static_cast<int32_t>(std::min<int64_t>(songPositionMs(playback), PLAYER_PAYLOAD));
      break;
    case PLAYER_CAN_SEEK:
      message->value = songCanSeek(playback) ? 1 : 0;
      break;
    default:
      outcome = handleNumberCommand(playback, message);
      break;
  }
  if (outcome != Outcome::Continue) {
    // Leaving: silence first, the name gone before the sender has its
    // answer, so a new player can take the port right away.
    stopSong(playback);
    withdrawPublicPort(port);
  }
  replyPortMessage(port, message);
  return outcome;
}

// The musicdisk that started us, from our environment; 0 when none did.
pid_t startedBy() {
  const char *value = getenv(MUSICDISK_PID_VARIABLE);
  return value ? static_cast<pid_t>(atol(value)) : 0;
}

// Whether this player is the first of its musicdisk to find no audio
// device: the note in the port directory names the musicdisk that was told.
bool firstToSayNoAudio() {
  char note[512];
  pid_t musicdisk = startedBy();
  if (musicdisk <= 0 || !portDirectory(note, sizeof note - sizeof NO_AUDIO_NOTE - 1, true)) return true;
  strcat(note, "/");
  strcat(note, NO_AUDIO_NOTE);
  char told[32] = "";
  if (FILE *in = fopen(note, "r")) {
    if (!fgets(told, sizeof told, in)) told[0] = '\0';
    fclose(in);
  }
  if (atol(told) == musicdisk) return false;
  if (FILE *out = fopen(note, "w")) {
    fprintf(out, "%ld\n", static_cast<long>(musicdisk));
    fclose(out);
  }
  return true;
}

int usage() {
  fputs("sdlmusicplayer: usage: sdlmusicplayer PATH [1]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char **argv) {
  // Die with the musicdisk: SIGTERM when the parent ends, handled like any
  // termination request, so that the socket file goes too (SIGKILL would
  // leave it behind); a player stuck somewhere is ended by the grace alarm.
  // A parent that ended before this point shows as a parent other than the
  // musicdisk that started us (its process id is in our environment; a
  // player started by hand has only the second look at getppid()).
  pid_t parent = getppid();
  prctl(PR_SET_PDEATHSIG, SIGTERM);
  pid_t musicdisk = startedBy();
  if (musicdisk > 0 && musicdisk != parent) return 1;
  if (getppid() != parent) return 1;

  if (argc < 2 || argc > 3 || (argc == 3 && strcmp(argv[2], "1") != 0)) return usage();
  const char *path = argv[1];
  const bool lastSong = argc == 3;

  installEndSignals();
  quietenDecoders();

  PublicPort *port = takeOverPort();
  if (!port) {
    playerSays("sdlmusicplayer: cannot create port %s: %s\n", PLAYER_PORT, strerror(errno));
    return 1;
  }
  int wake = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  syncmusic(HANDLER_PORT, EVENT_LOADING);

  // Start-up takes a while (audio device, decoder): a termination request
  // that came meanwhile ends the player here, silently and without events.
  Playback playback;
  char why[256] = "";
  bool audio = !endRequested.load() && openAudio(wake, firstToSayNoAudio);
  // The musicdisk's volume, before a sound is made.
  const char *volume = getenv(MUSICDISK_VOLUME_VARIABLE);
  if (audio && volume) setSongVolume(atoi(volume));
  bool playing = audio && !endRequested.load() && loadSong(&playback, path, lastSong, why, sizeof why) &&
                 !endRequested.load() && playFromStart(&playback);
  if (!playing) {
    bool failed = !endRequested.load();
    if (failed && audio && !why[0]) snprintf(why, sizeof why, "%s", Mix_GetError());
    if (failed && audio) playerSays("sdlmusicplayer: cannot play %s: %s\n", path, why);
    freeSong(&playback);
    withdrawPublicPort(port);
    if (failed) syncmusic(HANDLER_PORT, EVENT_SONG_ENDED);  // so that the disk moves on
    if (audio) closeAudio();
    deletePublicPort(port);
    close(wake);
    return failed ? 1 : 0;
  }
  // The last moment a termination request can keep the news from going out.
  if (endRequested.load()) stopSong(&playback);
  else syncmusic(HANDLER_PORT, EVENT_PLAYING);
  startLevels();

  Outcome outcome = Outcome::Continue;
  while (outcome == Outcome::Continue) {
    levelsSounding(playback.state == PLAYBACK_PLAYING);
    if (endRequested.load() || getppid() != parent) {
      outcome = Outcome::Quit;
      break;
    }
    if (songHasEnded(&playback)) {
      outcome = Outcome::SongOver;
      break;
    }
    PortWaitResult woke = waitPublicPort(port, msUntilNextCheck(&playback, IDLE_CHECK_MS), wake);
    if (woke == PORT_FAILED) {
      outcome = Outcome::Quit;
      break;
    }
    MusicMessage message;
    while (outcome == Outcome::Continue && getPortMessage(port, &message))
      outcome = handleCommand(port, &playback, &message);
  }

  stopLevels();  // no report after the song's end
  stopSong(&playback);
  withdrawPublicPort(port);
  if (outcome == Outcome::SongOver) syncmusic(HANDLER_PORT, EVENT_SONG_ENDED);
  freeSong(&playback);
  closeAudio();
  deletePublicPort(port);
  close(wake);
  return 0;
}
