// The music handler task: owns "demoport" and turns the player's events into
// changes of the song-state globals. It never draws, never sends commands
// and never starts programs: it receives, updates globals and replies.
#include <cstdio>

#include "music/levels.h"
#include "music/music.h"
#include "platform/clock.h"
#include "ports/ports.h"
#include "platform/task.h"

namespace {

// Acts on one event; true when it asks the handler to stop.
bool actOnEvent(int32_t value) {
  // Level reports come from a thread of the player's own: no sign that its
  // command loop lives, so not counted for the hang verdict.
  if (value >= LEVEL_REPORT) {
    levelReportTaken(value, monotonicMs());
    return false;
  }
  // Whatever it says, a player that speaks is alive (for the hang verdict).
  if (value != HANDLER_QUIT) playerEvents.fetch_add(1);
  switch (value) {
    case EVENT_PLAYING:
      playerPlayed.store(1);
      loadingSong.store(0);
      return false;
    case EVENT_LOADING:
      loadingSong.store(1);
      return false;
    case EVENT_SONG_ENDED:
      songEndReported();
      return false;
    case HANDLER_QUIT:
      return true;
    default:
      return false;  // not ours: replied and ignored
  }
}

}  // namespace

void musichandler(MusicTask *task) {
  PublicPort *port = createPublicPort(HANDLER_PORT);
  if (!port) {
    fputs("Unable to create messageport!\n", stderr);
    return;  // the task ends; the teardown joins it
  }
  const int stopFd = taskStopDescriptor(task);
  bool quit = false;
  while (!quit) {
    PortWaitResult woke = waitPublicPort(port, -1, stopFd);
    if (woke == PORT_STOPPED || woke == PORT_FAILED) break;
    // Every message queued now is taken and replied before the next wait,
    // each one replied before the next is taken.
    MusicMessage message;
    while (!quit && getPortMessage(port, &message)) {
      if (musicdisk.load() != 0) quit = actOnEvent(message.value);
      // On the stop request the name goes first, then the reply: once the
      // sender has its answer, a second request finds no port.
      if (quit) withdrawPublicPort(port);
      replyPortMessage(port, &message);
    }
  }
  deletePublicPort(port);
}

void endMusicHandler() {
  if (!subtask) return;
  deleteTask(subtask);
  subtask = nullptr;
}
