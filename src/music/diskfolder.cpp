// Reading a disk from the command line: one folder (its playable files in
// natural name order, no subfolders) or files in the order given, with the
// folder's disk.toml put on top. Everything a user can get wrong is found
// here, before a window or a player exists.
#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "music/owndisk.h"

const char *const PLAYABLE_EXTENSIONS[] = {
    "mp3", "ogg", "oga", "opus", "flac", "wav", "aiff", "aif", "voc", "mid", "midi",  // sampled and MIDI
    "mod", "xm",  "s3m", "it",   "669",  "amf", "ams",  "dbm", "dmf", "dsm", "far",   // tracker modules
    "mdl", "med", "mt2", "mtm",  "okt",  "psm", "ptm",  "stm", "ult", "umx", nullptr,
};

namespace {

// A disk holds at most MOST_SONGS songs; the rest are left out, and the user
// is told so once.
void keepMostSongs(OwnDisk *disk, const std::string &from) {
  if (disk->songs.size() <= size_t(MOST_SONGS)) return;
  fprintf(stderr, "musicdisk: %s: %zu songs, more than a disk holds: playing the first %d\n", from.c_str(),
          disk->songs.size(), MOST_SONGS);
  disk->songs.resize(MOST_SONGS);
}

// A playable file found in the folder, and what it is on the disk, so that
// disk.toml's names can be matched to it however they are spelt.
struct FoundFile {
  std::string name;
  dev_t device;
  ino_t inode;
};

bool isDigit(char c) { return c >= '0' && c <= '9'; }

// An absolute path for path, the last part kept as given (a link stays a
// link, so the name shown is the one the user chose).
bool absolutePath(const char *path, std::string *out) {
  if (path[0] == '/') {
    *out = path;
    return true;
  }
  char here[PATH_MAX];
  if (!getcwd(here, sizeof here)) {
    fprintf(stderr, "musicdisk: cannot tell the current folder: %s\n", strerror(errno));
    return false;
  }
  *out = std::string(here) + "/" + path;
  return true;
}

std::string baseName(const std::string &path) {
  size_t end = path.find_last_not_of('/');
  if (end == std::string::npos) return path;
  size_t slash = path.rfind('/', end);
  return path.substr(slash == std::string::npos ? 0 : slash + 1, end - (slash == std::string::npos ? 0 : slash + 1) + 1);
}

OwnSong songOf(const std::string &path, const std::string &name) {
  OwnSong song{};
  song.path = path;
  song.name = name;
  return song;
}

// The folder's playable regular files (links followed; a link that loops or
// leads nowhere is left out), in natural order.
bool scanFolder(const std::string &folder, std::vector<FoundFile> *found) {
  DIR *dir = opendir(folder.c_str());
  if (!dir) {
    fprintf(stderr, "musicdisk: cannot read the folder %s: %s\n", shownPath(folder).c_str(), strerror(errno));
    return false;
  }
  while (struct dirent *entry = readdir(dir)) {
    if (entry->d_name[0] == '.' || !playableName(entry->d_name)) continue;
    struct stat info;
    if (fstatat(dirfd(dir), entry->d_name, &info, 0) != 0 || !S_ISREG(info.st_mode)) continue;
    found->push_back(FoundFile{entry->d_name, info.st_dev, info.st_ino});
  }
  closedir(dir);
  std::sort(found->begin(), found->end(), [](const FoundFile &a, const FoundFile &b) {
    int order = naturalCompare(a.name.c_str(), b.name.c_str());
    return order != 0 ? order < 0 : a.name < b.name;
  });
  return true;
}

// The songs disk.toml names first, in its order, then the folder's others.
// Messages name the folder as the user gave it (given).
bool readFolder(const std::string &folder, const std::string &given, OwnDisk *disk) {
  std::vector<FoundFile> found;
  std::vector<NamedSong> named;
  if (!scanFolder(folder, &found) || !readDiskToml(folder, given, disk, &named)) return false;
  for (const NamedSong &song : named) {
    std::string path = song.file[0] == '/' ? song.file : folder + "/" + song.file;
    struct stat info;
    if (stat(path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
      fprintf(stderr, "musicdisk: %s/%s names a song that does not exist: %s\n", shownPath(given).c_str(), DISK_TOML,
              shownPath(song.file).c_str());
      return false;
    }
    found.erase(std::remove_if(found.begin(), found.end(),
                               [&](const FoundFile &f) { return f.device == info.st_dev && f.inode == info.st_ino; }),
                found.end());
    OwnSong own = songOf(path, baseName(song.file));
    own.title = song.title;
    own.artist = song.artist;
    own.placing = song.placing;
    disk->songs.push_back(own);
  }
  for (const FoundFile &file : found) disk->songs.push_back(songOf(folder + "/" + file.name, file.name));
  if (disk->songs.empty()) {
    fprintf(stderr, "musicdisk: no playable song in %s\n", shownPath(given).c_str());
    return false;
  }
  keepMostSongs(disk, shownPath(given));
  return true;
}

}  // namespace

std::string shownPath(const std::string &path) {
  std::string shown = path;
  for (char &c : shown)
    if ((unsigned char)c < 32 || c == 127) c = '?';
  return shown;
}

bool playableName(const char *name) {
  const char *dot = strrchr(name, '.');
  if (!dot || dot == name) return false;
  for (int i = 0; PLAYABLE_EXTENSIONS[i]; i++)
    if (strcasecmp(dot + 1, PLAYABLE_EXTENSIONS[i]) == 0) return true;
  return false;
}

int naturalCompare(const char *a, const char *b) {
  while (*a && *b) {
    if (isDigit(*a) && isDigit(*b)) {
      while (*a == '0') a++;
      while (*b == '0') b++;
      size_t lengthA = 0, lengthB = 0;
      while (isDigit(a[lengthA])) lengthA++;
      while (isDigit(b[lengthB])) lengthB++;
      if (lengthA != lengthB) return lengthA < lengthB ? -1 : 1;
      int order = strncmp(a, b, lengthA);
      if (order != 0) return order;
      a += lengthA;
      b += lengthB;
      continue;
    }
    unsigned char ca = (unsigned char)*a, cb = (unsigned char)*b;
    if (ca >= 'A' && ca <= 'Z') ca += 32;
    if (cb >= 'A' && cb <= 'Z') cb += 32;
    if (ca != cb) return ca < cb ? -1 : 1;
    a++;
    b++;
  }
  return *a ? 1 : *b ? -1 : 0;
}

std::string titleFromName(const std::string &name) {
  size_t dot = name.rfind('.');
  std::string title = dot == std::string::npos || dot == 0 ? name : name.substr(0, dot);
  std::replace(title.begin(), title.end(), '_', ' ');
  return title;
}

bool readOwnDisk(const char *const *arguments, int count, OwnDisk *disk) {
  for (int i = 0; i < count; i++) {
    struct stat info;
    if (stat(arguments[i], &info) != 0) {
      fprintf(stderr, "musicdisk: cannot open %s: %s\n", shownPath(arguments[i]).c_str(), strerror(errno));
      return false;
    }
    std::string path;
    if (!absolutePath(arguments[i], &path)) return false;
    if (S_ISDIR(info.st_mode)) {
      if (count > 1) {
        fprintf(stderr, "musicdisk: %s is a folder: give one folder, or songs\n", shownPath(arguments[i]).c_str());
        return false;
      }
      while (path.size() > 1 && path.back() == '/') path.pop_back();
      return readFolder(path, arguments[i], disk);
    }
    if (!S_ISREG(info.st_mode)) {
      fprintf(stderr, "musicdisk: %s is not a song file\n", shownPath(arguments[i]).c_str());
      return false;
    }
    disk->songs.push_back(songOf(path, baseName(arguments[i])));
  }
  keepMostSongs(disk, "the songs named");
  return true;
}
