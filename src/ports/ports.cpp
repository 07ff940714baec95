// Public message ports over Unix-domain SOCK_SEQPACKET sockets in the
// per-user port directory. See ports.h for what a port promises.
//
// Creating, taking over and removing a socket file happen under an exclusive
// flock on the port directory, so that two owners racing for a port left by
// a dead one cannot unlink each other's fresh socket, and an owner never
// removes a socket file that is no longer its own.
#include "ports/ports.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/clock.h"

namespace {

constexpr int LISTEN_BACKLOG = 64;
// Receive buffer: larger than a message, so that a longer one is seen whole
// (MSG_TRUNC reports its real size) and refused.
constexpr size_t RECEIVE_BUFFER_SIZE = 64;


// A received packet is a message when it has the size and Exec header of one.
bool isMessage(const unsigned char *bytes, ssize_t size) {
  if (size != static_cast<ssize_t>(PORT_MESSAGE_SIZE)) return false;
  uint16_t length;
  memcpy(&length, bytes + MESSAGE_LENGTH_OFFSET, sizeof length);
  return bytes[MESSAGE_TYPE_OFFSET] == NT_MESSAGE && length == PORT_MESSAGE_SIZE;
}

bool peerIsSameUser(int fd) {
  ucred peer;
  socklen_t size = sizeof peer;
  if (getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0) return false;
  return peer.uid == geteuid();
}

// Fills addr with the socket path of port name. Names are plain file names.
bool portAddress(const char *name, sockaddr_un *addr, bool createDirectory) {
  if (!name || !name[0] || strchr(name, '/') || !strcmp(name, ".") || !strcmp(name, "..")) {
    errno = EINVAL;
    return false;
  }
  char dir[sizeof addr->sun_path];
  if (!portDirectory(dir, sizeof dir, createDirectory)) return false;
  memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  int n = snprintf(addr->sun_path, sizeof addr->sun_path, "%s/%s", dir, name);
  if (n < 0 || static_cast<size_t>(n) >= sizeof addr->sun_path) {
    errno = ENAMETOOLONG;
    return false;
  }
  return true;
}

// Holds the port directory's lock for one scope.
struct DirectoryLock {
  int fd = -1;
  explicit DirectoryLock(const char *socketPath) {
    char dir[sizeof(sockaddr_un::sun_path)];
    snprintf(dir, sizeof dir, "%s", socketPath);
    char *slash = strrchr(dir, '/');
    if (slash) *slash = '\0';
    fd = open(dir, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0) {
      while (flock(fd, LOCK_EX) != 0 && errno == EINTR) {
      }
    }
  }
  ~DirectoryLock() {
    if (fd >= 0) close(fd);  // closing releases the lock
  }
  DirectoryLock(const DirectoryLock &) = delete;
  DirectoryLock &operator=(const DirectoryLock &) = delete;
};

// Whether a live owner listens on the socket file at addr. An owner that
// died leaves a file that refuses connections.
bool ownerIsAlive(const sockaddr_un &addr) {
  int probe = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (probe < 0) return true;  // cannot tell: leave the file alone
  int rc = connect(probe, reinterpret_cast<const sockaddr *>(&addr), sizeof addr);
  int error = errno;
  close(probe);
  if (rc == 0) return true;
  return !(error == ECONNREFUSED || error == ENOENT);
}

}  // namespace

// ---- the port directory ----

int runtimeFolderError(const char *path) {
  struct stat st;
  if (!path || path[0] != '/') return EINVAL;
  if (stat(path, &st) != 0) return errno;
  if (!S_ISDIR(st.st_mode)) return ENOTDIR;
  if (st.st_uid != geteuid()) return EPERM;
  if (access(path, W_OK | X_OK) != 0) return errno;
  return 0;
}

bool portDirectory(char *out, size_t outSize, bool create) {
  // A runtime folder that cannot be used (missing, read-only, another
  // user's after su) gives way to the private folder in /tmp, the same
  // for every process of the user that sees the same environment.
  const char *runtime = getenv("XDG_RUNTIME_DIR");
  int n;
  if (runtimeFolderError(runtime) == 0)
    n = snprintf(out, outSize, "%s/musicdisk", runtime);
  else
    n = snprintf(out, outSize, "/tmp/musicdisk-%u", static_cast<unsigned>(geteuid()));
  if (n < 0 || static_cast<size_t>(n) >= outSize) {
    errno = ENAMETOOLONG;
    return false;
  }
  if (create && mkdir(out, 0700) != 0 && errno != EEXIST) return false;
  struct stat st;
  if (lstat(out, &st) != 0) return false;
  if (!S_ISDIR(st.st_mode)) {
    errno = ENOTDIR;
    return false;
  }
  // Another user's directory (or one others may write to) could hold a
  // socket that impersonates our ports.
  if (st.st_uid != geteuid() || (st.st_mode & 077) != 0) {
    errno = EPERM;
    return false;
  }
  return true;
}

