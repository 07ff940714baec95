// What the archive tests share: files, test data, and running the real
// tools (ours, lhasa, jlha) as child processes. Scratch directories and
// child processes are the ones every test uses (../music/scratch.h).
#pragma once

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "../music/scratch.h"

namespace testutil {

using Bytes = std::vector<uint8_t>;

inline void writeFile(const std::string &path, const Bytes &data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char *>(data.data()), (std::streamsize)data.size());
}

inline Bytes readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

inline bool exists(const std::string &path) {
  return std::filesystem::symlink_status(path).type() != std::filesystem::file_type::not_found;
}

inline std::set<std::string> listDir(const std::string &path) {
  std::set<std::string> names;
  std::error_code missing;
  for (const auto &entry : std::filesystem::directory_iterator(path, missing)) names.insert(entry.path().filename());
  return names;
}

inline Bytes randomBytes(size_t n, uint32_t seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto &x : b) x = (uint8_t)rng();
  return b;
}

// A 256x256 "P6" picture with smooth areas, hard edges and some noise: the
// kind of data the archives carry.
inline Bytes picture(uint32_t seed) {
  std::mt19937 rng(seed);
  std::string head = "P6\n256 256\n255\n";
  Bytes b(head.begin(), head.end());
  int cx = (int)(rng() % 256), cy = (int)(rng() % 256), r2 = (int)(rng() % 60 + 20) * (int)(rng() % 60 + 20);
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++) {
      bool inside = (x - cx) * (x - cx) + (y - cy) * (y - cy) < r2;
      for (int c = 0; c < 3; c++) {
        int v = inside ? 40 + 60 * c : ((x / 4) * (c + 1) + (y / 4) * (3 - c)) * 2;
        if (rng() % 16 == 0) v += (int)(rng() % 7) - 3;
        b.push_back((uint8_t)(v & 0xFF));
      }
    }
  return b;
}

struct RunResult {
  int status = -1;  // exit status, or -1 when it did not exit normally
  std::string out;
  std::string err;
};

// Runs argv in directory dir (when not empty) and collects its output.
inline RunResult run(const std::vector<std::string> &argv, const std::string &dir = "") {
  char outName[] = "/tmp/lh5-test-out-XXXXXX";
  char errName[] = "/tmp/lh5-test-err-XXXXXX";
  close(mkstemp(outName));
  close(mkstemp(errName));
  ChildProcess child;
  bool ended = child.start(argv, {}, outName, errName, dir) && child.waitForExit(120000);
  Bytes out = readFile(outName), err = readFile(errName);
  unlink(outName);
  unlink(errName);
  return {ended && WIFEXITED(child.status) ? WEXITSTATUS(child.status) : -1, std::string(out.begin(), out.end()),
          std::string(err.begin(), err.end())};
}

inline std::string lh5Tool() { return std::string(MUSICDISK_BINARY_DIR) + "/tools/lh5/lh5"; }

inline int countLines(const std::string &text) {
  int n = 0;
  for (char c : text) n += c == '\n';
  return n;
}

}  // namespace testutil
