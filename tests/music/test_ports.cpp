// The port layer with real sockets: the port directory's checks, one message
// and its reply, takeover of a dead owner's socket, refusal of a live one,
// and what the owner does with connections that carry no proper message.
#include <gtest/gtest.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <signal.h>

#include <cerrno>
#include <cstring>

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

// Lets the owner take whatever has arrived; the number of messages taken.
int serveOnce(PublicPort *port, int32_t replyAdd = 0) {
  int taken = 0;
  if (waitPublicPort(port, 1000, -1) != PORT_READY) return 0;
  unsigned char message[PORT_MESSAGE_SIZE];
  while (getPortMessage(port, message)) {
    taken++;
    int32_t value = valueOf(message) + replyAdd;
    memcpy(message + 20, &value, sizeof value);
    replyPortMessage(port, message);
  }
  return taken;
}

// One message there and back, sender and owner in this thread.
bool roundTrip(PublicPort *port, const char *name, int32_t value, int32_t *replied) {
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, value);
  MsgPort replyPort;
  if (!putToPublicPort(name, message, &replyPort)) return false;
  serveOnce(port, 100);
  unsigned char reply[PORT_MESSAGE_SIZE];
  bool ok = waitForReply(&replyPort, reply, 1000);
  closeReplyPort(&replyPort);
  if (ok) *replied = valueOf(reply);
  return ok;
}

class Ports : public ::testing::Test {
 protected:
  ScratchDirectory scratch;
};

TEST_F(Ports, DirectoryIsMadePrivateUnderTheRuntimeDirectory) {
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  EXPECT_EQ(scratch.portDir(), dir);
  struct stat st;
  ASSERT_EQ(lstat(dir, &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST_F(Ports, WithoutARuntimeDirectoryThePerUserTmpDirectoryIsNamed) {
  setenv("XDG_RUNTIME_DIR", "relative/not/allowed", 1);
  char dir[256] = {};
  portDirectory(dir, sizeof dir, false);
  EXPECT_EQ(std::string(dir), "/tmp/musicdisk-" + std::to_string(geteuid()));
}

TEST_F(Ports, DirectoryOpenToOthersIsRefused) {
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  ASSERT_EQ(chmod(dir, 0755), 0);
  EXPECT_FALSE(portDirectory(dir, sizeof dir, true));
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, 1);
  MsgPort replyPort;
  EXPECT_FALSE(putToPublicPort("demoport", message, &replyPort));
}

TEST_F(Ports, DirectoryOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to give the directory away";
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  ASSERT_EQ(chown(dir, 65534, 65534), 0);
  EXPECT_FALSE(portDirectory(dir, sizeof dir, true));
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
}

TEST_F(Ports, SymlinkInPlaceOfTheDirectoryIsRefused) {
  std::string elsewhere = scratch.path + "/elsewhere";
  ASSERT_EQ(mkdir(elsewhere.c_str(), 0700), 0);
  ASSERT_EQ(symlink(elsewhere.c_str(), scratch.portDir().c_str()), 0);
  char dir[256];
  EXPECT_FALSE(portDirectory(dir, sizeof dir, true));
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
}

TEST_F(Ports, BadNamesAreRefused) {
  EXPECT_EQ(createPublicPort(""), nullptr);
  EXPECT_EQ(createPublicPort("a/b"), nullptr);
  EXPECT_EQ(createPublicPort(".."), nullptr);
  EXPECT_EQ(createPublicPort(std::string(200, 'x').c_str()), nullptr);
}

TEST_F(Ports, MessageAndReplyTravelWhole) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  int32_t replied = 0;
  ASSERT_TRUE(roundTrip(port, "demoport", -7, &replied));
  EXPECT_EQ(replied, 93);  // the owner's changed value comes back
  deletePublicPort(port);
}

TEST_F(Ports, MissingPortIsRefusedAtOnce) {
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, 1);
  MsgPort replyPort;
  EXPECT_FALSE(putToPublicPort("musicplayerport", message, &replyPort));  // no directory yet
  PublicPort *other = createPublicPort("demoport");
  ASSERT_NE(other, nullptr);
  EXPECT_FALSE(putToPublicPort("musicplayerport", message, &replyPort));  // no such port
  EXPECT_EQ(replyPort.fd, -1);
  deletePublicPort(other);
}

TEST_F(Ports, SocketOfADeadOwnerIsTakenOver) {
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  // A dead owner's socket file: bound, then its process (here: descriptor)
  // gone, so a connect is refused.
  std::string path = scratch.portFile("musicplayerport");
  int dead = socket(AF_UNIX, SOCK_SEQPACKET, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  ASSERT_EQ(bind(dead, reinterpret_cast<sockaddr *>(&addr), sizeof addr), 0);
  ASSERT_EQ(listen(dead, 1), 0);
  close(dead);
  ASSERT_EQ(rawConnect(path), -1);
  ASSERT_EQ(errno, ECONNREFUSED);

  PublicPort *port = createPublicPort("musicplayerport");
  ASSERT_NE(port, nullptr);
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(port, "musicplayerport", 1, &replied));
  EXPECT_EQ(replied, 101);
  deletePublicPort(port);
  struct stat st;
  EXPECT_NE(lstat(path.c_str(), &st), 0) << "the socket file is removed with the port";
}

