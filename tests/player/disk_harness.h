// The disk loop run frame by frame against the real player: the offscreen
// renderer, the real music handler, real key events, players started from a
// data directory (music/ and musicplayer/), and a look at our player child.
#pragma once

#include <SDL.h>
#include <dirent.h>
#include <signal.h>

#include <cstring>
#include <functional>

#include "../music/scratch.h"
#include "display/display.h"
#include "music/music.h"
#include "platform/task.h"
#include "screens/disk.h"
#include "screens/effects.h"

struct DiskHarness {
  ScratchDirectory scratch;  // the port directory
  char previousDirectory[4096] = {};
  DiskState state{};

  // Opens the display, starts the handler and enters the disk screen with
  // dataDirectory as the working directory; the players' sound goes to the
  // file capture (SDL's disk driver) when one is named, else nowhere. False
  // when any of it fails.
  bool open(const char *dataDirectory, const char *capture = nullptr) {
    if (!getcwd(previousDirectory, sizeof previousDirectory) || chdir(dataDirectory) != 0) return false;
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", capture ? "disk" : "dummy", 1);
    if (capture) setenv("SDL_DISKAUDIOFILE", capture, 1);
    if (W3DSetup() != 1) return false;
    currentSong = 15;
    loadingSong = 1;
    changeSong = 1;
    flashtime = -100;
    resumeSongs();
    subtask = createTask(subtaskname, musichandler);
    if (!subtask) return false;
    while (syncmusic(HANDLER_PORT, 7) != 7) usleep(1000);
    musicdisk = 1;
    getTimeWithStatus(1);
    diskEnter(&state, getTime());
    return true;
  }
  void close() {
    quitPlayer(nowMs());
    for (pid_t pid = player(); pid > 0; pid = player()) kill(pid, SIGKILL), runUntil([] { return false; }, 50);
    syncmusic(HANDLER_PORT, HANDLER_QUIT);
    deleteTask(subtask);
    subtask = nullptr;
    musicdisk = 0;
    W3DCleanup();
    if (chdir(previousDirectory) != 0) perror("chdir");
  }
  // Runs disk frames until done() holds (true) or ms have passed (false).
  bool runUntil(const std::function<bool()> &done, int ms) {
    for (int64_t giveUp = nowMs() + ms; nowMs() < giveUp;) {
      diskFrame(&state);
      if (done()) return true;
    }
    return false;
  }
  // A key press as the window gives it, then frames for 40 ms.
  void press(SDL_Scancode scancode) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(w3d_Screen->window);
    event.key.state = SDL_PRESSED;
    event.key.keysym.scancode = scancode;
    SDL_PushEvent(&event);
    runUntil([] { return false; }, 40);
  }
  // Our living (not yet reaped) player child, or -1.
  static pid_t player() {
    DIR *proc = opendir("/proc");
    pid_t found = -1;
    while (dirent *entry = proc ? readdir(proc) : nullptr) {
      char path[300], comm[64] = {};
      snprintf(path, sizeof path, "/proc/%s/stat", entry->d_name);
      FILE *f = fopen(path, "r");
      int pid = 0, ppid = 0;
      char state = 0;
      if (f && fscanf(f, "%d (%63[^)]) %c %d", &pid, comm, &state, &ppid) == 4 && ppid == getpid() &&
          !strcmp(comm, "sdlmusicplayer"))
        found = pid;
      if (f) fclose(f);
    }
    if (proc) closedir(proc);
    return found;
  }
  bool playing() { return loadingSong == 0 && player() > 0; }
};
