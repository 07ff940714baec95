// The disk screen driven pass by pass: its reaction to keys and buttons, the
// commands that reach a player, the song list around a song change, and
// what a frame shows.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "../music/scratch.h"
#include "batch_reader.h"
#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"
#include "music/music.h"
#include "ports/ports.h"
#include "screens/disk.h"
#include "screens/effects.h"

namespace {

W3D_Screen screen;

class Disk : public ::testing::Test {
 protected:
  void SetUp() override {
    // No player and no handler unless a test makes one: commands find no
    // port and return at once.
    savedScreen = w3d_Screen;
    w3d_Screen = &screen;
    reset();
  }
  void reset() {
    SCREEN_WIDTH = 640;
    SCREEN_HEIGHT = 480;
    screen.MouseX = screen.MouseY = 0;
    currentSong = 20;
    loadingSong = 0;
    changeSong = 0;
    flashtime = -100;
    flashin = 0;
    fps = 0;
    STARS = 20;
    initSparks();
    diskEnter(&state, 0);
  }
  void TearDown() override {
    w3d_Screen = savedScreen;
    if (previousDirectory[0] && chdir(previousDirectory) != 0) ADD_FAILURE() << "chdir back";
  }
  // Players from here on are a stand-in that stays until it is ended: one
  // that could not start would count as a failed song and move the list on.
  void useStandInPlayer() {
    ASSERT_NE(getcwd(previousDirectory, sizeof previousDirectory), nullptr);
    ASSERT_EQ(mkdir((scratch / "musicplayer").c_str(), 0700), 0);
    FILE *script = fopen((scratch / "musicplayer/sdlmusicplayer").c_str(), "w");
    ASSERT_NE(script, nullptr);
    fputs("#!/bin/sh\nexec sleep 30\n", script);
    fclose(script);
    ASSERT_EQ(chmod((scratch / "musicplayer/sdlmusicplayer").c_str(), 0700), 0);
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
  }
  // The previous player ends (asked, then killed after its grace) and the
  // next may start: the watch's clock moves on until it has.
  void endPlayer() {
    quitPlayer(state.nowMs);
    state.nowMs += PLAYER_START_SPACING_MS;
    for (int64_t giveUp = nowMs() + 5000; !nextPlayerMayStart(state.nowMs); state.nowMs += 10)
      ASSERT_LT(nowMs(), giveUp) << "the previous player never ended";
  }
  bool pass(int32_t t, const IntuiMessage *message = nullptr) { return diskPass(&state, t, message); }
  bool press(int32_t t, uint16_t code) {
    IntuiMessage m{IDCMP_RAWKEY, code, 0, 0};
    return pass(t, &m);
  }
  void click(int32_t t, int x, int y) {
    screen.MouseX = int16_t(x);
    screen.MouseY = int16_t(y);
    IntuiMessage m{IDCMP_MOUSEBUTTONS, SELECTDOWN, int16_t(x), int16_t(y)};
    pass(t, &m);
  }
  // The row of songnames2 shown bright in the middle of the list.
  int listCentreRow() {
    for (const TextLine &line : batchTextLines())
      if (line.row == 5 && line.alpha == 1.0f)
        for (int r = 0; r < numberOfSongs; r++)
          if (line.text.find(upper(songnames2[r])) != std::string::npos) return r;
    return -1;
  }
  const TextLine *shown(const std::string &text) {
    lines = batchTextLines();
    return findLine(lines, text);
  }

  ScratchDirectory scratch;
  char previousDirectory[4096] = {};
  W3D_Screen *savedScreen;
  DiskState state;
  std::vector<TextLine> lines;
};

}  // namespace

TEST_F(Disk, TheListShowsFiveTitlesAroundTheCurrentSong) {
  currentSong = 16;
  pass(10);
  const int expected[5] = {14, 0, 1, 2, 3};
  const float alphas[5] = {0.05f, 0.15f, 1.0f, 0.15f, 0.05f};
  for (int d = 0; d < 5; d++) {
    const TextLine *line = shown(upper(songnames2[expected[d]]));
    ASSERT_NE(line, nullptr) << songnames2[expected[d]];
    EXPECT_EQ(line->row, 3 + d);
    EXPECT_EQ(line->alpha, alphas[d]);
  }
  currentSong = 1;  // the list may not look before row 0: a lap is added
  pass(20);
  EXPECT_EQ(currentSong.load(), 16);
}

