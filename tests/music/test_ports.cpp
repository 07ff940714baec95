// The port layer with real sockets: the port directory's checks, one message
// and its reply, takeover of a dead owner's socket and refusal of a live
// one, connections that carry no proper message, and senders of another user.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "platform/ports.h"
#include "scratch.h"

namespace {

// A message as the musicdisk puts it on the wire.
void makeMessage(unsigned char *bytes, int32_t value) {
  memset(bytes, 0, PORT_MESSAGE_SIZE);
  bytes[8] = 5;
  uint16_t length = PORT_MESSAGE_SIZE;
  memcpy(bytes + 18, &length, sizeof length);
  memcpy(bytes + 20, &value, sizeof value);
}

int32_t valueOf(const unsigned char *bytes) {
  int32_t value;
  memcpy(&value, bytes + 20, sizeof value);
  return value;
}

// Lets the owner take whatever has arrived, replying value + 100; the
// number of messages taken.
int serveOnce(PublicPort *port) {
  int taken = 0;
  if (waitPublicPort(port, 1000, -1) != PORT_READY) return 0;
  unsigned char message[PORT_MESSAGE_SIZE];
  while (getPortMessage(port, message)) {
    taken++;
    int32_t value = valueOf(message) + 100;
    memcpy(message + 20, &value, sizeof value);
    replyPortMessage(port, message);
  }
  return taken;
}

// One message there and back, sender and owner in this thread: the value
// replied, or -1 when it did not travel.
int32_t roundTrip(PublicPort *port, const char *name, int32_t value) {
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, value);
  MsgPort replyPort;
  if (!putToPublicPort(name, message, &replyPort)) return -1;
  serveOnce(port);
  bool ok = waitForReply(&replyPort, message, 1000);
  closeReplyPort(&replyPort);
  return ok ? valueOf(message) : -1;
}

class Ports : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
};

