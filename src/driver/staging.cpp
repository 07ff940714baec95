// Staging the picture archives in RAM: (the private staging directory):
// unpackData writes each archive there and extracts it with the lh5 decoder,
// deleteData removes the archives and their pictures again. A write, close
// or extraction that fails (a full or read-only file system) fails the
// staging: without its pictures the program would only show a black screen.
#include "driver/staging.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

#include "platform/files.h"
#include "lh5/lh5.h"

namespace {

struct EmbeddedArchive {
  const uint8_t *data;
  const size_t *size;
  const char *file;  // the "RAM:" name it is written to
};

const EmbeddedArchive archives[] = {
    {ddata01, &ddata01Size, "RAM:velmo01.lha"},
    {ddata02, &ddata02Size, "RAM:velmo02.lha"},
    {ddata03, &ddata03Size, "RAM:velmo03.lha"},
};

// The archives and every member they hold.
const char *const stagedFiles[] = {
    "ram:velmo01.lha",   "ram:velmo02.lha", "ram:velmo03.lha",  "ram:velmologo.ppm", "ram:water01.ppm",
    "ram:font32.ppm.info", "ram:font32.ppm", "ram:orbel.ppm",   "ram:water02.ppm",   "ram:cow_big.ppm",
    "ram:control2_texture2.ppm", "ram:bkg00.ppm", "ram:bkg01.ppm", "ram:bkg02.ppm",  "ram:bkg03.ppm",
    "ram:bkg04.ppm",     "ram:bkg05.ppm",   "ram:bkg10.ppm",    "ram:bkg11.ppm",     "ram:bkg12.ppm",
    "ram:bkg13.ppm",     "ram:bkg14.ppm",   "ram:bkg15.ppm",    "ram:jub.ppm",
};

// The extraction's first complaint, kept for the one line that says why.
void keepFirst(void *context, const std::string &line) {
  std::string *first = static_cast<std::string *>(context);
  if (first->empty()) *first = line;
}

// One line that ends whatever the progress text left open and says where
// and why; the caller removes what was staged and ends the program.
int stagingFailed(const char *why) {
  // Without a folder, making it has said why.
  if (const char *directory = stagingDirectory())
    fprintf(stderr, "\nmusicdisk: cannot stage the pictures in %s: %s\n", directory, why);
  else
    fputc('\n', stderr);
  return -1;
}

}  // namespace

int unpackData() {
  for (const EmbeddedArchive &archive : archives) {
    FILE *file = openFile(archive.file, "w");
    if (!file) {
      int error = errno;
      fputs("Unable to create support files in RAM:!", stderr);
      return stagingFailed(strerror(error));
    }
    bool written = fwrite(archive.data, 1, *archive.size, file) == *archive.size && fflush(file) == 0;
    int error = errno;
    if (fclose(file) != 0 && written) {
      written = false;
      error = errno;
    }
    if (!written) return stagingFailed(strerror(error));
    // The "lha x ram:velmoNN.lha ram:" step, from the bytes just written
    // (still at hand: no need to read the file back).
    std::string complaint;
    if (!lh5::processArchiveData(archive.data, *archive.size, archive.file, lh5::Action::extract,
                                 stagingDirectory(), keepFirst, nullptr, &complaint))
      return stagingFailed(complaint.c_str());
  }
  return 0;
}

int deleteData() {
  for (const char *name : stagedFiles) {
    char path[PATH_MAX];
    if (resolvePath(name, path, sizeof path)) unlink(path);
  }
  return 0;
}
