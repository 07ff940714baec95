// syncmusic against real owners on real sockets: a missing port, a receiver
// that answers, one that closes without answering and one that never does.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/eventfd.h>

#include <atomic>
#include <cstring>
#include <thread>

#include "music/music.h"
#include "platform/ports.h"
#include "scratch.h"

namespace {

enum class Receiver { Answers, ClosesWithoutReply, NeverReplies };

// An owner of portName on its own thread that takes one message and treats
// it as told. It ends when stopped.
struct ReceiverThread {
  PublicPort *port = nullptr;
  int stop = eventfd(0, EFD_CLOEXEC);
  std::atomic<int32_t> taken{-12345};
  std::thread thread;

  ReceiverThread(const char *portName, Receiver behaviour) {
    port = createPublicPort(portName);
    if (!port) return;
    thread = std::thread([this, behaviour] {
      while (waitPublicPort(port, -1, stop) == PORT_READY) {
        MusicMessage message;
        while (getPortMessage(port, &message)) {
          taken = message.value;
          if (behaviour == Receiver::Answers) {
            message.value += 1000;
            replyPortMessage(port, &message);
          } else if (behaviour == Receiver::NeverReplies) {
            // Hold the message until told to stop.
            pollfd pfd = {stop, POLLIN, 0};
            poll(&pfd, 1, -1);
            return;
          }
          // ClosesWithoutReply: taking the next message (or deleting the
          // port) drops this one.
        }
      }
    });
  }
  ~ReceiverThread() {
    uint64_t one = 1;
    if (write(stop, &one, sizeof one) != sizeof one) ADD_FAILURE();
    if (thread.joinable()) thread.join();
    deletePublicPort(port);
    close(stop);
  }
};

class Syncmusic : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
};

TEST_F(Syncmusic, NoPlayerGivesMinusOneWithoutWaiting) {
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), -1);  // not even a port directory
  ReceiverThread handler("demoport", Receiver::Answers);
  ASSERT_NE(handler.port, nullptr);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PAUSE), -1);  // a directory, no player
  EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
}

TEST_F(Syncmusic, ReturnsTheRepliedValue) {
  ReceiverThread player("musicplayerport", Receiver::Answers);
  ASSERT_NE(player.port, nullptr);
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_NEXT), PLAYER_NEXT + 1000);
  EXPECT_EQ(player.taken.load(), PLAYER_NEXT);
  EXPECT_EQ(syncmusic("musicplayerport", -1), 999);
}

TEST_F(Syncmusic, ReceiverThatNeverRepliesGivesMinusOneAfterTheBound) {
  ReceiverThread player("musicplayerport", Receiver::NeverReplies);
  ASSERT_NE(player.port, nullptr);
  int64_t start = nowMs();
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_PLAY), -1);
  int64_t waited = nowMs() - start;
  EXPECT_EQ(player.taken.load(), PLAYER_PLAY) << "the message was delivered";
  EXPECT_GE(waited, SYNCMUSIC_REPLY_TIMEOUT_MS - 5);
  EXPECT_LT(waited, SYNCMUSIC_REPLY_TIMEOUT_MS * 2);
}

TEST_F(Syncmusic, ReceiverThatClosesWithoutReplyGivesMinusOneAtOnce) {
  ReceiverThread player("musicplayerport", Receiver::ClosesWithoutReply);
  ASSERT_NE(player.port, nullptr);
  int64_t start = nowMs();
  int32_t secondResult = 0;
  std::thread second([&secondResult] { secondResult = syncmusic("musicplayerport", PLAYER_STOP); });
  EXPECT_EQ(syncmusic("musicplayerport", PLAYER_STOP), -1);
  second.join();
  EXPECT_EQ(secondResult, -1);
  EXPECT_LT(nowMs() - start, SYNCMUSIC_REPLY_TIMEOUT_MS);
}

TEST_F(Syncmusic, MessageOnTheWireHasTheExecLayout) {
  // Catch the raw bytes with a port of our own.
  PublicPort *port = createPublicPort("rawport");
  ASSERT_NE(port, nullptr);
  std::atomic<bool> done{false};
  unsigned char bytes[PORT_MESSAGE_SIZE] = {};
  std::thread owner([&] {
    while (!done && waitPublicPort(port, 100, -1) != PORT_FAILED) {
      if (getPortMessage(port, bytes)) {
        replyPortMessage(port, bytes);
        done = true;
      }
    }
  });
  EXPECT_EQ(syncmusic("rawport", 0x01020304), 0x01020304);
  owner.join();
  deletePublicPort(port);
  const unsigned char expectedHeader[20] = {0, 0, 0, 0, 0, 0, 0, 0, 5, 0, 0, 0, 0, 0, 0, 0, 0, 0, 24, 0};
  int32_t value;
  memcpy(&value, bytes + 20, 4);
  uint16_t length;
  memcpy(&length, bytes + 18, 2);
  EXPECT_EQ(memcmp(bytes, expectedHeader, 18), 0);
  EXPECT_EQ(length, 24);
  EXPECT_EQ(value, 0x01020304);
}

}  // namespace
