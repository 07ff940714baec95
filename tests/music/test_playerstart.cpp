// Starting players: a stand-in program placed as musicplayer/sdlmusicplayer
// in a scratch working directory records what it was given.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <fstream>
#include <sstream>

#include "music/music.h"
#include "platform/spawn.h"
#include "scratch.h"

namespace {

class PlayerStart : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  std::string previousDirectory;
  std::string record;

  void SetUp() override {
    char cwd[4096];
    ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
    previousDirectory = cwd;
    ASSERT_EQ(mkdir((scratch.path + "/musicplayer").c_str(), 0700), 0);
    ASSERT_EQ(symlink(STAND_IN_PLAYER, (scratch.path + "/musicplayer/sdlmusicplayer").c_str()), 0);
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
    record = scratch.path + "/record";
    setenv("STAND_IN_RECORD", record.c_str(), 1);
    currentSong = 15;
  }
  void TearDown() override {
    if (chdir(previousDirectory.c_str()) != 0) ADD_FAILURE();
    unsetenv("STAND_IN_RECORD");
  }
  // What the stand-in recorded, once it has.
  std::string recorded() {
    int64_t giveUp = nowMs() + 5000;
    struct stat st;
    while (stat(record.c_str(), &st) != 0) {
      if (nowMs() > giveUp) return "(nothing recorded)";
      usleep(2000);
    }
    std::ifstream in(record);
    std::stringstream text;
    text << in.rdbuf();
    unlink(record.c_str());
    return text.str();
  }
  static std::string expected(const char *path, bool last) {
    std::string text = std::string("arg musicplayer/sdlmusicplayer\narg ") + path + "\n";
    if (last) text += "arg 1\n";
    return text + "fd0 /dev/null\nfd1 /dev/null\nfd2 " + ownStandardError() + "\n";
  }
  // A player's complaints go where the musicdisk's own do.
  static std::string ownStandardError() {
    char target[256] = {};
    if (readlink("/proc/self/fd/2", target, sizeof target - 1) < 0) return "closed";
    return target;
  }
};

TEST_F(PlayerStart, CounterOf29StartsTheLastRowWithTheExtraArgument) {
  currentSong = 29;
  startSongPlayer();
  EXPECT_EQ(recorded(), expected(songnames[14], true));
}

TEST_F(PlayerStart, InitialCounterStartsTheFirstRowAndOnlyTheLastRowGetsTheArgument) {
  startSongPlayer();
  EXPECT_EQ(recorded(), expected(songnames[0], false));
  for (int32_t counter = 16; counter < 30; counter++) {
    currentSong = counter;
    startSongPlayer();
    int row = counter % numberOfSongs;
    EXPECT_EQ(recorded(), expected(songnames[row], row == 14)) << "counter " << counter;
  }
}

TEST_F(PlayerStart, PathIsPassedAsOneArgumentWithoutAShell) {
  const char *path = "music/a b;$(touch x)'\"*.mp3";
  EXPECT_GT(startPlayer(path, false), 0);
  EXPECT_EQ(recorded(), expected(path, false));
  struct stat st;
  EXPECT_NE(stat("x", &st), 0);
}

TEST_F(PlayerStart, EndedPlayersAreReaped) {
  pid_t pid = startPlayer("music/one.mp3", false);
  ASSERT_GT(pid, 0);
  recorded();
  // The stand-in has ended (or is about to): a reaped child is no longer ours.
  int64_t giveUp = nowMs() + 5000;
  for (;;) {
    reapBackgroundChildren();
    errno = 0;
    if (waitpid(pid, nullptr, WNOHANG) < 0 && errno == ECHILD) break;
    ASSERT_LT(nowMs(), giveUp) << "the child was never reaped";
    usleep(2000);
  }
}

TEST_F(PlayerStart, AMissingPlayerIsReportedAndGivesMinusOne) {
  unlink("musicplayer/sdlmusicplayer");
  testing::internal::CaptureStderr();
  EXPECT_EQ(startPlayer("music/one.mp3", false), -1);
  std::string text = testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find("musicplayer/sdlmusicplayer"), std::string::npos) << text;
  EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 1) << text;
}

TEST_F(PlayerStart, APathBeyondTheCommandLineIsRefusedNotCut) {
  std::string longPath = "music/" + std::string(PLAYER_COMMAND_SIZE, 'a') + ".mp3";
  testing::internal::CaptureStderr();
  EXPECT_EQ(startPlayer(longPath.c_str(), false), -1);
  testing::internal::GetCapturedStderr();
  // The longest path that fits still goes through whole.
  std::string prefix = "run >NIL: musicplayer/sdlmusicplayer ";
  std::string fits = "music/" + std::string(PLAYER_COMMAND_SIZE - 1 - prefix.size() - 6 - 2, 'b');
  ASSERT_EQ(prefix.size() + fits.size() + 2, static_cast<size_t>(PLAYER_COMMAND_SIZE - 1));
  EXPECT_GT(startPlayer(fits.c_str(), true), 0);
  EXPECT_EQ(recorded(), expected(fits.c_str(), true));
}

}  // namespace
