// A disk of the user's own: the songs of a folder, or the files named on the
// command line, with what the optional disk.toml of the folder says about
// them. Reading a disk checks everything the user could have got wrong
// before anything runs; the songs' own tags are read later, one song at a
// time, when the song is first shown (songtags.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// What the files' names must end in (any case) to be taken from a folder:
// the formats SDL2_mixer plays. A named file is taken whatever its name; one
// the player cannot play fails when its turn comes, as any song may.
extern const char *const PLAYABLE_EXTENSIONS[];
// The most songs a disk takes; a folder with more plays the first ones.
constexpr int32_t MOST_SONGS = 10000;
// The file of a disk's own texts, in its folder.
constexpr char DISK_TOML[] = "disk.toml";

struct OwnSong {
  std::string path;     // absolute, as given to the player
  std::string name;     // the file's name without its folder
  std::string title;    // from disk.toml or the tags; empty: not known yet
  std::string artist;   // likewise
  std::string placing;  // from disk.toml only
  bool tagsRead;        // the file's own tags have been looked at
  // Made with the tags, folded for the font: the song list's line, the
  // intro's entrant and the placing line.
  std::string line, entrant, shownPlacing;
};

struct OwnDisk {
  std::vector<OwnSong> songs;
  std::string name;                  // the disk's name; empty: none given
  std::string scroller;              // the scroller's message; empty: none
  std::vector<std::string> credits;  // the intro's credit lines
  // Folded for the font when the disk is put to use: the name, the credit
  // lines and the scroller's message (blank-padded to scroll in and out).
  std::string shownName, shownScroller;
  std::vector<std::string> shownCredits;
};

// Makes disk the one that plays (the song table's rows are its songs from
// now on); it must hold at least one song. Call before anything runs.
void useOwnDisk(OwnDisk *disk);
// The own disk that plays, or null for the built-in one.
const OwnDisk *playingOwnDisk();

// Reads the disk the command line names: one folder, or files. Paths are
// made absolute, so that they hold after the program changes its working
// directory. False after one line on standard error naming what is wrong.
bool readOwnDisk(const char *const *arguments, int count, OwnDisk *disk);

// Fills the title and artist that disk.toml left open from the song's tags,
// the title from its file name when there is none; once per song.
void readSongTags(OwnSong *song);

// Whether name ends in one of PLAYABLE_EXTENSIONS.
bool playableName(const char *name);
// Natural order of names: digits compare as numbers ("2" before "10"),
// letters without regard to case. Negative, 0 or positive as strcmp.
int naturalCompare(const char *a, const char *b);
// The title a file name gives: without its extension, underscores as blanks.
std::string titleFromName(const std::string &name);
// A song as disk.toml describes it; file is relative to the folder.
struct NamedSong {
  std::string file, title, artist, placing;
};
// Reads disk.toml of folder, if there is one: the disk's texts into disk,
// its songs into named, in its order. False after one line on standard
// error naming the file in the folder given (a syntax error with its line
// and column, a value of the wrong kind).
bool readDiskToml(const std::string &folder, const std::string &given, OwnDisk *disk, std::vector<NamedSong> *named);
// path with every byte below 32 shown as "?": one line on a terminal.
std::string shownPath(const std::string &path);