// ---- the sender's side ----

bool putToPublicPort(const char *name, const void *message, MsgPort *replyPort) {
  closeReplyPort(replyPort);
  sockaddr_un addr;
  if (!portAddress(name, &addr, false)) return false;
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return false;
  // A full listen queue (EAGAIN) means a live but busy owner: the caller
  // tries again later, the sender is never held here.
  while (connect(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
    if (errno == EINTR) continue;
    int error = errno;
    close(fd);
    errno = error;
    return false;
  }
  if (!peerIsSameUser(fd)) {
    close(fd);
    errno = EPERM;
    return false;
  }
  ssize_t sent = send(fd, message, PORT_MESSAGE_SIZE, MSG_NOSIGNAL);
  if (sent != static_cast<ssize_t>(PORT_MESSAGE_SIZE)) {
    close(fd);
    return false;
  }
  replyPort->fd = fd;
  return true;
}

ReplyState waitForReply(MsgPort *replyPort, void *reply, int timeoutMs) {
  if (replyPort->fd < 0) return REPLY_REFUSED;
  int64_t deadline = monotonicMs() + timeoutMs;
  for (;;) {
    int64_t left = deadline - monotonicMs();
    if (left < 0) left = 0;
    pollfd pfd = {replyPort->fd, POLLIN, 0};
    int rc = poll(&pfd, 1, static_cast<int>(left));
    if (rc < 0 && errno == EINTR) continue;
    if (rc == 0) return REPLY_PENDING;
    if (rc < 0) return REPLY_REFUSED;
    unsigned char buffer[RECEIVE_BUFFER_SIZE];
    ssize_t n = recv(replyPort->fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) continue;
    if (!isMessage(buffer, n)) return REPLY_REFUSED;
    memcpy(reply, buffer, PORT_MESSAGE_SIZE);
    return REPLY_ARRIVED;
  }
}

void closeReplyPort(MsgPort *replyPort) {
  if (replyPort->fd >= 0) close(replyPort->fd);
  replyPort->fd = -1;
}

// ---- the owner's side ----

struct PendingConnection {
  int fd;
  int64_t dropAtMs;  // monotonic time after which a silent sender is dropped
};

struct PublicPort {
  char path[sizeof(sockaddr_un::sun_path)] = {};
  int listenFd = -1;
  dev_t fileDevice = 0;  // identity of our socket file, to remove only our own
  ino_t fileInode = 0;
  PendingConnection pending[MAX_PENDING_CONNECTIONS];  // in order of arrival
  int pendingCount = 0;
  int inHand = -1;  // connection of the message taken and not yet replied
};

namespace {

void dropPending(PublicPort *port, int index) {
  close(port->pending[index].fd);
  memmove(&port->pending[index], &port->pending[index + 1],
          sizeof(PendingConnection) * (port->pendingCount - index - 1));
  port->pendingCount--;
}

void dropExpiredPending(PublicPort *port, int64_t now) {
  for (int i = 0; i < port->pendingCount;) {
    if (port->pending[i].dropAtMs <= now)
      dropPending(port, i);
    else
      i++;
  }
}

void acceptPending(PublicPort *port) {
  while (port->listenFd >= 0 && port->pendingCount < MAX_PENDING_CONNECTIONS) {
    int fd = accept4(port->listenFd, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // nothing more waiting (or out of descriptors: try later)
    }
    if (!peerIsSameUser(fd)) {
      close(fd);
      continue;
    }
    port->pending[port->pendingCount++] = {fd, monotonicMs() + PENDING_CONNECTION_LIMIT_MS};
  }
}

void closeInHand(PublicPort *port) {
  if (port->inHand >= 0) close(port->inHand);
  port->inHand = -1;
}

}  // namespace

PublicPort *createPublicPort(const char *name) {
  sockaddr_un addr;
  if (!portAddress(name, &addr, true)) return nullptr;
  DirectoryLock lock(addr.sun_path);
  if (lock.fd < 0) return nullptr;

  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) return nullptr;
  auto fail = [fd](int error) -> PublicPort * {
    close(fd);
    errno = error;
    return nullptr;
  };
  while (bind(fd, reinterpret_cast<const sockaddr *>(&addr), sizeof addr) != 0) {
    if (errno != EADDRINUSE) return fail(errno);
    struct stat st;
    if (lstat(addr.sun_path, &st) != 0) {
      if (errno == ENOENT) continue;  // gone meanwhile: bind again
      return fail(errno);
    }
    if (!S_ISSOCK(st.st_mode)) return fail(EEXIST);
    if (ownerIsAlive(addr)) return fail(EADDRINUSE);
    // Left behind by an owner that died: take it over.
    if (unlink(addr.sun_path) != 0 && errno != ENOENT) return fail(errno);
  }
  struct stat st;
  if (listen(fd, LISTEN_BACKLOG) != 0 || lstat(addr.sun_path, &st) != 0) {
    int error = errno;
    unlink(addr.sun_path);
    return fail(error);
  }
  PublicPort *port = new (std::nothrow) PublicPort;
  if (!port) {
    unlink(addr.sun_path);
    return fail(ENOMEM);
  }
  memcpy(port->path, addr.sun_path, sizeof port->path);
  port->listenFd = fd;
  port->fileDevice = st.st_dev;
  port->fileInode = st.st_ino;
  return port;
}

