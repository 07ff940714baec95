// A disk of the user's own as the screens show it: read from a scratch
// folder (files that are no real songs, so titles come from their names or
// the disk.toml), the song list, the placing and the intro's entrants, and
// the folding of outside text onto the font.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "../music/scratch.h"
#include "batch_reader.h"
#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textfold.h"
#include "driver/commandline.h"
#include "driver/diskchoice.h"
#include "music/music.h"
#include "music/owndisk.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"

namespace {

void writeFile(const std::string &path, const char *text) {
  FILE *f = fopen(path.c_str(), "w");
  ASSERT_NE(f, nullptr) << path;
  fputs(text, f);
  fclose(f);
}

// The text lines of rows first to last, in row order ("" for an empty row).
std::vector<std::string> rows(int first, int last) {
  std::vector<std::string> shown(size_t(last - first + 1));
  for (const TextLine &line : batchTextLines())
    if (line.row >= first && line.row <= last) shown[size_t(line.row - first)] += line.text;
  return shown;
}

std::string trimmed(std::string s) {
  s.erase(0, s.find_first_not_of(' '));
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

}  // namespace

TEST(OwnDisk, AFolderAndItsTomlMakeTheListThePlacingAndTheIntroEntrants) {
  SCREEN_WIDTH = 640;
  SCREEN_HEIGHT = 480;
  ScratchDirectory scratch;
  for (const char *name : {"10_Zoë_(live).mp3", "2 two.ogg", "1.wav", "notes.txt"})
    writeFile(scratch.path + "/" + name, "not a song");
  writeFile(scratch.path + "/disk.toml",
            "name = \"Party\"\nscroller = \"Hi, Zoë\"\ncredits = [\"Code: Me\", \"Gfx: You\"]\n[[song]]\nfile = \"1.wav\"\ntitle = \"A very long title that will not fit on one line\"\n"
            "artist = \"Ann\"\nplacing = \"1st (9)\"\n");
  diskArguments = {scratch.path.c_str()};
  ASSERT_EQ(chooseDisk(), -1);
  ASSERT_EQ(numberOfSongs, 3);
  const std::string blanks(21, ' ');
  ASSERT_NE(scrollMessage, nullptr);
  EXPECT_EQ(scrollMessage, blanks + "HI. ZOE" + blanks);

  // Three songs: each shows once, the first bright; its placing on I.
  DiskState state;
  diskEnter(&state, 0);
  loadingSong = 0;
  changeSong = 0;
  IntuiMessage placing{IDCMP_RAWKEY, KEY_I, 0, 0};
  triPos = 0;
  diskPass(&state, 10, &placing);
  std::vector<std::string> list = rows(3, 7);
  for (std::string &line : list) line = trimmed(line);
  EXPECT_EQ(list, (std::vector<std::string>{"", "3. 10 ZOE (LIVE)", "1. ANN - A VERY LONG TITLE THAT WILL ...",
                                           "2. 2 TWO", ""}));
  EXPECT_EQ(rows(29, 29)[0], " 1ST (9)");
  triPos = 0;
  currentSong.fetch_add(1);  // the next song has no placing: nothing shows
  diskPass(&state, 20, nullptr);
  EXPECT_EQ(trimmed(rows(29, 29)[0]), "");

  // The intro: the disk's name, its credits, then the entrants (the artist
  // or else the title).
  IntroState intro{};
  triPos = 0;
  introPass(&intro, 5800, nullptr);
  EXPECT_EQ(trimmed(rows(10, 10)[0]), "PARTY");
  triPos = 0;
  introPass(&intro, 9700, nullptr);
  EXPECT_EQ(rows(8, 9), (std::vector<std::string>{"CODE: ME", "GFX: YOU"}));
  triPos = 0;
  introPass(&intro, 11500, nullptr);
  std::vector<std::string> entrants = rows(4, 8);
  for (std::string &line : entrants) line = trimmed(line);
  EXPECT_EQ(entrants, (std::vector<std::string>{"SONGS BY:", "ANN", "2 TWO", "10 ZOE (LIVE)", ""}));
}

TEST(OwnDisk, TwentyEntrantsShowFifteenAtATime) {
  SCREEN_WIDTH = 640;
  SCREEN_HEIGHT = 480;
  OwnDisk disk;
  for (int i = 1; i <= 20; i++) {
    OwnSong song{};
    song.path = "/song";
    song.artist = "Artist " + std::to_string(i);
    song.title = "t";
    disk.songs.push_back(song);
  }
  useOwnDisk(&disk);
  IntroState intro{};
  for (int32_t t : {11451, 11951, 12451}) {
    triPos = 0;
    introPass(&intro, t, nullptr);
    std::vector<std::string> page = rows(5, 19);
    int first = t == 11951 ? 16 : 1;
    for (int k = 0; k < 15; k++)
      EXPECT_EQ(trimmed(page[size_t(k)]), first + k <= 20 ? "ARTIST " + std::to_string(first + k) : "") << t;
  }
}

TEST(OwnDisk, OutsideTextIsFoldedOntoTheFontAndNamesSortNaturally) {
  EXPECT_EQ(foldForFont("Zoë – Ñandú, “x” 日本 $5*+", 0), "ZOE - NANDU. \"X\" ?? ?5??");
  EXPECT_EQ(foldForFont("a\xff\xc3(\xe2\x82", 0), "A?" "?(??");  // bad bytes, a cut-off sequence
  EXPECT_EQ(foldForFont(std::string(50, 'x').c_str(), 40), std::string(37, 'X') + "...");
  EXPECT_EQ(cleanUtf8("a\xff" "b"), "a\xEF\xBF\xBD" "b");
  EXPECT_LT(naturalCompare("2 b", "10 a"), 0);
  EXPECT_LT(naturalCompare("track2", "Track010"), 0);
  EXPECT_EQ(naturalCompare("A07", "a7"), 0);
  EXPECT_LT(naturalCompare("x", "x1"), 0);
  EXPECT_EQ(titleFromName("my_song.final.mp3"), "my song.final");
}
