// The musicdisk's side and the real player together: the music handler owns
// "demoport", players are started the way the disk loop starts them (from a
// scratch data directory holding music/ and musicplayer/sdlmusicplayer), and
// the song-state globals move as the disk screen relies on: loading ends
// when a song plays, a natural end and "next" each advance the counter and
// ask for the next start.
#include <sys/stat.h>

#include "music/music.h"
#include "platform/spawn.h"
#include "platform/task.h"
#include "player_harness.h"

namespace {

class SongChange : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string previousDirectory;
  MusicTask *handler = nullptr;

  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previousDirectory = cwd;
    ASSERT_EQ(mkdir((scratch.path + "/music").c_str(), 0700), 0);
    ASSERT_EQ(mkdir((scratch.path + "/musicplayer").c_str(), 0700), 0);
    ASSERT_EQ(symlink(MUSICDISK_BINARY_DIR "/musicplayer/sdlmusicplayer",
                      (scratch.path + "/musicplayer/sdlmusicplayer").c_str()),
              0);
    // The first two rows' songs, under the names the song table gives them.
    for (int row = 0; row < 2; row++) {
      std::string made = scratch.path + "/made.mp3";
      ASSERT_TRUE(makeTwoToneMp3(made, row == 0 ? 1.0 : 0.4));
      ASSERT_EQ(rename(made.c_str(), (scratch.path + "/" + songnames[row]).c_str()), 0);
    }
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
    setenv("SDL_AUDIODRIVER", "dummy", 1);
    currentSong = 15;
    loadingSong = 1;
    changeSong = 1;
    handler = createTask(subtaskname, musichandler);
    ASSERT_NE(handler, nullptr);
    int64_t giveUp = nowMs() + 5000;
    while (syncmusic("demoport", 7) != 7) {
      ASSERT_LT(nowMs(), giveUp);
      usleep(1000);
    }
    musicdisk = 1;
  }
  void TearDown() override {
    syncmusic("musicplayerport", PLAYER_QUIT);
    syncmusic("demoport", HANDLER_QUIT);
    deleteTask(handler);
    musicdisk = 0;
    unsetenv("SDL_AUDIODRIVER");
    if (chdir(previousDirectory.c_str()) != 0) ADD_FAILURE();
    usleep(100 * 1000);
    reapBackgroundChildren();
  }
  // What the disk loop does when changeSong is set.
  void startForChange() {
    startSongPlayer();
    changeSong = 0;
  }
  template <typename Condition>
  bool waitUntil(Condition condition, int timeoutMs) {
    int64_t giveUp = nowMs() + timeoutMs;
    while (!condition()) {
      if (nowMs() > giveUp) return false;
      usleep(2000);
    }
    return true;
  }
};

TEST_F(SongChange, NaturalEndThenNextMoveThroughTheSongs) {
  startForChange();
  ASSERT_TRUE(waitUntil([] { return loadingSong.load() == 0; }, 5000)) << "the first song never played";
  // The song (2 s) ends by itself: the counter moves on, a start is due.
  ASSERT_TRUE(waitUntil([] { return changeSong.load() == 1; }, 5000));
  EXPECT_EQ(currentSong.load(), 16);

  loadingSong = 1;
  startForChange();
  ASSERT_TRUE(waitUntil([] { return loadingSong.load() == 0; }, 5000)) << "the second song never played";
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_NEXT), PLAYER_NEXT);
  ASSERT_TRUE(waitUntil([] { return changeSong.load() == 1; }, 5000));
  EXPECT_EQ(currentSong.load(), 17);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), -1) << "the player has gone";
}

TEST_F(SongChange, QuitEndsThePlayerWithoutMovingOn) {
  startForChange();
  ASSERT_TRUE(waitUntil([] { return loadingSong.load() == 0; }, 5000));
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_QUIT), PLAYER_QUIT);
  usleep(300 * 1000);
  EXPECT_EQ(changeSong.load(), 0);
  EXPECT_EQ(currentSong.load(), 15);
}

}  // namespace
