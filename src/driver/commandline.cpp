// The command line. Without options the program starts full screen as it
// always has; the options only add what a desktop user looks for.
#include "driver/commandline.h"

#include <cstdio>
#include <cstring>
#include <vector>

#include "display/display.h"

#ifndef MUSICDISK_VERSION
#define MUSICDISK_VERSION "unknown"
#endif

namespace {

const char USAGE[] =
    "Usage: musicdisk [-h|--help] [--window] [--version] [FOLDER | FILE...]\n"
    "Presents the fifteen entries of the Orbel music competition, plays them\n"
    "one after another and shows real-time visuals.\n"
    "Given a FOLDER, presents its songs instead (every file in it that can be\n"
    "played, in name order, with the titles of its disk.toml if it has one);\n"
    "given FILEs, those songs in that order.\n"
    "\n"
    "  --window   start in a window instead of full screen (Alt+Enter switches)\n"
    "  -h, --help show this text and leave\n"
    "  --version  show the version and leave\n"
    "\n"
    "Keys: any key or button leaves the intro; Up and Down (or the panel's\n"
    "buttons) play the previous and the next song; Left pauses and resumes,\n"
    "Right plays, S stops; comma and full stop move 5 s back and on in the\n"
    "song; plus and minus set the volume; Alt+Enter switches full screen;\n"
    "Esc ends. The desktop's media keys and MPRIS clients work too.\n"
    "\n"
    "More in the manual: man 6 musicdisk (musicdisk(6)).\n";

}  // namespace

std::vector<const char *> diskArguments;

int readCommandLine(int argc, char **argv) {
  bool optionsEnded = false;
  for (int i = 1; i < argc; i++) {
    const char *option = argv[i];
    if (optionsEnded || option[0] != '-' || option[1] == 0) {
      diskArguments.push_back(option);
      continue;
    }
    if (strcmp(option, "--") == 0) {
      optionsEnded = true;
      continue;
    }
    if (strcmp(option, "--help") == 0 || strcmp(option, "-h") == 0) {
      fputs(USAGE, stdout);
      return 0;
    }
    if (strcmp(option, "--version") == 0) {
      printf("musicdisk %s\n", MUSICDISK_VERSION);
      return 0;
    }
    if (strcmp(option, "--window") == 0) {
      w3d_StartWindowed = true;
      continue;
    }
    fprintf(stderr, "musicdisk: unknown option '%s'\n%s", option, USAGE);
    return 2;
  }
  return -1;
}
