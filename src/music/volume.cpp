// The music's volume and the file that keeps it. See volume.h.
//
// The file is written whole, through a temporary file renamed over it, so a
// run that ends in the middle of a write leaves the old volume, not half of
// a number.
#include "music/volume.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/music.h"

std::atomic<int32_t> musicVolume{VOLUME_FULL};

namespace {

int64_t changedAtMs = -1;
bool unwritableSaid = false;

// The folder of the file, made when missing (the state home too).
bool makeFolders(const char *path) {
  char folder[1024];
  snprintf(folder, sizeof folder, "%s", path);
  for (char *slash = strchr(folder + 1, '/'); slash; slash = strchr(slash + 1, '/')) {
    *slash = '\0';
    if (mkdir(folder, 0700) != 0 && errno != EEXIST) return false;
    *slash = '/';
  }
  return true;
}

void saveVolume() {
  char path[1024], temporary[1100];
  if (!volumePath(path, sizeof path)) return;
  snprintf(temporary, sizeof temporary, "%s.%ld", path, static_cast<long>(getpid()));
  bool saved = makeFolders(path);
  if (FILE *out = saved ? fopen(temporary, "w") : nullptr) {
    fprintf(out, "%.3f\n", musicVolume.load() / double(VOLUME_FULL));
    saved = fclose(out) == 0 && rename(temporary, path) == 0;
    if (!saved) unlink(temporary);
  } else {
    saved = false;
  }
  if (!saved && !unwritableSaid)
    fprintf(stderr, "musicdisk: cannot keep the volume in %s: %s\n", path, strerror(errno));
  unwritableSaid = unwritableSaid || !saved;
}

}  // namespace

bool volumePath(char *out, size_t outSize) {
  const char *state = getenv("XDG_STATE_HOME");
  const char *home = getenv("HOME");
  int n;
  if (state && state[0] == '/') n = snprintf(out, outSize, "%s/musicdisk/volume", state);
  else if (home && home[0] == '/') n = snprintf(out, outSize, "%s/.local/state/musicdisk/volume", home);
  else return false;
  return n > 0 && static_cast<size_t>(n) < outSize;
}

void loadVolume() {
  char path[1024];
  if (!volumePath(path, sizeof path)) return;
  FILE *in = fopen(path, "r");
  if (!in) return;  // no volume kept yet: full
  char text[64] = "";
  size_t n = fread(text, 1, sizeof text - 1, in);
  fclose(in);
  text[n] = '\0';
  char *end = text;
  double fraction = strtod(text, &end);
  while (*end == ' ' || *end == '\n') end++;
  if (end == text || *end || !(fraction >= 0.0 && fraction <= 1.0)) {
    fprintf(stderr, "musicdisk: the volume file %s is damaged: playing at full volume\n", path);
    return;
  }
  musicVolume.store(static_cast<int32_t>(fraction * VOLUME_FULL + 0.5));
}

void setVolume(int32_t thousandths, int64_t now) {
  if (thousandths < 0) thousandths = 0;
  if (thousandths > VOLUME_FULL) thousandths = VOLUME_FULL;
  changedAtMs = now;
  if (thousandths == musicVolume.load()) return;
  musicVolume.store(thousandths);
  commandPlayer(PLAYER_VOLUME + thousandths, now);
  saveVolume();
}

int64_t volumeChangedAtMs() { return changedAtMs; }
