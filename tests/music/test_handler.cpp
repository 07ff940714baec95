// The music handler as a real thread on a real "demoport": the event table,
// the gate on musicdisk, replies to everything, and the ways it ends.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <thread>
#include <vector>

#include "music/music.h"
#include "platform/ports.h"
#include "platform/task.h"
#include "scratch.h"

namespace {

class Handler : public ::testing::Test {
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
    int64_t giveUp = nowMs() + 5000;
    while (syncmusic("demoport", 7) != 7) {
      ASSERT_LT(nowMs(), giveUp) << "demoport never answered";
      usleep(1000);
    }
  }
  bool portFileExists() {
    struct stat st;
    return lstat(scratch.portFile("demoport").c_str(), &st) == 0;
  }
};

TEST_F(Handler, EventsBeforeTheDiskScreenAreRepliedAndChangeNothing) {
  startHandler();
  EXPECT_EQ(syncmusic("demoport", EVENT_SONG_ENDED), EVENT_SONG_ENDED);
  EXPECT_EQ(syncmusic("demoport", EVENT_PLAYING), EVENT_PLAYING);
  EXPECT_EQ(syncmusic("demoport", HANDLER_QUIT), HANDLER_QUIT);
  EXPECT_EQ(currentSong.load(), 15);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(changeSong.load(), 0);
  EXPECT_TRUE(portFileExists()) << "a stop request before the disk screen is ignored too";
  EXPECT_EQ(syncmusic("demoport", 7), 7);
}

TEST_F(Handler, PlayingAndLoadingSetTheLoadingFlag) {
  startHandler();
  musicdisk = 1;
  EXPECT_EQ(syncmusic("demoport", EVENT_PLAYING), EVENT_PLAYING);
  EXPECT_EQ(loadingSong.load(), 0);
  EXPECT_EQ(syncmusic("demoport", EVENT_LOADING), EVENT_LOADING);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(changeSong.load(), 0);
  EXPECT_EQ(currentSong.load(), 15);
}

TEST_F(Handler, TwoSongEndsBeforeAStartAdvanceByTwoAndAskForOneStart) {
  startHandler();
  musicdisk = 1;
  EXPECT_EQ(syncmusic("demoport", EVENT_SONG_ENDED), EVENT_SONG_ENDED);
  EXPECT_EQ(syncmusic("demoport", EVENT_SONG_ENDED), EVENT_SONG_ENDED);
  EXPECT_EQ(currentSong.load(), 17);
  EXPECT_EQ(changeSong.load(), 1);
  EXPECT_EQ(loadingSong.load(), 1);
}

TEST_F(Handler, OtherValuesAreRepliedAndIgnored) {
  startHandler();
  musicdisk = 1;
  for (int32_t value : {7, 3, -2, 1 << 30}) {
    EXPECT_EQ(syncmusic("demoport", value), value);
  }
  EXPECT_EQ(currentSong.load(), 15);
  EXPECT_EQ(loadingSong.load(), 1);
  EXPECT_EQ(changeSong.load(), 0);
  EXPECT_TRUE(portFileExists());
}

TEST_F(Handler, QuitIsRepliedThenTheSecondFindsNoPort) {
  startHandler();
  musicdisk = 1;
  // Send the stop request by hand, to tell its reply (value -1) from a failure.
  MusicMessage message = {};
  message.type = 5;
  message.length = sizeof message;
  message.value = HANDLER_QUIT;
  MsgPort replyPort;
  ASSERT_TRUE(SafePutToPort(&message, "demoport", &replyPort));
  MusicMessage reply;
  EXPECT_TRUE(waitForReply(&replyPort, &reply, SYNCMUSIC_REPLY_TIMEOUT_MS));
  EXPECT_EQ(reply.value, HANDLER_QUIT);
  closeReplyPort(&replyPort);

  EXPECT_FALSE(portFileExists()) << "the port is gone once the stop is replied";
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("demoport", HANDLER_QUIT), -1);
  EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
}

TEST_F(Handler, ManySendersAtOnceAreAllRepliedAndNoIncrementIsLost) {
  startHandler();
  musicdisk = 1;
  constexpr int SENDERS = 8, EACH = 50;
  std::vector<std::thread> senders;
  std::atomic<int> replied{0};
  for (int s = 0; s < SENDERS; s++) {
    senders.emplace_back([&replied] {
      for (int i = 0; i < EACH; i++)
        if (syncmusic("demoport", EVENT_SONG_ENDED) == EVENT_SONG_ENDED) replied++;
    });
  }
  // The main task's own changes meanwhile: read-modify-writes, like the
  // disk screen's "previous" and wrap.
  for (int i = 0; i < 100; i++) {
    currentSong.fetch_sub(2);
    currentSong.fetch_add(2);
  }
  for (std::thread &t : senders) t.join();
  EXPECT_EQ(replied.load(), SENDERS * EACH);
  EXPECT_EQ(currentSong.load(), 15 + SENDERS * EACH);
  EXPECT_EQ(changeSong.load(), 1);
}

TEST_F(Handler, SilentAndVanishingSendersNeverHoldItUp) {
  startHandler();
  musicdisk = 1;
  int silent = rawConnect(scratch.portFile("demoport"));
  ASSERT_GE(silent, 0);
  // A sender that puts its message and goes before the reply.
  int gone = rawConnect(scratch.portFile("demoport"));
  ASSERT_GE(gone, 0);
  MusicMessage message = {};
  message.type = 5;
  message.length = sizeof message;
  message.value = EVENT_SONG_ENDED;
  ASSERT_EQ(send(gone, &message, sizeof message, MSG_NOSIGNAL), static_cast<ssize_t>(sizeof message));
  close(gone);
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("demoport", EVENT_PLAYING), EVENT_PLAYING);
  EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
  EXPECT_EQ(loadingSong.load(), 0);
  EXPECT_EQ(currentSong.load(), 16) << "a message put is acted on, even if its sender left";
  close(silent);
  EXPECT_EQ(syncmusic("demoport", 7), 7);
}

TEST_F(Handler, DeletingTheTaskEndsItAndRemovesItsPort) {
  startHandler();
  musicdisk = 1;
  ASSERT_TRUE(portFileExists());
  deleteTask(task);
  task = nullptr;
  EXPECT_FALSE(portFileExists());
  EXPECT_EQ(syncmusic("demoport", EVENT_PLAYING), -1);
}

TEST_F(Handler, APortHeldByALiveOwnerIsReportedAndTheTaskEnds) {
  PublicPort *other = createPublicPort("demoport");
  ASSERT_NE(other, nullptr);
  testing::internal::CaptureStderr();
  task = createTask(subtaskname, musichandler);
  ASSERT_NE(task, nullptr);
  deleteTask(task);  // joins: the handler has ended by itself
  task = nullptr;
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to create messageport!\n");
  EXPECT_TRUE(portFileExists()) << "the other owner's port is left alone";
  deletePublicPort(other);
}

TEST_F(Handler, ADeadHandlersPortIsTakenOverByTheNext) {
  startHandler();
  // Leave the socket file behind as a crashed program would.
  std::string path = scratch.portFile("demoport");
  std::string keep = path + ".keep";
  ASSERT_EQ(link(path.c_str(), keep.c_str()), 0);
  deleteTask(task);
  ASSERT_EQ(rename(keep.c_str(), path.c_str()), 0);
  startHandler();
  EXPECT_EQ(syncmusic("demoport", 7), 7);
}

}  // namespace
