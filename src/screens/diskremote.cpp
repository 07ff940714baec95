// The disk screen's side of the desktop's media controls: what the screen
// shows is reported to the bus (desktop/mpris.cpp), and the commands that
// come back are handed to the pass as the keys that do the same, one per
// pass and only when the window has none waiting.
#include "screens/diskremote.h"

#include <cstring>

#include "display/display.h"
#include "music/music.h"
#include "desktop/artwork.h"
#include "desktop/mpris.h"
#include "music/volume.h"
#include "screens/disk.h"

namespace {

constexpr uint16_t NO_KEY = 0xFFFF;

// Play/Pause resumes what is paused or stopped and pauses what plays
// (the pause key alone would leave a stopped song stopped).
uint16_t playPauseKey(const DiskState *state) { return state->paused || state->stopped ? KEY_RIGHT : KEY_LEFT; }

uint16_t keyFor(const DiskState *state, int command) {
  switch (command) {
    case MPRIS_PLAY: return KEY_RIGHT;
    // The pause key toggles; Pause must leave a paused song paused.
    case MPRIS_PAUSE: return state->paused || state->stopped ? NO_KEY : KEY_LEFT;
    case MPRIS_PLAY_PAUSE: return playPauseKey(state);
    case MPRIS_STOP: return KEY_S;
    case MPRIS_NEXT: return KEY_DOWN;
    case MPRIS_PREVIOUS: return KEY_UP;
    case MPRIS_QUIT: return KEY_ESC;
    default: return NO_KEY;
  }
}

void showState(const DiskState *state) {
  // The song told to the desktop is the one that plays: while a change is
  // under way the counter moves back and forth, so it is taken only when
  // no change is pending and it reads the same before and after the flags.
  static int32_t playingRow = -1;
  int32_t counter = currentSong.load();
  if (changeSong.load() == 0 && loadingSong.load() == 0 && currentSong.load() == counter) playingRow = songRow(counter);
  // After every song has failed nothing plays until a pick.
  const bool halted = songsHalted();
  MprisView view = MPRIS_NOTHING;
  view.controllable = true;
  view.status = state->stopped || halted ? MPRIS_STOPPED : state->paused ? MPRIS_PAUSED : MPRIS_PLAYING;
  view.track = halted ? -1 : playingRow;
  if (view.track >= 0) {
    view.title = songTitleText(playingRow);
    view.artist = songArtistText(playingRow);
    view.album = diskNameText();
    view.artUrl = logoPictureUrl();
  }
  mprisShow(view);
  mprisShowVolume(musicVolume.load());
}

}  // namespace

IntuiMessage *diskRemote(const DiskState *state, IntuiMessage *message, IntuiMessage *spare) {
  showState(state);
  if (message) {
    if (message->Class == IDCMP_RAWKEY && message->Code == RAWKEY_MEDIA_PLAY_PAUSE)
      message->Code = playPauseKey(state);
    return message;
  }
  int command = mprisTakeCommand();
  // A volume has no key: it is set as the keys set it.
  if (command >= MPRIS_VOLUME) {
    setVolume(command - MPRIS_VOLUME, state->nowMs);
    return nullptr;
  }
  uint16_t code = keyFor(state, command);
  if (code == NO_KEY) return nullptr;
  spare->Class = IDCMP_RAWKEY;
  spare->Code = code;
  spare->MouseX = w3d_Screen ? w3d_Screen->MouseX : 0;
  spare->MouseY = w3d_Screen ? w3d_Screen->MouseY : 0;
  return spare;
}
