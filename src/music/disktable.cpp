// The disk that plays, as the screens, the player's start and the desktop
// read it: the built-in disk's compiled tables, or an own disk's songs,
// whose texts are made on first ask (tags read, folded for the font).
#include <cstring>
#include <string>
#include <utility>

#include "draw/textfold.h"
#include "music/music.h"
#include "music/owndisk.h"

int32_t numberOfSongs = BUILTIN_SONGS;

namespace {

OwnDisk ownDisk;
bool ownDiskPlays = false;

// A window of blanks before and after the message: it scrolls in onto an
// empty line and out to one.
constexpr size_t SCROLL_PADDING = 21;

OwnSong &ownSong(int32_t row) {
  OwnSong &song = ownDisk.songs[size_t(row)];
  if (!song.tagsRead) {
    readSongTags(&song);
    song.title = cleanUtf8(song.title.c_str());
    song.artist = cleanUtf8(song.artist.c_str());
    std::string named = song.artist.empty() ? song.title : song.artist + " - " + song.title;
    song.line = foldForFont((std::to_string(row + 1) + ". " + named).c_str(), FONT_LINE_COLUMNS);
    song.entrant = foldForFont((song.artist.empty() ? song.title : song.artist).c_str(), FONT_LINE_COLUMNS);
    if (!song.placing.empty()) song.shownPlacing = foldForFont((" " + song.placing).c_str(), FONT_LINE_COLUMNS);
  }
  return song;
}

}  // namespace

void useOwnDisk(OwnDisk *disk) {
  ownDisk = std::move(*disk);
  ownDiskPlays = true;
  numberOfSongs = int32_t(ownDisk.songs.size());
  songCounterToFirstSong();
  ownDisk.shownName = foldForFont(ownDisk.name.c_str(), FONT_LINE_COLUMNS);
  for (const std::string &line : ownDisk.credits)
    ownDisk.shownCredits.push_back(foldForFont(line.c_str(), FONT_LINE_COLUMNS));
  if (!ownDisk.scroller.empty()) {
    std::string blanks(SCROLL_PADDING, ' ');
    ownDisk.shownScroller = blanks + foldForFont(ownDisk.scroller.c_str(), 0) + blanks;
  }
}

const OwnDisk *playingOwnDisk() { return ownDiskPlays ? &ownDisk : nullptr; }

const char *songPath(int32_t row) { return ownDiskPlays ? ownDisk.songs[size_t(row)].path.c_str() : songnames[row]; }

const char *songLine(int32_t row) { return ownDiskPlays ? ownSong(row).line.c_str() : songnames2[row]; }

const char *songEntrant(int32_t row) { return ownDiskPlays ? ownSong(row).entrant.c_str() : songartists[row]; }

const char *songPlacing(int32_t row) { return ownDiskPlays ? ownSong(row).shownPlacing.c_str() : songposition[row]; }

const char *songTitleText(int32_t row) {
  if (ownDiskPlays) return ownSong(row).title.c_str();
  // The built-in titles read "N. Artist - Title".
  const char *dash = strstr(songnames2[row], " - ");
  return dash ? dash + 3 : songnames2[row];
}

const char *songArtistText(int32_t row) { return ownDiskPlays ? ownSong(row).artist.c_str() : songartists[row]; }

const char *diskNameText() {
  if (!ownDiskPlays) return BUILTIN_DISK_NAME;
  return ownDisk.name.empty() ? nullptr : ownDisk.name.c_str();
}
