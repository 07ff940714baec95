// The disk screen against a real player that misbehaves: stopped (SIGSTOP)
// while keys go to it, killed (SIGKILL) mid-song. The disk loop runs frame by
// frame on the offscreen renderer, with the real music handler and real
// key events, and measures its frame gaps with its own clock.
#include <gtest/gtest.h>

#include "disk_harness.h"

namespace {

class DiskWithPlayer : public ::testing::Test, public DiskHarness {
 protected:
  void SetUp() override { ASSERT_TRUE(open(MUSICDISK_BINARY_DIR)); }  // music/ and musicplayer/ are there
  void TearDown() override { close(); }
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

TEST_F(DiskWithPlayer, AThemeThatHadNoPortYetIsGoneBeforeTheFirstSongStarts) {
  pid_t theme = startPlayer(introtheme, false, nowMs());
  quitPlayer(nowMs());  // too early: the theme's player has no port yet
  ASSERT_TRUE(runUntil([this] { return playing(); }, 15000)) << "the first song never played";
  EXPECT_NE(kill(theme, 0), 0) << "the theme's player plays on";
  EXPECT_EQ(currentSong, 15);
}

}  // namespace