void withdrawPublicPort(PublicPort *port) {
  if (!port || port->listenFd < 0) return;
  {
    DirectoryLock lock(port->path);
    struct stat st;
    if (lstat(port->path, &st) == 0 && st.st_dev == port->fileDevice && st.st_ino == port->fileInode)
      unlink(port->path);
  }
  close(port->listenFd);
  port->listenFd = -1;
  while (port->pendingCount > 0) dropPending(port, port->pendingCount - 1);
}

void deletePublicPort(PublicPort *port) {
  if (!port) return;
  withdrawPublicPort(port);
  closeInHand(port);
  delete port;
}

PortWaitResult waitPublicPort(PublicPort *port, int timeoutMs, int stopFd) {
  if (!port || port->listenFd < 0) return PORT_FAILED;
  int64_t deadline = timeoutMs < 0 ? INT64_MAX : monotonicMs() + timeoutMs;
  for (;;) {
    int64_t now = monotonicMs();
    dropExpiredPending(port, now);
    pollfd fds[MAX_PENDING_CONNECTIONS + 2];
    nfds_t count = 0;
    if (stopFd >= 0) fds[count++] = {stopFd, POLLIN, 0};
    // A full table leaves new connections in the listen queue: watching the
    // listener then would only spin.
    if (port->pendingCount < MAX_PENDING_CONNECTIONS) fds[count++] = {port->listenFd, POLLIN, 0};
    int64_t wakeAt = deadline;
    for (int i = 0; i < port->pendingCount; i++) {
      fds[count++] = {port->pending[i].fd, POLLIN, 0};
      if (port->pending[i].dropAtMs < wakeAt) wakeAt = port->pending[i].dropAtMs;
    }
    int wait = -1;
    if (wakeAt != INT64_MAX) wait = static_cast<int>(wakeAt > now ? wakeAt - now : 0);
    int rc = poll(fds, count, wait);
    if (rc < 0) return errno == EINTR ? PORT_IDLE : PORT_FAILED;
    if (rc == 0) {
      if (monotonicMs() >= deadline) return PORT_IDLE;
      continue;  // a silent connection's time is up: drop it, wait on
    }
    if (stopFd >= 0 && fds[0].revents) return PORT_STOPPED;
    return PORT_READY;
  }
}

bool getPortMessage(PublicPort *port, void *message) {
  if (!port) return false;
  closeInHand(port);
  acceptPending(port);
  dropExpiredPending(port, monotonicMs());
  for (int i = 0; i < port->pendingCount;) {
    unsigned char buffer[RECEIVE_BUFFER_SIZE];
    ssize_t n = recv(port->pending[i].fd, buffer, sizeof buffer, MSG_DONTWAIT | MSG_TRUNC);
    if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
      i++;  // nothing sent yet
      continue;
    }
    if (!isMessage(buffer, n)) {
      dropPending(port, i);  // closed without a message, or not a message
      continue;
    }
    port->inHand = port->pending[i].fd;
    memmove(&port->pending[i], &port->pending[i + 1],
            sizeof(PendingConnection) * (port->pendingCount - i - 1));
    port->pendingCount--;
    memcpy(message, buffer, PORT_MESSAGE_SIZE);
    return true;
  }
  return false;
}

bool replyPortMessage(PublicPort *port, const void *reply) {
  if (!port || port->inHand < 0) return false;
  ssize_t sent = send(port->inHand, reply, PORT_MESSAGE_SIZE, MSG_NOSIGNAL | MSG_DONTWAIT);
  closeInHand(port);
  return sent == static_cast<ssize_t>(PORT_MESSAGE_SIZE);
}