TEST_F(Disk, ASongChangeStartsThePlayerOneSecondLaterAndTheListFollowsIt) {
  const struct {
    uint16_t key;
    int32_t counterAfterKey;
    int listOffset;
  } changes[] = {{KEY_UP, 18, 2}, {KEY_DOWN, 20, 0}};
  useStandInPlayer();
  int64_t clockMs = 0;  // the player watch's time, driven here
  for (const auto &change : changes) {
    state.nowMs = clockMs;
    endPlayer();
    clockMs = state.nowMs;
    reset();
    state.nowMs = clockMs;
    press(100, change.key);
    EXPECT_EQ(currentSong.load(), change.counterAfterKey);
    EXPECT_EQ(loadingSong.load(), 1);
    EXPECT_EQ(state.listOffset, change.listOffset);
    EXPECT_EQ(flashtime, 100);
    EXPECT_EQ(listCentreRow(), 20 % 15) << "the list stays on the song still playing";
    // The player's "song ended", as the handler applies it.
    currentSong.fetch_add(1);
    changeSong = 1;
    pass(150);
    EXPECT_EQ(listCentreRow(), 21 % 15);
    pass(201);  // the start looks at the previous pass's time: 150
    EXPECT_EQ(changeSong.load(), 1) << "not a second before the change began";
    state.paused = true;  // a pause the last player took along
    pass(202);
    EXPECT_EQ(changeSong.load(), 0) << "the player has been started";
    EXPECT_FALSE(state.paused) << "PAUSED over the new song";
    loadingSong = 0;  // "playing"
    pass(300);        // the first fade-out frame: the list was drawn before the reset
    EXPECT_EQ(listCentreRow(), 21 % 15);
    EXPECT_EQ(state.listOffset, 0);
    pass(310);
    EXPECT_EQ(listCentreRow(), (change.counterAfterKey + 1) % 15);
  }
  endPlayer();
  // A song that ended by itself: the list keeps it until the next plays.
  reset();
  pass(400);
  changeSong = 1;
  currentSong = 21;
  pass(500);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(state.listOffset, -1);
  EXPECT_EQ(flashtime, 400);
  EXPECT_EQ(listCentreRow(), 20 % 15);
}

TEST_F(Disk, CommandsReachThePlayerAndChangesAreRefusedWhileLoading) {
  EventRecorder player("musicplayerport");
  ASSERT_NE(player.port, nullptr);
  loadingSong = 1;
  press(100, KEY_DOWN);  // refused while loading: nothing sent
  press(101, KEY_UP);
  click(102, 235, 20);  // on the previous button
  EXPECT_EQ(currentSong.load(), 20);
  EXPECT_EQ(flashtime, -100);
  press(103, KEY_S);  // stop is taken while loading
  EXPECT_TRUE(state.stopped);
  ASSERT_NE(shown("STOPPED"), nullptr);
  EXPECT_EQ(shown("STOPPED")->row, 29);
  EXPECT_NE(shown("LOADING"), nullptr);
  press(104, KEY_LEFT);  // pause while stopped: sent, but "PAUSED" stays off
  EXPECT_FALSE(state.paused);
  press(105, KEY_RIGHT);
  EXPECT_FALSE(state.stopped);
  press(106, KEY_LEFT);
  EXPECT_TRUE(state.paused);
  EXPECT_NE(shown("PAUSED"), nullptr);
  press(107, KEY_LEFT);
  EXPECT_FALSE(state.paused);
  loadingSong = 0;
  press(108, KEY_DOWN);
  loadingSong = 0;
  press(109, KEY_UP);
  EXPECT_EQ(player.values(), (std::vector<int32_t>{PLAYER_STOP, PLAYER_PAUSE, PLAYER_PLAY, PLAYER_PAUSE, PLAYER_PAUSE,
                                                   PLAYER_NEXT, PLAYER_PREVIOUS}));
}

