// The command line. Without options the program starts full screen as it
// always has; the options only add what a desktop user looks for.
#include "driver/commandline.h"

#include <cstdio>
#include <cstring>

#include "display/display.h"

#ifndef MUSICDISK_VERSION
#define MUSICDISK_VERSION "unknown"
#endif

namespace {

const char USAGE[] =
    "Usage: musicdisk [-h|--help] [--window] [--version]\n"
    "Presents the fifteen entries of the Orbel music competition, plays them\n"
    "one after another and shows real-time visuals.\n"
    "\n"
    "  --window   start in a window instead of full screen (Alt+Enter switches)\n"
    "  -h, --help show this text and leave\n"
    "  --version  show the version and leave\n"
    "\n"
    "Keys: any key or button leaves the intro; Up and Down (or the panel's\n"
    "buttons) play the previous and the next song; Left pauses and resumes,\n"
    "Right plays, S stops; Alt+Enter switches full screen; Esc ends. The\n"
    "desktop's media keys and MPRIS clients work too.\n"
    "\n"
    "More in the manual: man 6 musicdisk (musicdisk(6)).\n";

}  // namespace

int readCommandLine(int argc, char **argv) {
  for (int i = 1; i < argc; i++) {
    const char *option = argv[i];
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
    fprintf(stderr, "musicdisk: %s '%s'\n%s", option[0] == '-' ? "unknown option" : "unexpected argument", option, USAGE);
    return 2;
  }
  return -1;
}
