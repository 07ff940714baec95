// Test helpers: a private scratch directory per test, which is also the
// test's port directory root (XDG_RUNTIME_DIR), so that tests running in
// parallel never meet on a port.
#pragma once

#include <ftw.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <string>

inline int removeEntry(const char *path, const struct stat *, int, struct FTW *) {
  return remove(path);
}

struct ScratchDirectory {
  std::string path;
  std::string previousRuntime;
  bool hadRuntime = false;

  ScratchDirectory() {
    char pattern[] = "/tmp/musicdisk-test-XXXXXX";
    if (mkdtemp(pattern)) path = pattern;
    const char *runtime = getenv("XDG_RUNTIME_DIR");
    hadRuntime = runtime != nullptr;
    if (runtime) previousRuntime = runtime;
    setenv("XDG_RUNTIME_DIR", path.c_str(), 1);
  }
  ~ScratchDirectory() {
    if (hadRuntime)
      setenv("XDG_RUNTIME_DIR", previousRuntime.c_str(), 1);
    else
      unsetenv("XDG_RUNTIME_DIR");
    if (!path.empty()) nftw(path.c_str(), removeEntry, 16, FTW_DEPTH | FTW_PHYS);
  }
  std::string portDir() const { return path + "/musicdisk"; }
  std::string portFile(const char *name) const { return portDir() + "/" + name; }
};

inline int64_t nowMs() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<int64_t>(now.tv_sec) * 1000 + now.tv_nsec / 1000000;
}

// A raw client of a port's socket file, which can send anything at all.
// Receives time out after two seconds, so a failing owner cannot hang a test.
inline int rawConnect(const std::string &path) {
  int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  sockaddr_un addr = {};
  addr.sun_family = AF_UNIX;
  snprintf(addr.sun_path, sizeof addr.sun_path, "%s", path.c_str());
  if (connect(fd, reinterpret_cast<sockaddr *>(&addr), sizeof addr) != 0) {
    int error = errno;
    close(fd);
    errno = error;
    return -1;
  }
  timeval bound = {2, 0};
  setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &bound, sizeof bound);
  return fd;
}
