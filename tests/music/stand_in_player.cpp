// Stands in for the player program in the tests of how players are started:
// writes its arguments and where its output goes to the file named by
// $STAND_IN_RECORD (one item per line), then ends.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

int main(int argc, char **argv) {
  const char *record = getenv("STAND_IN_RECORD");
  if (!record) return 2;
  std::string text;
  for (int i = 0; i < argc; i++) text += std::string("arg ") + argv[i] + "\n";
  for (int fd = 0; fd <= 2; fd++) {
    char link[64], target[256] = {};
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    if (readlink(link, target, sizeof target - 1) < 0) snprintf(target, sizeof target, "closed");
    text += "fd" + std::to_string(fd) + " " + target + "\n";
  }
  // Written whole under another name, then renamed: the test never reads half.
  std::string part = std::string(record) + ".part";
  FILE *f = fopen(part.c_str(), "w");
  if (!f) return 3;
  fputs(text.c_str(), f);
  fclose(f);
  return rename(part.c_str(), record) == 0 ? 0 : 4;
}