TEST_F(Ports, SocketOfALiveOwnerIsNotTakenOver) {
  PublicPort *owner = createPublicPort("demoport");
  ASSERT_NE(owner, nullptr);
  errno = 0;
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
  EXPECT_EQ(errno, EADDRINUSE);
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(owner, "demoport", 5, &replied)) << "the live owner keeps its port";
  deletePublicPort(owner);
}

TEST_F(Ports, AFileThatIsNoSocketIsLeftAlone) {
  char dir[256];
  ASSERT_TRUE(portDirectory(dir, sizeof dir, true));
  std::string path = scratch.portFile("demoport");
  FILE *f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  EXPECT_EQ(createPublicPort("demoport"), nullptr);
  struct stat st;
  ASSERT_EQ(lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
}

TEST_F(Ports, DeletingRemovesOnlyASocketFileStillOurs) {
  PublicPort *old = createPublicPort("demoport");
  ASSERT_NE(old, nullptr);
  unlink(scratch.portFile("demoport").c_str());
  PublicPort *fresh = createPublicPort("demoport");
  ASSERT_NE(fresh, nullptr);
  deletePublicPort(old);
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(fresh, "demoport", 0, &replied)) << "the new owner's file survived";
  deletePublicPort(fresh);
}

TEST_F(Ports, WithdrawnPortTakesNoMessageButRepliesTheOneInHand) {
  PublicPort *port = createPublicPort("musicplayerport");
  ASSERT_NE(port, nullptr);
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, 2);
  MsgPort first, second;
  ASSERT_TRUE(putToPublicPort("musicplayerport", message, &first));
  ASSERT_TRUE(putToPublicPort("musicplayerport", message, &second));
  ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
  unsigned char taken[PORT_MESSAGE_SIZE];
  ASSERT_TRUE(getPortMessage(port, taken));
  withdrawPublicPort(port);
  MsgPort late;
  EXPECT_FALSE(putToPublicPort("musicplayerport", message, &late)) << "the name is gone";
  EXPECT_TRUE(replyPortMessage(port, taken));
  unsigned char reply[PORT_MESSAGE_SIZE];
  EXPECT_TRUE(waitForReply(&first, reply, 1000));
  int64_t start = nowMs();
  EXPECT_FALSE(waitForReply(&second, reply, 2000)) << "a queued sender is let go";
  EXPECT_LT(nowMs() - start, 1000);
  closeReplyPort(&first);
  closeReplyPort(&second);
  deletePublicPort(port);
}

TEST_F(Ports, WrongSizesAndBrokenHeadersAreDroppedAndServingGoesOn) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  std::string path = scratch.portFile("demoport");
  unsigned char good[PORT_MESSAGE_SIZE];
  makeMessage(good, 1);
  unsigned char wrongType[PORT_MESSAGE_SIZE];
  makeMessage(wrongType, 1);
  wrongType[8] = 4;
  unsigned char longer[PORT_MESSAGE_SIZE + 1] = {};
  memcpy(longer, good, PORT_MESSAGE_SIZE);

  struct Case {
    const void *bytes;
    size_t size;
  } cases[] = {{good, 10}, {longer, sizeof longer}, {wrongType, PORT_MESSAGE_SIZE}, {good, 0}};
  for (const Case &c : cases) {
    int fd = rawConnect(path);
    ASSERT_GE(fd, 0);
    if (c.size > 0)
      ASSERT_EQ(send(fd, c.bytes, c.size, MSG_NOSIGNAL), static_cast<ssize_t>(c.size));
    else
      shutdown(fd, SHUT_WR);  // closes without a message
    ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
    unsigned char taken[PORT_MESSAGE_SIZE];
    EXPECT_FALSE(getPortMessage(port, taken)) << "size " << c.size;
    char buffer[64];
    EXPECT_EQ(recv(fd, buffer, sizeof buffer, 0), 0) << "closed without a reply, size " << c.size;
    close(fd);
  }
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(port, "demoport", 3, &replied));
  EXPECT_EQ(replied, 103);
  deletePublicPort(port);
}

