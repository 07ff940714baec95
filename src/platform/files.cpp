// The data directory and the private staging directory (RAM:).
#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <string.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <mutex>

namespace {

char stagingPath[PATH_MAX];  // empty until made
// The directory stays open so that removing it needs nothing but system
// calls on it: no allocation and no lock, whatever state the program is in
// when it exits.
std::atomic<int> stagingFd{-1};
std::mutex stagingMutex;

constexpr char STAGING_PREFIX[] = "musicdisk-ram-";

bool isRamName(const char *path) { return strncasecmp(path, "ram:", 4) == 0; }

bool usableBase(const char *base) {
  struct stat st;
  return base && *base && stat(base, &st) == 0 && S_ISDIR(st.st_mode) && access(base, W_OK) == 0;
}

// Removes everything inside the directory open as fd, also a member left
// half-written by an interrupted extraction under its temporary name. Only
// async-signal-safe system calls.
void removeEntries(int fd) {
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
}

// A run holds an exclusive flock on its staging directory for as long as
// it lives; the kernel drops it however the run ends. A staging directory
// of ours that nobody holds was left by a run that was killed: it goes.
void removeLeftovers(const char *base) {
  DIR *dir = opendir(base);
  if (!dir) return;
  while (dirent *entry = readdir(dir)) {
    if (strncmp(entry->d_name, STAGING_PREFIX, sizeof STAGING_PREFIX - 1) != 0 ||
        strlen(entry->d_name) != sizeof STAGING_PREFIX - 1 + 6)
      continue;
    int fd = openat(dirfd(dir), entry->d_name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) continue;
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_uid == geteuid() && flock(fd, LOCK_EX | LOCK_NB) == 0) {
      removeEntries(fd);
      if (unlinkat(dirfd(dir), entry->d_name, AT_REMOVEDIR) == 0)
        fprintf(stderr, "musicdisk: removed %s/%s, left by a musicdisk that was killed\n", base, entry->d_name);
    }
    close(fd);
  }
  closedir(dir);
}

bool makeStagingDirectory() {
  const char *bases[] = {getenv("XDG_RUNTIME_DIR"), getenv("TMPDIR"), "/tmp"};
  const char *base = nullptr;
  for (const char *candidate : bases) {
    if (!usableBase(candidate)) continue;
    if (!base) base = candidate;
    removeLeftovers(candidate);
  }
  if (!base) base = "/tmp";
  char templ[PATH_MAX];
  if (snprintf(templ, sizeof templ, "%s/%sXXXXXX", base, STAGING_PREFIX) >= (int)sizeof templ) {
    fprintf(stderr, "musicdisk: the folder name %s is too long for the pictures\n", base);
    return false;
  }
  int fd = -1;
  // mkdtemp makes it with mode 0700; the lock follows at once, so that no
  // other start takes it for a leftover.
  if (mkdtemp(templ)) fd = open(templ, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0 || flock(fd, LOCK_EX | LOCK_NB) != 0) {
    // Said once: every staged name asks for the folder again.
    static bool told = false;
    if (!told) fprintf(stderr, "musicdisk: cannot make a folder for the pictures in %s: %s\n", base, strerror(errno));
    told = true;
    if (fd >= 0) close(fd);
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
  removeEntries(fd);
  // Removed while still locked: no other start can mistake it for a leftover.
  rmdir(stagingPath);
  close(fd);
  stagingPath[0] = '\0';
}

bool enterDataDirectory() {
  char exe[PATH_MAX];
  ssize_t n = readlink("/proc/self/exe", exe, sizeof exe - 1);
  if (n <= 0) {
    fprintf(stderr, "musicdisk: cannot tell where the program is (%s): playing without sound\n", strerror(errno));
    return false;
  }
  exe[n] = '\0';
  char *slash = strrchr(exe, '/');
  if (slash) *slash = '\0';
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
  fprintf(stderr,
          "musicdisk: no music folder in %s/music nor in %s/../share/musicdisk/music: playing without sound "
          "(install the program with its folders, or copy music/ and musicplayer/ beside it)\n",
          exe, exe);
  return false;
}
