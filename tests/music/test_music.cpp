// The musicdisk's side of the music on real ports and real processes:
// syncmusic against no port, an owner that answers and one that never does;
// the music handler as a real thread on "demoport"; players started from a
// scratch data directory where a stand-in records what it was given.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <atomic>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "music/music.h"
#include "ports/ports.h"
#include "platform/spawn.h"
#include "platform/task.h"
#include "scratch.h"

namespace {

class Music : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
  MusicTask *task = nullptr;

  void SetUp() override {
    currentSong = 15;
    loadingSong = 1;
    changeSong = 0;
    musicdisk = 0;
  }
  void TearDown() override {
    deleteTask(task);
    musicdisk = 0;
  }
  // Starts the handler and waits until its port answers.
  void startHandler() {
    task = createTask(subtaskname, musichandler);
    ASSERT_NE(task, nullptr);
    for (int64_t giveUp = nowMs() + 5000; syncmusic("demoport", 7) != 7; usleep(1000))
      ASSERT_LT(nowMs(), giveUp) << "demoport never answered";
  }
  bool handlerPortExists() const { return scratch.hasPortFile(HANDLER_PORT); }
};

TEST_F(Music, SyncmusicPutsAnExecMessageAndReturnsTheReply) {
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), -1);  // not even a port directory
  {
    EventRecorder player("musicplayerport", Answer::Plus1000);
    ASSERT_NE(player.port, nullptr);
    EXPECT_EQ(syncmusic("demoport", PLAYER_PAUSE), -1);  // a directory, no such port
    EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
    EXPECT_EQ(syncmusic("musicplayerport", 0x01020304), 0x01020304 + 1000);
  }
  // An owner that never answers lets the sender go after the timeout.
  EventRecorder player(PLAYER_PORT, Answer::Never);
  ASSERT_NE(player.port, nullptr);
  start = nowMs();
  EXPECT_EQ(syncmusic(PLAYER_PORT, PLAYER_STOP), -1);
  EXPECT_GE(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS - 5);
  EXPECT_LT(nowMs() - start, 2 * SYNCMUSIC_REPLY_TIMEOUT_MS);
  EXPECT_GE(player.waitFor(PLAYER_STOP, 0), 0) << "the message was delivered";
}

TEST_F(Music, TheHandlerActsOnEventsOnlyOnTheDiskScreenAndRepliesToAll) {
  startHandler();
  EXPECT_EQ(createPublicPort(HANDLER_PORT), nullptr) << "a live owner's port is not taken over";
  for (int32_t value : {EVENT_SONG_ENDED, EVENT_PLAYING, HANDLER_QUIT}) EXPECT_EQ(syncmusic("demoport", value), value);
  EXPECT_EQ(currentSong.load(), 15);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(changeSong.load(), 0);
  EXPECT_TRUE(handlerPortExists()) << "a stop request before the disk screen is ignored too";

  musicdisk = 1;
  const struct {
    int32_t event, currentSong;
    int16_t loadingSong, changeSong;
  } steps[] = {
      {EVENT_PLAYING, 15, 0, 0},
      {EVENT_LOADING, 15, 1, 0},
      {7, 15, 1, 0},
      {-2, 15, 1, 0},
      {1 << 30, 15, 1, 0},
      {EVENT_PLAYING, 15, 0, 0},
      {EVENT_SONG_ENDED, 16, 0, 1},
      {EVENT_SONG_ENDED, 17, 0, 1},  // two ends before a start: two steps, one start
  };
  for (const auto &step : steps) {
    EXPECT_EQ(syncmusic("demoport", step.event), step.event);
    EXPECT_EQ(currentSong.load(), step.currentSong) << step.event;
    EXPECT_EQ(loadingSong.load(), step.loadingSong) << step.event;
    EXPECT_EQ(changeSong.load(), step.changeSong) << step.event;
  }
  // An end the watch counted itself (its report late): the report, when it
  // comes, is that same end; the next one counts.
  songEndExpected();
  EXPECT_TRUE(songEndUnreported());
  for (int32_t counter : {18, 18, 19}) {
    EXPECT_FALSE(songEndUnreported());
    EXPECT_EQ(currentSong.load(), counter);
    syncmusic(HANDLER_PORT, EVENT_SONG_ENDED);
  }
  EXPECT_EQ(currentSong.load(), 20);
  // The stop request is replied (its -1 told from a failure), and the port
  // is gone by then.
  int32_t reply = 0;
  EXPECT_EQ(sendMusicMessage(HANDLER_PORT, HANDLER_QUIT, &reply), SEND_REPLIED);
  EXPECT_EQ(reply, HANDLER_QUIT);
  EXPECT_FALSE(handlerPortExists());
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("demoport", HANDLER_QUIT), -1);
  EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
  deleteTask(task);

  // A handler whose task is deleted without a stop request takes its port along.
  startHandler();
  deleteTask(task);
  task = nullptr;
  EXPECT_FALSE(handlerPortExists());
}

