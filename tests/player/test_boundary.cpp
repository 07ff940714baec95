// The disk screen against a real player that is slow or misbehaves: slowed
// by pulses of SIGSTOP, stopped for longer than the hang verdict while keys
// go to it, killed (SIGKILL) mid-song. The disk loop runs frame by frame on
// the offscreen renderer, with the real music handler and real key events,
// and measures its frame gaps with its own clock.
#include <gtest/gtest.h>

#include "audio_fixtures.h"
#include "disk_harness.h"

namespace {

class DiskWithPlayer : public ::testing::Test, public DiskHarness {
 protected:
  void SetUp() override { ASSERT_TRUE(open(MUSICDISK_BINARY_DIR)); }  // music/ and musicplayer/ are there
  void TearDown() override { close(); }
};

// Stopped 300 ms in every second for a minute while pause and play go to it:
// a slow player, never taken for hung. Its sound (SDL's disk driver) says
// whether the status word tells the truth.
class SlowPlayer : public ::testing::Test {
 protected:
  DiskHarness disk;
  std::string capture = disk.scratch / "out.raw";
  void SetUp() override { ASSERT_TRUE(disk.open(MUSICDISK_BINARY_DIR, capture.c_str())); }
  void TearDown() override { disk.close(); }
};

TEST_F(SlowPlayer, IsNeverKilledSkipsNoSongAndTheStatusWordTellsTheTruth) {
  ASSERT_TRUE(disk.runUntil([&] { return disk.playing(); }, 15000)) << "the first song never played";
  const pid_t slow = DiskHarness::player();
  const int32_t song = currentSong, hungBefore = playersEndedAsHung;
  for (int second = 0; second < 60; second++) {
    ASSERT_EQ(kill(slow, SIGSTOP), 0);
    disk.press(second % 2 ? SDL_SCANCODE_RIGHT : SDL_SCANCODE_LEFT);  // to the stopped player
    disk.runUntil([] { return false; }, 260);
    kill(slow, SIGCONT);
    disk.runUntil([] { return false; }, 700);
  }
  // Sounding or silent, as the screen says, once every command is through.
  auto soundsAsShown = [&](SDL_Scancode key) {
    disk.press(key);
    EXPECT_TRUE(disk.runUntil([] { return playerCommandsWaiting() == 0; }, 3000)) << "commands still waiting";
    disk.runUntil([] { return false; }, 600);
    Capture heard(capture);
    bool sounding = heard.peak(heard.frames() - Capture::RATE / 5, Capture::RATE / 5) > Capture::LOUD;
    EXPECT_EQ(sounding, !disk.state.paused) << "paused shown: " << disk.state.paused;
  };
  soundsAsShown(SDL_SCANCODE_LEFT);
  EXPECT_TRUE(disk.state.paused);
  soundsAsShown(SDL_SCANCODE_LEFT);
  EXPECT_FALSE(disk.state.paused);
  EXPECT_EQ(DiskHarness::player(), slow) << "the slow player was replaced";
  EXPECT_EQ(playersEndedAsHung, hungBefore);
  EXPECT_EQ(currentSong, song) << "a song was skipped";
  EXPECT_FALSE(lastSongFailed);
}

// Stopped for longer than the hang verdict: ended as hung and replaced.
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
  // A player that had to be killed has failed its song, though it played.
  EXPECT_EQ(failedInARow, 1);
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

TEST_F(DiskWithPlayer, AThemeThatHadNoPortYetIsGoneBeforeTheFirstSongStarts) {
  pid_t theme = startPlayer(introtheme, false, nowMs());
  quitPlayer(nowMs());  // too early: the theme's player has no port yet
  ASSERT_TRUE(runUntil([this] { return playing(); }, 15000)) << "the first song never played";
  EXPECT_NE(kill(theme, 0), 0) << "the theme's player plays on";
  EXPECT_EQ(currentSong, 15);
}

}  // namespace