TEST_F(Disk, ButtonsAreHitByWholePercentagesOfTheScreen) {
  EventRecorder player("musicplayerport");
  ASSERT_NE(player.port, nullptr);
  const struct {
    int x, y;
    int32_t command;  // -1: nothing
  } clicks[] = {
      {231, 29, PLAYER_PREVIOUS},  // x 36%, y 6%
      {237, 29, -1},               // x 37%
      {231, 5, -1},                // y 1%
      {231, 34, -1},               // y 7%
      {192, 20, PLAYER_PREVIOUS},  // x 30%
      {260, 20, PLAYER_PAUSE},     // x 40%
      {330, 20, PLAYER_PLAY},      // x 51%
      {400, 20, PLAYER_NEXT},      // x 62%
      {428, 20, PLAYER_NEXT},      // x 66%
      {430, 20, -1},               // x 67%
  };
  size_t sent = 0;
  for (const auto &c : clicks) {
    loadingSong = 0;
    click(100, c.x, c.y);
    std::vector<int32_t> received = player.values();
    ASSERT_EQ(received.size(), sent + (c.command >= 0)) << c.x << "," << c.y;
    if (c.command >= 0) {
      EXPECT_EQ(received.back(), c.command) << c.x << "," << c.y;
    }
    sent = received.size();
  }
  IntuiMessage right{IDCMP_MOUSEBUTTONS, MENUDOWN, 0, 0};
  screen.MouseX = 400;
  pass(107, &right);
  EXPECT_EQ(player.values().size(), sent);
}

TEST_F(Disk, KeysSetCounterPlacingGravitySparksAndEsc) {
  press(100, KEY_F);
  press(101, KEY_F);  // a repeat toggles again
  press(102, KEY_F | 0x80);  // a release changes nothing
  EXPECT_EQ(fps, 0);
  press(103, 0x05);
  EXPECT_FLOAT_EQ(state.starGravity, 0.005f);
  press(104, KEY_0);
  EXPECT_FLOAT_EQ(state.starGravity, 0.010f);
  stars[50].age = 7.0f;
  press(105, KEY_F1 + 2);  // F3
  EXPECT_EQ(STARS, 30);
  EXPECT_FLOAT_EQ(stars[29].age, 29 * (1.0f / 30) + 0.01f);  // reset, then one step
  EXPECT_EQ(stars[50].age, 7.0f);                            // beyond STARS: untouched
  press(106, KEY_F);
  press(107, KEY_I);
  const TextLine *placing = shown(upper(songposition[20 % 15]));
  ASSERT_NE(placing, nullptr);
  EXPECT_EQ(placing->row, 28);  // above the frame counter
  EXPECT_FLOAT_EQ(placing->firstX, 8.0f);
  ASSERT_NE(findLine(lines, " FPS"), nullptr);
  EXPECT_EQ(findLine(lines, " FPS")->row, 29);
  EXPECT_TRUE(press(108, KEY_ESC));
  EXPECT_GT(triPos, 0) << "the last frame is still drawn";
  EXPECT_FALSE(pass(109));
}

TEST_F(Disk, TheFrameCoversTheScreenWithBandsAndPanel) {
  pass(0);  // offset 1.5 tiles: slots 7..10 above, 13..16 below
  std::vector<Quad> quads = batchQuads();
  ASSERT_GE(quads.size(), 8u);
  for (int i = 0; i < 4; i++) {
    EXPECT_EQ(quads[2 * i].slot, 7 + i);
    EXPECT_EQ(quads[2 * i + 1].slot, 13 + i);
    EXPECT_NEAR(quads[2 * i].ax, 640 / 3.0f * (i - 0.5f), 1e-3);
  }
  EXPECT_NEAR(quads[0].ay, 48, 1e-3);
  EXPECT_NEAR(quads[0].dy, 264, 1e-3);
  EXPECT_NEAR(quads[1].dy, 480, 1e-3);
  int panel = 0;
  for (const Quad &q : quads)
    if (q.slot == 5) {
      panel++;
      EXPECT_NEAR(q.ay, 0, 1e-3);
      EXPECT_NEAR(q.dy, 48, 1e-3);
    }
  EXPECT_EQ(panel, 4);
  EXPECT_EQ(quads.back().slot, 1);  // pointer and sparks last
}

