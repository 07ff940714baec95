// Staging the picture archives in RAM: (the private staging directory):
// unpackData writes each archive there and extracts it with the lh5 decoder,
// deleteData removes the archives and their pictures again.
#include "driver/staging.h"

#include <unistd.h>

#include <climits>
#include <cstdio>

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

// What the extraction has to say goes nowhere, as the shell's ">NIL:" had it:
// a picture that did not come out is reported when it is loaded.
void discard(void *, const std::string &) {}

}  // namespace

int unpackData() {
  for (const EmbeddedArchive &archive : archives) {
    FILE *file = openFile(archive.file, "w");
    if (!file) {
      fputs("Unable to create support files in RAM:!", stderr);
      return -1;
    }
    fwrite(archive.data, 1, *archive.size, file);
    fclose(file);
    // The "lha x ram:velmoNN.lha ram:" step, from the bytes just written
    // (still at hand: no need to read the file back).
    if (const char *directory = stagingDirectory())
      lh5::processArchiveData(archive.data, *archive.size, archive.file, lh5::Action::extract, directory, discard,
                              nullptr, nullptr);
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