TEST_F(Ports, QueuedMessagesAreTakenInOrderAndAllReplied) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  constexpr int COUNT = 10;
  MsgPort senders[COUNT];
  for (int i = 0; i < COUNT; i++) {
    unsigned char message[PORT_MESSAGE_SIZE];
    makeMessage(message, i);
    ASSERT_TRUE(putToPublicPort("demoport", message, &senders[i]));
  }
  ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
  unsigned char taken[PORT_MESSAGE_SIZE];
  for (int i = 0; i < COUNT; i++) {
    ASSERT_TRUE(getPortMessage(port, taken));
    EXPECT_EQ(valueOf(taken), i);
    EXPECT_TRUE(replyPortMessage(port, taken));
  }
  EXPECT_FALSE(getPortMessage(port, taken));
  for (int i = 0; i < COUNT; i++) {
    unsigned char reply[PORT_MESSAGE_SIZE];
    EXPECT_TRUE(waitForReply(&senders[i], reply, 1000));
    EXPECT_EQ(valueOf(reply), i);
    closeReplyPort(&senders[i]);
  }
  deletePublicPort(port);
}

TEST_F(Ports, UnrepliedMessageIsDroppedWhenTheNextIsTaken) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  unsigned char message[PORT_MESSAGE_SIZE];
  makeMessage(message, 1);
  MsgPort sender;
  ASSERT_TRUE(putToPublicPort("demoport", message, &sender));
  ASSERT_EQ(waitPublicPort(port, 1000, -1), PORT_READY);
  ASSERT_TRUE(getPortMessage(port, message));
  EXPECT_FALSE(getPortMessage(port, message));
  int64_t start = nowMs();
  EXPECT_FALSE(waitForReply(&sender, message, 2000));
  EXPECT_LT(nowMs() - start, 1000) << "the sender learns at once";
  closeReplyPort(&sender);
  deletePublicPort(port);
}

TEST_F(Ports, SilentConnectionHoldsUpNobodyAndIsDroppedInTime) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  int silent = rawConnect(scratch.portFile("demoport"));
  ASSERT_GE(silent, 0);
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(port, "demoport", 1, &replied)) << "served past the silent one";
  // The owner keeps waiting; the silent connection goes once its time is up.
  int64_t start = nowMs();
  while (nowMs() - start < PENDING_CONNECTION_LIMIT_MS + 1000) waitPublicPort(port, 200, -1);
  char buffer[64];
  EXPECT_EQ(recv(silent, buffer, sizeof buffer, MSG_DONTWAIT), 0) << "closed by the owner";
  close(silent);
  deletePublicPort(port);
}

TEST_F(Ports, WaitEndsOnTimeOutAndOnTheStopDescriptor) {
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  int stop = eventfd(0, EFD_CLOEXEC);
  int64_t start = nowMs();
  EXPECT_EQ(waitPublicPort(port, 100, stop), PORT_IDLE);
  EXPECT_GE(nowMs() - start, 90);
  uint64_t one = 1;
  ASSERT_EQ(write(stop, &one, sizeof one), 8);
  EXPECT_EQ(waitPublicPort(port, -1, stop), PORT_STOPPED);
  close(stop);
  withdrawPublicPort(port);
  EXPECT_EQ(waitPublicPort(port, -1, -1), PORT_FAILED);
  deletePublicPort(port);
}

TEST_F(Ports, PeerOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  PublicPort *port = createPublicPort("demoport");
  ASSERT_NE(port, nullptr);
  // Let the other user reach the socket at all.
  ASSERT_EQ(chmod(scratch.path.c_str(), 0755), 0);
  ASSERT_EQ(chmod(scratch.portDir().c_str(), 0711), 0);
  ASSERT_EQ(chmod(scratch.portFile("demoport").c_str(), 0777), 0);
  std::string path = scratch.portFile("demoport");
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    // Only async-signal-safe calls here. Exit 0: refused without a reply.
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    int fd = socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un addr = {};
    addr.sun_family = AF_UNIX;
    memcpy(addr.sun_path, path.c_str(), path.size());
    if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) _exit(11);
    unsigned char message[PORT_MESSAGE_SIZE] = {};
    message[8] = 5;
    message[18] = PORT_MESSAGE_SIZE;  // little-endian length
    // Refused: the owner may close the connection before the send, or
    // after it without a reply (end of stream, or a reset because the
    // message was never read).
    if (send(fd, message, sizeof message, MSG_NOSIGNAL) != sizeof message)
      _exit(errno == EPIPE || errno == ECONNRESET ? 0 : 12);
    char reply[64];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    _exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : 13);
  }
  int status = 0;
  int taken = 0;
  bool ended = false;
  int64_t giveUp = nowMs() + 5000;
  while (!(ended = waitpid(child, &status, WNOHANG) == child) && nowMs() < giveUp)
    taken += serveOnce(port);
  if (!ended) {
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
  }
  EXPECT_EQ(taken, 0) << "no message of another user is taken";
  ASSERT_TRUE(ended);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  chmod(scratch.portDir().c_str(), 0700);
  int32_t replied = 0;
  EXPECT_TRUE(roundTrip(port, "demoport", 1, &replied)) << "the owner keeps serving";
  deletePublicPort(port);
}

}  // namespace
