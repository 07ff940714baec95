// The data directory and the private staging directory (RAM:).
#include "platform/files.h"

#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <mutex>

namespace {

char stagingPath[PATH_MAX];  // empty until made
// The directory stays open so that removing it needs nothing but system
// calls on it: no allocation and no lock, whatever state the program is in
// when it exits.
std::atomic<int> stagingFd{-1};
std::mutex stagingMutex;

bool isRamName(const char *path) { return strncasecmp(path, "ram:", 4) == 0; }

bool makeStagingDirectory() {
  const char *base = getenv("XDG_RUNTIME_DIR");
  struct stat st;
  if (!base || !*base || stat(base, &st) != 0 || !S_ISDIR(st.st_mode) || access(base, W_OK) != 0) {
    base = getenv("TMPDIR");
    if (!base || !*base || stat(base, &st) != 0 || !S_ISDIR(st.st_mode) || access(base, W_OK) != 0) base = "/tmp";
  }
  char templ[PATH_MAX];
  if (snprintf(templ, sizeof templ, "%s/musicdisk-ram-XXXXXX", base) >= (int)sizeof templ) return false;
  if (!mkdtemp(templ)) return false;  // mkdtemp makes it with mode 0700
  int fd = open(templ, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) {
    rmdir(templ);
    return false;
  }
  memcpy(stagingPath, templ, strlen(templ) + 1);
  stagingFd.store(fd);
  return true;
}

}  // namespace

const char *stagingDirectory() {
  std::lock_guard<std::mutex> lock(stagingMutex);
  if (!stagingPath[0] && !makeStagingDirectory()) return nullptr;
  return stagingPath;
}

bool resolvePath(const char *path, char *out, size_t outSize) {
  if (!isRamName(path)) return snprintf(out, outSize, "%s", path) < (int)outSize;
  const char *name = path + 4;
  // A staged name never leaves the staging directory.
  if (strchr(name, '/') || strcmp(name, "..") == 0 || strcmp(name, ".") == 0 || !*name) return false;
  const char *dir = stagingDirectory();
  if (!dir) return false;
  return snprintf(out, outSize, "%s/%s", dir, name) < (int)outSize;
}

FILE *openFile(const char *path, const char *mode) {
  char real[PATH_MAX];
  if (!resolvePath(path, real, sizeof real)) return nullptr;
  return fopen(real, mode);
}

void removeStagingDirectory() {
  // Only async-signal-safe system calls, so that no state of the program at
  // exit can stop it. Whoever takes the descriptor first does the removal.
  int fd = stagingFd.exchange(-1);
  if (fd < 0) return;
  // Everything in it goes, also a member left half-written by an interrupted
  // extraction under its temporary name.
  alignas(8) char entries[4096];
  for (int pass = 0; pass < 4; pass++) {
    bool removedAny = false;
    lseek(fd, 0, SEEK_SET);
    long n;
    while ((n = syscall(SYS_getdents64, fd, entries, sizeof entries)) > 0) {
      for (long at = 0; at < n;) {
        // struct linux_dirent64: inode (8), offset (8), record length (2), type (1), name.
        unsigned short length;
        memcpy(&length, entries + at + 16, sizeof length);
        const char *name = entries + at + 19;
        if (strcmp(name, ".") != 0 && strcmp(name, "..") != 0 &&
            (unlinkat(fd, name, 0) == 0 || unlinkat(fd, name, AT_REMOVEDIR) == 0))
          removedAny = true;
        at += length;
      }
    }
    if (!removedAny) break;
  }
  close(fd);
  rmdir(stagingPath);
  stagingPath[0] = '\0';
}

bool enterDataDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) return false;
  exe[n] = '\0';
  char *slash = strrchr(exe, '/');
  if (!slash) return false;
  *slash = '\0';
  char candidate[PATH_MAX];
  const char *tries[] = {"%s", "%s/../share/musicdisk"};
  for (const char *form : tries) {
    snprintf(candidate, sizeof candidate, form, exe);
    char music[PATH_MAX];
    struct stat st;
    if (snprintf(music, sizeof music, "%s/music", candidate) < (int)sizeof music && stat(music, &st) == 0 &&
        S_ISDIR(st.st_mode) && chdir(candidate) == 0)
      return true;
  }
  return false;
}
