// The disk screen against a real player that misbehaves: stopped (SIGSTOP)
// while keys go to it, killed (SIGKILL) mid-song. The disk loop runs frame by
// frame on the offscreen renderer, with the real music handler and real
// key events, and measures its frame gaps with its own clock.
#include <SDL.h>
#include <dirent.h>
#include <gtest/gtest.h>
#include <signal.h>

#include <functional>

#include "../music/scratch.h"
#include "display/display.h"
#include "music/music.h"
#include "platform/task.h"
#include "screens/disk.h"
#include "screens/effects.h"

namespace {

class DiskWithPlayer : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  char previousDirectory[4096] = {};
  DiskState state{};

  void SetUp() override {
    ASSERT_NE(getcwd(previousDirectory, sizeof previousDirectory), nullptr);
    ASSERT_EQ(chdir(MUSICDISK_BINARY_DIR), 0);  // music/ and musicplayer/ are here
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    ASSERT_EQ(W3DSetup(), 1);
    currentSong = 15;
    loadingSong = 1;
    changeSong = 1;
    flashtime = -100;
    resumeSongs();
    subtask = createTask(subtaskname, musichandler);
    ASSERT_NE(subtask, nullptr);
    while (syncmusic(HANDLER_PORT, 7) != 7) usleep(1000);
    musicdisk = 1;
    getTimeWithStatus(1);
    diskEnter(&state, getTime());
  }
  void TearDown() override {
    quitPlayer();
    for (pid_t pid = player(); pid > 0; pid = player()) kill(pid, SIGKILL), runUntil([] { return false; }, 50);
    syncmusic(HANDLER_PORT, HANDLER_QUIT);
    deleteTask(subtask);
    subtask = nullptr;
    musicdisk = 0;
    W3DCleanup();
    EXPECT_EQ(chdir(previousDirectory), 0);
  }
  // Runs disk frames until done() holds (true) or ms have passed (false).
  bool runUntil(const std::function<bool()> &done, int ms) {
    for (int64_t giveUp = nowMs() + ms; nowMs() < giveUp;) {
      diskFrame(&state);
      if (done()) return true;
    }
    return false;
  }
  void press(SDL_Scancode scancode) {
    SDL_Event event{};
    event.type = SDL_KEYDOWN;
    event.key.windowID = SDL_GetWindowID(w3d_Screen->window);
    event.key.state = SDL_PRESSED;
    event.key.keysym.scancode = scancode;
    ASSERT_EQ(SDL_PushEvent(&event), 1);
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

TEST_F(DiskWithPlayer, AStoppedPlayerHoldsNoFrameAndIsReplacedByTheNextSong) {
  ASSERT_TRUE(runUntil([this] { return playing(); }, 15000)) << "the first song never played";
  pid_t hung = player();
  int32_t song = currentSong;
  ASSERT_EQ(kill(hung, SIGSTOP), 0);
  state.longestFrameGapMs = 0;
  for (SDL_Scancode key : {SDL_SCANCODE_LEFT, SDL_SCANCODE_RIGHT, SDL_SCANCODE_S, SDL_SCANCODE_DOWN}) press(key);
  ASSERT_TRUE(runUntil([&] { return playing() && player() != hung; }, 15000)) << "no next song";
  // Before, every key held the picture for two seconds.
  EXPECT_LT(state.longestFrameGapMs, 500);
  EXPECT_EQ(currentSong, song + 1);
  EXPECT_NE(kill(hung, 0), 0) << "the stopped player is still there (or a zombie)";
}

TEST_F(DiskWithPlayer, AKilledPlayerIsNoticedAndTheNextSongFollowsASecondLater) {
  ASSERT_TRUE(runUntil([this] { return playing(); }, 15000)) << "the first song never played";
  pid_t dead = player();
  int32_t song = currentSong;
  int64_t killedAt = nowMs();
  ASSERT_EQ(kill(dead, SIGKILL), 0);
  ASSERT_TRUE(runUntil([&] { return kill(dead, 0) != 0; }, 500)) << "the dead player was not reaped";
  ASSERT_TRUE(runUntil([&] { return playing() && currentSong == song + 1; }, 10000)) << "no next song";
  EXPECT_GE(nowMs() - killedAt, 1000) << "the next song waits the usual second";
  // Down works again: it reaches the new player, which makes way for the next.
  press(SDL_SCANCODE_DOWN);
  EXPECT_TRUE(runUntil([&] { return playing() && currentSong == song + 2; }, 10000));
}

}  // namespace
