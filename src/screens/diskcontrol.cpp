// Control of the disk screen: when a player is started, what each key and
// on-screen button does, and the loop itself.
//
// A song change begins with next, previous or the end of a song and ends
// only when the new player reports that it plays; meanwhile next and
// previous are refused. The new player starts one second after the change
// began, so the overlay has faded in before the old song's port is reused;
// PAUSED and STOPPED go as it starts, since it plays.
//
// Keys and buttons queue their command for the player (music.h): none waits
// for a slow player, and one that cannot be delivered goes when the player
// can take it, or is dropped with the song it was meant for.
#include <cmath>

#include "display/display.h"
#include "draw/batch.h"
#include "desktop/mpris.h"
#include "music/music.h"
#include "music/volume.h"
#include "platform/clock.h"
#include "screens/disk.h"
#include "screens/diskremote.h"
#include "screens/effects.h"

namespace {

// When every song has failed, the disk waits for the user to pick one: the
// song shown (play), the one after it (next) or before it (previous).
void pickSong(DiskState *state, int32_t step) {
  songPicked(step);
  state->listOffset = 0;
  flashtime = state->t;  // the overlay fades in again over the usual second
  resumeSongs();
}

void play(DiskState *state) {
  if (songsHalted()) pickSong(state, 0);
  commandPlayer(PLAYER_PLAY, state->nowMs);
  state->paused = false;
  state->stopped = false;
}

void pause(DiskState *state) {
  commandPlayer(PLAYER_PAUSE, state->nowMs);
  if (!state->stopped) state->paused = !state->paused;
}

void nextSong(DiskState *state) {
  if (songsHalted()) return pickSong(state, 1);
  if (loadingSong.load() == 1) return;
  commandPlayer(PLAYER_NEXT, state->nowMs);
  state->paused = false;
  loadingSong.store(1);
  state->stopped = false;
  flashtime = state->t;
}

void previousSong(DiskState *state) {
  if (songsHalted()) return pickSong(state, -1);
  if (loadingSong.load() == 1) return;
  commandPlayer(PLAYER_PREVIOUS, state->nowMs);
  songStepBackForPrevious();
  loadingSong.store(1);
  state->paused = false;
  state->stopped = false;
  state->listOffset = 2;
  flashtime = state->t;
}

// Comma and full stop: while a song plays (or is paused); past its end the
// song ends as by itself, before its start it starts again.
void moveInSong(DiskState *state, int32_t ms) {
  if (songsHalted() || loadingSong.load() == 1 || state->stopped) return;
  commandPlayer(PLAYER_SEEK_BY + PLAYER_SEEK_BIAS + ms, state->nowMs);
  mprisSeeked();
}

void onKey(DiskState *state, uint16_t code) {
  if (code == KEY_PAD_PLUS) return setVolume(musicVolume.load() + VOLUME_STEP, state->nowMs);
  if (code > KEY_F10) return;  // releases and keys the screen does not use
  if (code >= KEY_1 && code <= KEY_0) {
    state->starGravity = 0.001f * (float)code;
    return;
  }
  if (code >= KEY_F1) {
    resetSparks(10 * (code - KEY_F1 + 1));
    return;
  }
  switch (code) {
    case KEY_I: state->showPlacing = !state->showPlacing; break;
    case KEY_S:
      state->stopped = true;
      commandPlayer(PLAYER_STOP, state->nowMs);
      state->paused = false;
      break;
    case KEY_F: fps = fps == 0 ? 1 : 0; break;
    case KEY_ESC: state->quitRequested = true; break;
    case KEY_UP: previousSong(state); break;
    case KEY_DOWN: nextSong(state); break;
    case KEY_RIGHT: play(state); break;
    case KEY_LEFT: pause(state); break;
    case KEY_PLUS: setVolume(musicVolume.load() + VOLUME_STEP, state->nowMs); break;
    case KEY_MINUS:
    case KEY_PAD_MINUS: setVolume(musicVolume.load() - VOLUME_STEP, state->nowMs); break;
    case KEY_COMMA: moveInSong(state, -SEEK_STEP_MS); break;
    case KEY_PERIOD: moveInSong(state, SEEK_STEP_MS); break;
    default: break;
  }
}

void onButton(DiskState *state) {
  if (!w3d_Screen || SCREEN_WIDTH <= 0 || SCREEN_HEIGHT <= 0) return;
  int px = w3d_Screen->MouseX * 100 / SCREEN_WIDTH;
  int py = w3d_Screen->MouseY * 100 / SCREEN_HEIGHT;
  if (py < 2 || py > 6) return;
  if (px >= 30 && px <= 36) previousSong(state);
  else if (px >= 40 && px <= 46) pause(state);
  else if (px >= 50 && px <= 56) play(state);
  else if (px >= 60 && px <= 66) nextSong(state);
}

}  // namespace

void diskEnter(DiskState *state, int32_t t) {
  state->listOffset = 0;
  state->paused = false;
  state->stopped = false;
  state->showPlacing = false;
  state->quitRequested = false;
  state->starGravity = 0.001f;
  state->t = t;
  state->nowMs = 0;
  state->lastFrameMs = 0;
  state->longestFrameGapMs = 0;
}

void diskSongStart(DiskState *state) {
  watchPlayer(state->nowMs);
  if (changeSong.load() != 1) return;
  if (loadingSong.load() == 0) {
    // The song ended by itself: the list keeps it until the next one plays.
    loadingSong.store(1);
    state->listOffset = -1;
    flashtime = state->t;
  }
  if (songsHalted()) {
    state->listOffset = 0;  // the song a pick starts from
    return;
  }
  // A song that fails at once ends the change at once: the spacing between
  // two starts keeps such songs from starting a storm of players. The
  // previous player is gone before the next one takes the port.
  if (state->t > flashtime + 100 && nextPlayerMayStart(state->nowMs)) {
    songWrapToRow();
    changeSong.store(0);
    // The new player plays: whatever the last one was told is gone with it.
    state->paused = state->stopped = false;
    startSongPlayer(state->nowMs);
  }
}

void diskInput(DiskState *state, const IntuiMessage *message) {
  if (!message) return;
  if (message->Class == IDCMP_RAWKEY) onKey(state, message->Code);
  else if (message->Class == IDCMP_MOUSEBUTTONS && message->Code == SELECTDOWN) onButton(state);
}

bool diskPass(DiskState *state, int32_t t, const IntuiMessage *message) {
  triPos = 0;
  diskSongStart(state);
  state->t = t;
  state->quitRequested = false;
  diskInput(state, message);
  songKeepListRoom();  // here, not in the drawing: drawing changes nothing
  diskDraw(state);
  return state->quitRequested;
}

bool diskFrame(DiskState *state) {
  // The pass's song start still looks at the previous pass's time.
  int32_t t = getTime();
  state->nowMs = monotonicMs();
  IntuiMessage remote;
  IntuiMessage *message = diskRemote(state, W3DGetMsg(), &remote);
  bool quit = diskPass(state, t, message);
  if (message) ReplyMsg(message);
  W3DShowFrame();
  frames++;
  int64_t shownMs = monotonicMs();
  if (state->lastFrameMs != 0 && shownMs - state->lastFrameMs > state->longestFrameGapMs)
    state->longestFrameGapMs = shownMs - state->lastFrameMs;
  state->lastFrameMs = shownMs;
  return quit || W3DCloseRequested();
}

void runDisk(int32_t startTime) {
  DiskState state;
  diskEnter(&state, startTime);
  while (!diskFrame(&state)) {
  }
}
