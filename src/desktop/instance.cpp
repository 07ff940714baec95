// One musicdisk per user: the lock file in the port directory. See
// instance.h.
#include "desktop/instance.h"

#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "ports/ports.h"

namespace {

char lockPath[PATH_MAX];
int lockFd = -1;

void releaseSingleInstance() {
  if (lockFd < 0) return;
  // Removed while still held: a later start then makes a fresh file.
  unlink(lockPath);
  close(lockFd);
  lockFd = -1;
}

// One line saying why the port directory at dir cannot be used and what to
// do about it.
void explainPortDirectory(const char *dir, int error) {
  struct stat st;
  if (error == EPERM && lstat(dir, &st) == 0 && st.st_uid != geteuid()) {
    const passwd *owner = getpwuid(st.st_uid);
    fprintf(stderr,
            "musicdisk: %s belongs to %s (uid %u), not to you: have it removed (by that user or root), or set "
            "XDG_RUNTIME_DIR to a folder of your own\n",
            dir, owner ? owner->pw_name : "another user", static_cast<unsigned>(st.st_uid));
  } else if (error == EPERM) {
    fprintf(stderr, "musicdisk: %s is open to other users: make it private (chmod 700 %s)\n", dir, dir);
  } else {
    fprintf(stderr, "musicdisk: cannot use the port directory %s: %s\n", dir, strerror(error));
  }
}

}  // namespace

bool claimSingleInstance() {
  char dir[PATH_MAX - sizeof INSTANCE_LOCK - 1];
  bool usable = portDirectory(dir, sizeof dir, true);
  int error = errno;
  const char *runtime = getenv("XDG_RUNTIME_DIR");
  if (int runtimeError = runtime && *runtime ? runtimeFolderError(runtime) : 0)
    fprintf(stderr, "musicdisk: XDG_RUNTIME_DIR (%s) cannot be used: %s; using %s instead\n", runtime,
            runtimeError == EPERM ? "it belongs to another user" : strerror(runtimeError), dir);
  if (!usable) {
    explainPortDirectory(dir, error);
    return false;
  }
  snprintf(lockPath, sizeof lockPath, "%s/%s", dir, INSTANCE_LOCK);
  for (;;) {
    // Close-on-exec: a player must not keep the lock after we are gone.
    int fd = open(lockPath, O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
      fprintf(stderr, "musicdisk: cannot open %s: %s\n", lockPath, strerror(errno));
      return false;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
      int error = errno;
      close(fd);
      if (error == EINTR) continue;
      if (error == EWOULDBLOCK) fputs("musicdisk: already running\n", stderr);
      else fprintf(stderr, "musicdisk: cannot lock %s: %s\n", lockPath, strerror(error));
      return false;
    }
    // The file may have been removed by a musicdisk that was just ending
    // between our open and our lock: then the lock is on a file nobody else
    // sees, and we try again with the one now at the path.
    struct stat held, atPath;
    if (fstat(fd, &held) == 0 && stat(lockPath, &atPath) == 0 && held.st_dev == atPath.st_dev &&
        held.st_ino == atPath.st_ino) {
      lockFd = fd;
      atexit(releaseSingleInstance);
      return true;
    }
    close(fd);
  }
}