TEST_F(Music, ManySendersAtOnceLoseNoStepAndSilentOnesHoldUpNobody) {
  startHandler();
  musicdisk = 1;
  int silent = rawConnect(scratch.portFile("demoport"));
  ASSERT_GE(silent, 0);
  // A sender that puts its message and goes before the reply.
  int gone = rawConnect(scratch.portFile("demoport"));
  MusicMessage message = {};
  message.type = 5;
  message.length = sizeof message;
  message.value = EVENT_SONG_ENDED;
  ASSERT_EQ(send(gone, &message, sizeof message, MSG_NOSIGNAL), ssize_t(sizeof message));
  close(gone);
  constexpr int SENDERS = 8, EACH = 50;
  std::vector<std::thread> senders;
  std::atomic<int> replied{0};
  for (int s = 0; s < SENDERS; s++)
    senders.emplace_back([&replied] {
      for (int i = 0; i < EACH; i++) replied += syncmusic("demoport", EVENT_SONG_ENDED) == EVENT_SONG_ENDED;
    });
  for (std::thread &t : senders) t.join();
  EXPECT_EQ(replied.load(), SENDERS * EACH);
  EXPECT_EQ(currentSong.load(), 15 + 1 + SENDERS * EACH) << "a message put is acted on, even if its sender left";
  close(silent);
}

class PlayerStart : public Music {
 protected:
  std::string previousDirectory, record;

  void SetUp() override {
    Music::SetUp();
    previousDirectory = std::filesystem::current_path();
    ASSERT_EQ(mkdir((scratch.path + "/musicplayer").c_str(), 0700), 0);
    ASSERT_EQ(symlink(STAND_IN_PLAYER, (scratch.path + "/musicplayer/sdlmusicplayer").c_str()), 0);
    ASSERT_EQ(chdir(scratch.path.c_str()), 0);
    record = scratch.path + "/record";
    setenv("STAND_IN_RECORD", record.c_str(), 1);
  }
  void TearDown() override {
    if (chdir(previousDirectory.c_str()) != 0) ADD_FAILURE();
    unsetenv("STAND_IN_RECORD");
    Music::TearDown();
  }
  // What the stand-in recorded, once it has.
  std::string recorded() {
    struct stat st;
    for (int64_t giveUp = nowMs() + 5000; stat(record.c_str(), &st) != 0; usleep(2000))
      if (nowMs() > giveUp) return "(nothing recorded)";
    std::ifstream in(record);
    std::stringstream text;
    text << in.rdbuf();
    unlink(record.c_str());
    return text.str();
  }
  // A player's complaints go where the musicdisk's own do.
  static std::string expected(const std::string &path, bool last) {
    char ownError[256] = {};
    if (readlink("/proc/self/fd/2", ownError, sizeof ownError - 1) < 0) strcpy(ownError, "closed");
    return "arg musicplayer/sdlmusicplayer\narg " + path + "\n" + (last ? "arg 1\n" : "") +
           "fd0 /dev/null\nfd1 /dev/null\nfd2 " + ownError + "\n";
  }
};

TEST_F(PlayerStart, EachCounterStartsItsRowOnlyTheLastRowGetsTheArgumentAndAMissingPlayerIsSaid) {
  for (int32_t counter = 15; counter < 31; counter++) {
    currentSong = counter;
    startSongPlayer(nowMs());
    int row = counter % numberOfSongs;
    EXPECT_EQ(recorded(), expected(songnames[row], row == 14)) << "counter " << counter;
  }
  // Without the player program: one line that names it.
  unlink(PLAYER_PROGRAM);
  testing::internal::CaptureStderr();
  EXPECT_EQ(startPlayer("music/one.mp3", false, nowMs()), -1);
  std::string text = testing::internal::GetCapturedStderr();
  EXPECT_NE(text.find(PLAYER_PROGRAM), std::string::npos) << text;
  EXPECT_EQ(text.find('\n'), text.size() - 1) << text;
}

// A path is one argument, never read by a shell, and is refused rather than cut.
TEST_F(PlayerStart, APathIsOneArgumentWithoutAShellAndIsRefusedRatherThanCut) {
  const char *path = "music/a b;$(touch x)'\"*.mp3";
  EXPECT_GT(startPlayer(path, false, nowMs()), 0);
  EXPECT_EQ(recorded(), expected(path, false));
  EXPECT_FALSE(std::filesystem::exists("x"));
  // The longest path that fits "run >NIL: musicplayer/sdlmusicplayer PATH 1", and one more.
  std::string fits = "music/" + std::string(PLAYER_COMMAND_SIZE - 1 - 37 - 6 - 2, 'b');
  EXPECT_GT(startPlayer(fits.c_str(), true, nowMs()), 0);
  EXPECT_EQ(recorded(), expected(fits, true));
  testing::internal::CaptureStderr();
  EXPECT_EQ(startPlayer((fits + "b").c_str(), true, nowMs()), -1);
  EXPECT_NE(testing::internal::GetCapturedStderr(), "");
}

}  // namespace
