// disk.toml, a disk's own texts, read with toml++ (without exceptions: a
// parse gives a result that holds the table or the error). Every key is
// optional:
//
//   name = "Party 2026"            the disk's name
//   scroller = "Greetings to..."   the scroller's message
//   credits = ["Code: ...", ...]   the intro's credit lines
//   [[song]]                       one per song, played in this order
//   file = "entry01.mp3"           relative to the folder (or absolute); the only key a
//   title = "..."                  song must have
//   artist = "..."
//   placing = "1st (7)"
//
// A value of the wrong kind is an error like a syntax error, so that a typo
// is never silently a disk without its texts.
#define TOML_EXCEPTIONS 0
#define TOML_HEADER_ONLY 1
#include <sys/stat.h>
#include <toml++/toml.h>

#include <cstdio>

#include "music/owndisk.h"

namespace {

void complain(const std::string &place, const toml::source_region &where, const char *what) {
  fprintf(stderr, "musicdisk: %s:%u:%u: %s\n", shownPath(place).c_str(), unsigned(where.begin.line),
          unsigned(where.begin.column), what);
}

// The string at key of table into out, if the key is there.
bool readText(const std::string &place, const toml::table &table, const char *key, std::string *out) {
  const toml::node *node = table.get(key);
  if (!node) return true;
  if (!node->is_string()) {
    std::string what = std::string(key) + " must be a text in quotes";
    complain(place, node->source(), what.c_str());
    return false;
  }
  *out = node->as_string()->get();
  return true;
}

bool readCredits(const std::string &place, const toml::table &table, OwnDisk *disk) {
  const toml::node *node = table.get("credits");
  if (!node) return true;
  const toml::array *lines = node->as_array();
  if (!lines) {
    complain(place, node->source(), "credits must be a list of texts");
    return false;
  }
  for (const toml::node &line : *lines) {
    if (!line.is_string()) {
      complain(place, line.source(), "credits must be a list of texts");
      return false;
    }
    disk->credits.push_back(line.as_string()->get());
  }
  return true;
}

bool readSongs(const std::string &place, const toml::table &table, std::vector<NamedSong> *named) {
  const toml::node *node = table.get("song");
  if (!node) return true;
  const toml::array *songs = node->as_array();
  if (!songs) {
    complain(place, node->source(), "song must be a list of [[song]] tables");
    return false;
  }
  for (const toml::node &entry : *songs) {
    const toml::table *song = entry.as_table();
    if (!song) {
      complain(place, entry.source(), "song must be a list of [[song]] tables");
      return false;
    }
    NamedSong one;
    if (!readText(place, *song, "file", &one.file) || !readText(place, *song, "title", &one.title) ||
        !readText(place, *song, "artist", &one.artist) || !readText(place, *song, "placing", &one.placing))
      return false;
    if (one.file.empty()) {
      complain(place, song->source(), "a [[song]] needs its file");
      return false;
    }
    named->push_back(one);
  }
  return true;
}

}  // namespace

bool readDiskToml(const std::string &folder, const std::string &given, OwnDisk *disk, std::vector<NamedSong> *named) {
  std::string file = folder + "/" + DISK_TOML;
  std::string shown = given + "/" + DISK_TOML;
  struct stat info;
  if (stat(file.c_str(), &info) != 0) return true;  // no disk.toml: the files speak for themselves
  toml::parse_result parsed = toml::parse_file(file);
  if (!parsed) {
    const toml::parse_error &error = parsed.error();
    std::string what(error.description());
    complain(shown, error.source(), what.c_str());
    return false;
  }
  const toml::table &table = parsed.table();
  const std::string &place = shown;
  return readText(place, table, "name", &disk->name) && readText(place, table, "scroller", &disk->scroller) &&
         readCredits(place, table, disk) && readSongs(place, table, named);
}