TEST_F(Disk, WhenEverySongHasFailedTheOverlayFadesBackUntilAPick) {
  auto overlayAlpha = [this](int32_t t) {
    pass(t);
    float alpha = 0;
    for (const Quad &q : batchQuads()) alpha = q.slot == WATER_SLOT ? q.alpha : alpha;
    return alpha;
  };
  loadingSong = 1;
  changeSong = 1;
  flashtime = 0;
  EXPECT_EQ(overlayAlpha(150), 1.0f);
  failedInARow = numberOfSongs;
  EXPECT_NEAR(overlayAlpha(200), 0.5f, 0.02f);
  EXPECT_EQ(overlayAlpha(260), 0.0f) << "the panel and the list show";
  EXPECT_NE(shown("FAILED"), nullptr);
  press(300, KEY_DOWN);  // a pick: the overlay comes back over the usual second
  EXPECT_NEAR(overlayAlpha(350), 0.5f, 0.02f);
  EXPECT_EQ(failedInARow, 0);
  EXPECT_NE(shown("LOADING"), nullptr);
}

// A player that accepts nothing (its queue of connections full) while 200
// pauses arrive: no pass waits for it, and once it takes its connections,
// every pause reaches it, in order. Then one that goes silent is ended as
// hung when the watch's clock says so, not a moment before.
TEST_F(Disk, APlayerThatAcceptsNothingHoldsNoPassLosesNoCommandAndIsJudgedByItsSilence) {
  useStandInPlayer();
  PublicPort *port = createPublicPort(PLAYER_PORT);
  ASSERT_NE(port, nullptr);
  std::vector<int> waiting;  // connections nobody accepts: the queue fills
  for (int fd; (fd = rawConnect(scratch.portFile(PLAYER_PORT), true)) >= 0;) waiting.push_back(fd);
  ASSERT_GE(waiting.size(), 32u);
  state.nowMs = nowMs();
  endPlayer();  // any player of an earlier test
  changeSong = 1;
  loadingSong = 1;
  pass(100);
  pass(101);  // the stand-in player starts (the start looks at the previous pass)
  ASSERT_EQ(changeSong.load(), 0);
  playerPlayed = 1;
  int64_t longestPassMs = 0;
  for (int i = 0; i < 200; i++) {
    state.nowMs += 5;
    int64_t before = nowMs();
    press(200 + i, KEY_LEFT);
    longestPassMs = std::max(longestPassMs, nowMs() - before);
  }
  EXPECT_LT(longestPassMs, FRAME_BOUND_MS);
  EXPECT_EQ(playerCommandsWaiting(), 200);
  for (int fd : waiting) close(fd);
  std::vector<int32_t> received;
  for (int64_t giveUp = nowMs() + 5000; received.size() < 200 && nowMs() < giveUp;) {
    MusicMessage message;
    if (waitPublicPort(port, 1, -1) == PORT_READY && getPortMessage(port, &message)) {
      received.push_back(message.value);
      replyPortMessage(port, &message);
    }
    state.nowMs += 5;
    pass(500);
  }
  EXPECT_EQ(received, std::vector<int32_t>(200, PLAYER_PAUSE));
  EXPECT_EQ(playerCommandsWaiting(), 0);
  // Silent from here on: the verdict comes PLAYER_HANG_VERDICT_MS after the
  // command that waits, the last answer having come before it.
  const int32_t hung = playersEndedAsHung;
  state.nowMs += 100;
  press(600, KEY_LEFT);
  state.nowMs += PLAYER_HANG_VERDICT_MS - 1;
  pass(601);
  EXPECT_EQ(playersEndedAsHung, hung) << "ended before the verdict";
  state.nowMs += 1;
  pass(602);
  EXPECT_EQ(playersEndedAsHung, hung + 1);
  deletePublicPort(port);
}
