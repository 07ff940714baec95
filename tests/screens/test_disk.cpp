// The disk screen driven pass by pass: its reaction to keys and buttons, the
// song list around a song change, and what a frame shows.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <sys/eventfd.h>

#include <cctype>
#include <cmath>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "batch_reader.h"
#include "display/display.h"
#include "draw/batch.h"
#include "music/music.h"
#include "platform/ports.h"
#include "screens/disk.h"
#include "screens/effects.h"

namespace {

W3D_Screen screen;

// A player's port on a thread of its own that records every command.
struct RecordingPlayer {
  PublicPort *port = nullptr;
  int stopFd = -1;
  std::thread thread;
  std::mutex mutex;
  std::vector<int32_t> commands;

  bool start() {
    port = createPublicPort("musicplayerport");
    stopFd = eventfd(0, EFD_CLOEXEC);
    if (!port || stopFd < 0) return false;
    thread = std::thread([this] {
      MusicMessage message;
      while (waitPublicPort(port, -1, stopFd) == PORT_READY) {
        while (getPortMessage(port, &message)) {
          {
            std::lock_guard<std::mutex> lock(mutex);
            commands.push_back(message.value);
          }
          replyPortMessage(port, &message);
        }
      }
    });
    return true;
  }
  std::vector<int32_t> received() {
    std::lock_guard<std::mutex> lock(mutex);
    return commands;
  }
  ~RecordingPlayer() {
    if (stopFd >= 0) {
      uint64_t one = 1;
      if (write(stopFd, &one, sizeof one) < 0) perror("eventfd");
    }
    if (thread.joinable()) thread.join();
    deletePublicPort(port);
    if (stopFd >= 0) close(stopFd);
  }
};

class Disk : public ::testing::Test {
 protected:
  void SetUp() override {
    // No player and no handler: commands find no port and return at once.
    snprintf(runtimeDir, sizeof runtimeDir, "/tmp/disktest-XXXXXX");
    ASSERT_NE(mkdtemp(runtimeDir), nullptr);
    setenv("XDG_RUNTIME_DIR", runtimeDir, 1);
    SCREEN_WIDTH = 640;
    SCREEN_HEIGHT = 480;
    savedScreen = w3d_Screen;
    w3d_Screen = &screen;
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
    std::string cmd = std::string("rm -rf ") + runtimeDir;
    EXPECT_EQ(system(cmd.c_str()), 0);
  }
  bool pass(int32_t t, const IntuiMessage *message = nullptr) { return diskPass(&state, t, message); }
  bool press(int32_t t, uint16_t code) {
    IntuiMessage m{IDCMP_RAWKEY, code, 0, 0};
    return pass(t, &m);
  }
  void click(int32_t t, int x, int y) {
    screen.MouseX = (int16_t)x;
    screen.MouseY = (int16_t)y;
    IntuiMessage m{IDCMP_MOUSEBUTTONS, SELECTDOWN, (int16_t)x, (int16_t)y};
    pass(t, &m);
  }
  // The row of songnames2 shown bright in the middle of the list.
  int listCentreRow() {
    std::vector<TextLine> lines = batchTextLines();
    const TextLine *line = nullptr;
    for (const TextLine &l : lines)
      if (l.row == 5 && l.alpha == 1.0f) line = &l;
    if (!line) return -1;
    for (int r = 0; r < numberOfSongs; r++)
      if (line->text.find(upper(songnames2[r])) != std::string::npos) return r;
    return -1;
  }
  char runtimeDir[64];
  W3D_Screen *savedScreen;
  DiskState state;
};

}  // namespace

TEST_F(Disk, TheListShowsFiveTitlesAroundTheCurrentSong) {
  currentSong = 16;
  pass(10);
  std::vector<TextLine> lines = batchTextLines();
  const int expected[5] = {14, 0, 1, 2, 3};
  const float alphas[5] = {0.05f, 0.15f, 1.0f, 0.15f, 0.05f};
  for (int d = 0; d < 5; d++) {
    const TextLine *line = findLine(lines, upper(songnames2[expected[d]]));
    ASSERT_NE(line, nullptr) << songnames2[expected[d]];
    EXPECT_EQ(line->row, 3 + d);
    EXPECT_EQ(line->alpha, alphas[d]);
  }
  currentSong = 1;
  pass(20);
  EXPECT_EQ(currentSong.load(), 16);
}

TEST_F(Disk, PreviousMovesTheCounterBackTwoAndTheListFollowsTheSongChange) {
  press(100, KEY_UP);
  EXPECT_EQ(currentSong.load(), 18);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(state.listOffset, 2);
  EXPECT_EQ(flashtime, 100);
  EXPECT_EQ(listCentreRow(), 20 % 15);

  // The player's "song ended", as the handler applies it.
  currentSong.fetch_add(1);
  changeSong = 1;
  pass(150);
  EXPECT_EQ(listCentreRow(), 21 % 15);
  EXPECT_EQ(changeSong.load(), 1);  // not a second before the change began
  pass(201);  // the start uses the previous pass's time: 150
  EXPECT_EQ(changeSong.load(), 1);
  pass(202);
  EXPECT_EQ(changeSong.load(), 0);  // the player command has run

  loadingSong = 0;  // "playing"
  pass(300);        // first fade-out frame: the list was drawn before the reset
  EXPECT_EQ(listCentreRow(), 21 % 15);
  EXPECT_EQ(state.listOffset, 0);
  pass(310);
  EXPECT_EQ(listCentreRow(), 19 % 15);
}

