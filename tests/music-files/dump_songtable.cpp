// Prints the program's song tables, one field per line as
// "table<TAB>row<TAB>text", so that the music check can compare them with
// the generator's song list.
#include <cstdio>

#include "music/music.h"

int main() {
  std::printf("introtheme\t-1\t%s\n", introtheme);
  for (int row = 0; row < numberOfSongs; row++) {
    std::printf("songnames\t%d\t%s\n", row, songnames[row]);
    std::printf("songnames2\t%d\t%s\n", row, songnames2[row]);
    std::printf("songartists\t%d\t%s\n", row, songartists[row]);
    std::printf("songposition\t%d\t%s\n", row, songposition[row]);
  }
  return 0;
}
