// Pictures for the drawing tests, written where the loaders read them: the
// staging directory behind "ram:" names.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/files.h"

// Writes bytes to "ram:NAME" and returns that name.
inline std::string stageFile(const std::string &name, const std::string &bytes) {
  std::string ramName = "ram:" + name;
  FILE *f = openFile(ramName.c_str(), "w");
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return ramName;
}

// A w x h P6 picture staged as "ram:NAME"; rgb(x, y) gives a pixel's colour.
template <typename F>
std::string stagePicture(const std::string &name, int w, int h, F rgb) {
  std::string bytes = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
  for (int y = 0; y < h; y++)
    for (int x = 0; x < w; x++) {
      uint32_t c = rgb(x, y);
      bytes += {char(c >> 16), char(c >> 8), char(c)};
    }
  return stageFile(name, bytes);
}
