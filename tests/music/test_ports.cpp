// The port layer with real sockets: the port directory's checks, connections
// that carry no proper message, and senders of another user. One message and
// its reply, and the takeover of a dead owner's port, are the music tests'
// and the player's.
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <functional>

#include "music/music.h"
#include "ports/ports.h"
#include "scratch.h"

namespace {

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
        rmdir(d.c_str());
        mkdir((d + "-elsewhere").c_str(), 0700);
        EXPECT_EQ(symlink((d + "-elsewhere").c_str(), d.c_str()), 0);
      },
  };
  for (int k = 0; k < 3; k++) {
    if (k == 1 && geteuid() != 0) continue;  // only root can give the directory away
    ScratchDirectory own;
    ASSERT_EQ(mkdir(own.portDir().c_str(), 0700), 0);
    spoil[k](own.portDir());
    EXPECT_EQ(createPublicPort(HANDLER_PORT), nullptr) << k;
  }
  setenv("XDG_RUNTIME_DIR", "relative/not/allowed", 1);
  portDirectory(dir, sizeof dir, false);
  EXPECT_EQ(std::string(dir), "/tmp/musicdisk-" + std::to_string(geteuid()));
}

TEST_F(Ports, WhatIsNoMessageIsClosedUnansweredAndServingGoesOn) {
  EventRecorder owner;
  ASSERT_NE(owner.port, nullptr);
  MusicMessage good = {}, wrongType;
  good.type = 5;
  good.length = sizeof good;
  good.value = 1;
  wrongType = good;
  wrongType.type = 4;
  unsigned char longer[sizeof good + 1] = {};
  memcpy(longer, &good, sizeof good);
  const struct {
    const void *bytes;
    size_t size;
  } cases[] = {{&good, 10}, {longer, sizeof longer}, {&wrongType, sizeof wrongType}, {&good, 0}};
  for (const auto &c : cases) {
    int fd = rawConnect(scratch.portFile(HANDLER_PORT));
    ASSERT_GE(fd, 0);
    if (c.size > 0)
      ASSERT_EQ(send(fd, c.bytes, c.size, MSG_NOSIGNAL), ssize_t(c.size));
    else
      shutdown(fd, SHUT_WR);  // closes without a message
    char buffer[64];
    EXPECT_EQ(recv(fd, buffer, sizeof buffer, 0), 0) << "closed without a reply, size " << c.size;
    close(fd);
  }
  EXPECT_TRUE(owner.values().empty()) << "none of it taken as a message";
  EXPECT_EQ(syncmusic(HANDLER_PORT, 3), 3);
}

TEST_F(Ports, ASenderOfAnotherUserIsRefused) {
  if (geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  EventRecorder owner;
  ASSERT_NE(owner.port, nullptr);
  // Let the other user reach the socket at all.
  std::string path = scratch.portFile(HANDLER_PORT);
  ASSERT_EQ(chmod(scratch.path.c_str(), 0755), 0);
  ASSERT_EQ(chmod(scratch.portDir().c_str(), 0711), 0);
  ASSERT_EQ(chmod(path.c_str(), 0777), 0);
  ChildProcess other;
  other.pid = fork();
  ASSERT_GE(other.pid, 0);
  if (other.pid == 0) {
    // Only async-signal-safe calls here. Exit 0: refused without a reply
    // (closed before the send, or after it unread).
    if (setgid(65534) != 0 || setuid(65534) != 0) _exit(10);
    int fd = rawConnect(path);
    if (fd < 0) _exit(11);
    unsigned char message[PORT_MESSAGE_SIZE] = {};
    message[8] = 5;
    message[18] = PORT_MESSAGE_SIZE;  // little-endian length
    if (send(fd, message, sizeof message, MSG_NOSIGNAL) != sizeof message)
      _exit(errno == EPIPE || errno == ECONNRESET ? 0 : 12);
    char reply[64];
    ssize_t n = recv(fd, reply, sizeof reply, 0);
    _exit(n == 0 || (n < 0 && errno == ECONNRESET) ? 0 : 13);
  }
  ASSERT_TRUE(other.waitForExit(5000));
  EXPECT_TRUE(other.exitedWith(0)) << "exit status " << WEXITSTATUS(other.status);
  EXPECT_TRUE(owner.values().empty()) << "no message of another user is taken";
  chmod(scratch.portDir().c_str(), 0700);
  EXPECT_EQ(syncmusic(HANDLER_PORT, 1), 1) << "the owner keeps serving";
}

}  // namespace