TEST_F(Ports, TheDirectoryIsPrivateAndRefusedWhenOthersCouldPlantAPort) {
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  EXPECT_EQ(scratch.portDir(), dir);
  struct stat st;
  ASSERT_EQ(lstat(dir, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);

  const std::function<void(const std::string &)> spoil[] = {
      [](const std::string &d) { chmod(d.c_str(), 0755); },                        // open to others
      [](const std::string &d) { EXPECT_EQ(chown(d.c_str(), 65534, 65534), 0); },  // another user's
      [](const std::string &d) {                                                   // a link to a directory elsewhere
        mkdir((d + "-elsewhere").c_str(), 0700);
        EXPECT_EQ(symlink((d + "-elsewhere").c_str(), d.c_str()), 0);
      },
  };
  for (int k = 0; k < 3; k++) {
    if (k == 1 && geteuid() != 0) continue;  // only root can give the directory away
    ScratchDirectory own;
    if (k != 2) {
      ASSERT_EQ(mkdir(own.portDir().c_str(), 0700), 0);
    }
    spoil[k](own.portDir());
    char path[256];
    EXPECT_FALSE(portDirectory(path, sizeof path, true));
    EXPECT_EQ(createPublicPort("demoport"), nullptr);
    unsigned char message[PORT_MESSAGE_SIZE];
    makeMessage(message, 1);
    MsgPort replyPort;
    EXPECT_FALSE(putToPublicPort("demoport", message, &replyPort));
  }
  for (const std::string &name : {std::string(), std::string("a/b"), std::string(".."), std::string(200, 'x')})
    EXPECT_EQ(createPublicPort(name.c_str()), nullptr) << name;
  setenv("XDG_RUNTIME_DIR", "relative/not/allowed", 1);
  portDirectory(dir, sizeof dir, false);
  EXPECT_EQ(std::string(dir), "/tmp/musicdisk-" + std::to_string(geteuid()));
}

// Taking over a dead owner's socket and leaving a live one's alone is the
// music handler's test; here, what else may lie under a port's name.
TEST_F(Ports, ANewOwnersFileOutlivesTheOldOwnerAndAnotherFileIsLeftAlone) {
  PublicPort *port = createPublicPort("musicplayerport");
  ASSERT_NE(port, nullptr);
  std::string path = scratch.portFile("musicplayerport");
  unlink(path.c_str());
  PublicPort *fresh = createPublicPort("musicplayerport");
  ASSERT_NE(fresh, nullptr);
  deletePublicPort(port);
  EXPECT_EQ(roundTrip(fresh, "musicplayerport", 0), 100) << "the new owner's file survived";
  deletePublicPort(fresh);
  struct stat st;
  EXPECT_NE(lstat(path.c_str(), &st), 0) << "the socket file is removed with the port";

  FILE *f = fopen(scratch.portFile("demoport").c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
  ASSERT_EQ(lstat(scratch.portFile("demoport").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(Ports, AWithdrawnPortTakesNoMessageButRepliesTheOneInHand) {
  PublicPort *port = createPublicPort("musicplayerport");
  ASSERT_NE(port, nullptr);
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, 2);
  MsgPort first, second, late;
  ASSERT_TRUE(putToPublicPort("musicplayerport", message, &first));
  ASSERT_TRUE(putToPublicPort("musicplayerport", message, &second));
  ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
  ASSERT_TRUE(getPortMessage(port, message));
  withdrawPublicPort(port);
  EXPECT_FALSE(putToPublicPort("musicplayerport", message, &late)) << "the name is gone";
  EXPECT_TRUE(replyPortMessage(port, message));
  EXPECT_TRUE(waitForReply(&first, message, 1000));
  int64_t start = nowMs();
  EXPECT_FALSE(waitForReply(&second, message, 2000)) << "a queued sender is let go";
  EXPECT_LT(nowMs() - start, 1000);
  EXPECT_EQ(waitPublicPort(port, -1, -1), PORT_FAILED);
  closeReplyPort(&first);
  closeReplyPort(&second);
  deletePublicPort(port);
}

TEST_F(Ports, WhatIsNoMessageIsDroppedAndServingGoesOn) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  std::string path = scratch.portFile("demoport");
  unsigned char good[PORT_MESSAGE_SIZE + 1] = {}, wrongType[PORT_MESSAGE_SIZE];
  makeMessage(good, 1);
  makeMessage(wrongType, 1);
  wrongType[8] = 4;
  const struct {
    const void *bytes;
    size_t size;
  } cases[] = {{good, 10}, {good, PORT_MESSAGE_SIZE + 1}, {wrongType, PORT_MESSAGE_SIZE}, {good, 0}};
  for (const auto &c : cases) {
    int fd = rawConnect(path);
    ASSERT_GE(fd, 0);
    if (c.size > 0)
      ASSERT_EQ(send(fd, c.bytes, c.size, MSG_NOSIGNAL), ssize_t(c.size));
    else
      shutdown(fd, SHUT_WR);  // closes without a message
    ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
    EXPECT_FALSE(getPortMessage(port, good)) << "size " << c.size;
    char buffer[64];
    EXPECT_EQ(recv(fd, buffer, sizeof buffer, 0), 0) << "closed without a reply, size " << c.size;
    close(fd);
  }
  // A silent connection holds up nobody, and goes once its time is up.
  int silent = rawConnect(path);
  ASSERT_GE(silent, 0);
  EXPECT_EQ(roundTrip(port, "demoport", 3), 103);
  int64_t start = nowMs();
  while (nowMs() - start < PENDING_CONNECTION_LIMIT_MS + 1000) waitPublicPort(port, 200, -1);
  char buffer[64];
  EXPECT_EQ(recv(silent, buffer, sizeof buffer, MSG_DONTWAIT), 0) << "closed by the owner";
  close(silent);
  deletePublicPort(port);
}

TEST_F(Ports, ASenderOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  // Let the other user reach the socket at all.
  ASSERT_EQ(chmod(scratch.path.c_str(), 0755), 0);
  ASSERT_EQ(chmod(scratch.portDir().c_str(), 0711), 0);
  std::string path = scratch.portFile("demoport");
  ASSERT_EQ(chmod(path.c_str(), 0777), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls here. Exit 0: refused without a reply
    // (closed before the send, or after it unread).
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.c_str(), path.size());
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) _exit(11);
    unsigned char message[PORT_MESSAGE_SIZE] = {};
    message[8] = 5;
    message[18] = PORT_MESSAGE_SIZE;  // little-endian length
    if (send(fd, message, sizeof message, MSG_NOSIGNAL) != sizeof message)
      _exit(errno == EPIPE || errno == ECONNRESET ? 0 : 12);
    char reply[64];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    _exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : 13);
  }
  int status = 0, taken = 0;
  bool ended = false;
  for (int64_t giveUp = nowMs() + 5000; !(ended = waitpid(child, &status, WNOHANG) == child) && nowMs() < giveUp;)
    taken += serveOnce(port);
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(taken, 0) << "no message of another user is taken";
  ASSERT_TRUE(ended && WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  chmod(scratch.portDir().c_str(), 0700);
  EXPECT_EQ(roundTrip(port, "demoport", 1), 101) << "the owner keeps serving";
  deletePublicPort(port);
}

}  // namespace