TEST_F(Disk, NextAndPreviousAreRefusedWhileLoadingButStopIsNot) {
  loadingSong = 1;
  press(100, KEY_DOWN);
  press(101, KEY_UP);
  click(102, 235, 20);  // on the previous button
  EXPECT_EQ(currentSong.load(), 20);
  EXPECT_EQ(flashtime, -100);
  EXPECT_EQ(state.listOffset, 0);

  press(103, KEY_S);
  EXPECT_TRUE(state.stopped);
  EXPECT_EQ(loadingSong.load(), 1);
  std::vector<TextLine> lines = batchTextLines();
  ASSERT_NE(findLine(lines, "STOPPED"), nullptr);
  EXPECT_EQ(findLine(lines, "STOPPED")->row, 29);
  EXPECT_NE(findLine(lines, "LOADING"), nullptr);
}

TEST_F(Disk, NextStartsTheChangeAndTheListStaysUntilTheSongEnds) {
  press(100, KEY_DOWN);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(flashtime, 100);
  pass(120);
  EXPECT_EQ(listCentreRow(), 20 % 15);
  currentSong.fetch_add(1);
  changeSong = 1;
  pass(130);
  EXPECT_EQ(listCentreRow(), 21 % 15);
}

TEST_F(Disk, PauseAndPlayFlags) {
  press(100, KEY_LEFT);
  EXPECT_TRUE(state.paused);
  EXPECT_NE(findLine(batchTextLines(), "PAUSED"), nullptr);
  press(101, KEY_LEFT);
  EXPECT_FALSE(state.paused);
  press(102, KEY_S);
  press(103, KEY_LEFT);  // pause while stopped leaves "PAUSED" off
  EXPECT_FALSE(state.paused);
  EXPECT_TRUE(state.stopped);
  press(104, KEY_RIGHT);
  EXPECT_FALSE(state.paused);
  EXPECT_FALSE(state.stopped);
}

TEST_F(Disk, ButtonsAreHitByWholePercentagesOfTheScreen) {
  // px = 36 (x 231) and py = 6 (y 29) hit the previous button.
  click(100, 231, 29);
  EXPECT_EQ(currentSong.load(), 18);
  loadingSong = 0;
  click(101, 237, 29);  // px 37
  click(102, 231, 5);   // py 1
  click(103, 231, 34);  // py 7
  EXPECT_EQ(currentSong.load(), 18);
  click(104, 260, 20);  // pause button, px 40
  EXPECT_TRUE(state.paused);
  click(105, 330, 20);  // play button, px 51
  EXPECT_FALSE(state.paused);
  click(106, 400, 20);  // next button, px 62
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(flashtime, 106);
  IntuiMessage right{IDCMP_MOUSEBUTTONS, MENUDOWN, 0, 0};
  loadingSong = 0;
  pass(107, &right);
  EXPECT_EQ(loadingSong.load(), 0);
}

TEST_F(Disk, KeysSetCounterPlacingGravityAndSparks) {
  press(100, KEY_F);
  EXPECT_EQ(fps, 1);
  press(101, KEY_F);  // a repeat toggles again
  EXPECT_EQ(fps, 0);
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
  EXPECT_EQ(stars[50].age, 7.0f);                             // beyond STARS: untouched

  press(106, KEY_F);
  press(107, KEY_I);
  std::vector<TextLine> lines = batchTextLines();
  const TextLine *placing = findLine(lines, upper(songposition[20 % 15]));
  ASSERT_NE(placing, nullptr);
  EXPECT_EQ(placing->row, 28);  // above the frame counter
  EXPECT_FLOAT_EQ(placing->firstX, 8.0f);
  ASSERT_NE(findLine(lines, " FPS"), nullptr);
  EXPECT_EQ(findLine(lines, " FPS")->row, 29);
}

TEST_F(Disk, EscEndsTheLoopAfterItsFrameIsDrawn) {
  EXPECT_TRUE(press(100, KEY_ESC));
  EXPECT_GT(triPos, 0);
  EXPECT_FALSE(pass(101));  // cleared at the start of every pass
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

TEST_F(Disk, CommandsReachThePlayerAndRefusedChangesSendNothing) {
  RecordingPlayer player;
  ASSERT_TRUE(player.start());
  loadingSong = 1;
  press(100, KEY_DOWN);   // refused while loading: nothing sent
  press(101, KEY_S);      // stop is sent while loading
  press(102, KEY_LEFT);   // pause: sent, "PAUSED" stays off while stopped
  press(103, KEY_RIGHT);  // play
  loadingSong = 0;
  press(104, KEY_DOWN);
  loadingSong = 0;
  press(105, KEY_UP);
  EXPECT_EQ(player.received(),
            (std::vector<int32_t>{PLAYER_STOP, PLAYER_PAUSE, PLAYER_PLAY, PLAYER_NEXT, PLAYER_PREVIOUS}));
}
