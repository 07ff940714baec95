// Figures for the embedded archives, each side by side with its reference:
//  1. decoding speed (MB/s of output) of our decoder against lhasa, both
//     extracting the same archives to files in the same directory;
//  2. the whole unpackData (write the three archives, extract them);
//  3. the size of our encoder's archives against jlha's ("c0o5", level 0,
//     -lh5-) for the same pictures.
// When the program was built without its pictures (empty archives) the
// figures are taken on stand-in pictures instead, and the output says so.
//
// Usage: bench_archive [ROUNDS]   (default 15)
// Times are the best of the rounds: the machine is shared, and the fastest
// round is the one least disturbed by others (medians are shown beside).
#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "driver/staging.h"
#include "platform/files.h"
#include "lh5/lh5.h"

extern char **environ;

namespace {

using Bytes = std::vector<uint8_t>;
using Clock = std::chrono::steady_clock;

double seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v[v.size() / 2];
}

double best(const std::vector<double> &v) { return *std::min_element(v.begin(), v.end()); }

void writeFile(const std::string &path, const Bytes &data) {
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char *>(data.data()), (std::streamsize)data.size());
}

Bytes readFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Runs a command with its output discarded; its exit status, -1 on failure.
int runQuiet(const std::vector<std::string> &argv, const std::string &dir) {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addchdir_np(&actions, dir.c_str());
  std::vector<char *> args;
  for (const auto &a : argv) args.push_back(const_cast<char *>(a.c_str()));
  args.push_back(nullptr);
  pid_t pid;
  int status = -1;
  if (posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ) == 0) {
    waitpid(pid, &status, 0);
    status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  posix_spawn_file_actions_destroy(&actions);
  return status;
}

// A stand-in picture: smooth shading, a few flat shapes, a little noise.
Bytes standInPicture(uint32_t seed) {
  std::mt19937 rng(seed);
  std::string head = "P6\n256 256\n255\n";
  Bytes b(head.begin(), head.end());
  double a[6];
  for (double &x : a) x = (rng() % 628) / 100.0;
  for (int y = 0; y < 256; y++)
    for (int x = 0; x < 256; x++)
      for (int c = 0; c < 3; c++) {
        double v = 128 + 60 * std::sin(x / (20.0 + c * 7) + a[c]) + 50 * std::cos(y / (17.0 + c * 5) + a[c + 3] + x / 90.0);
        int iv = (int)v / (1 + (int)(seed % 4)) * (1 + (int)(seed % 4));
        if (rng() % 5 == 0) iv += (int)(rng() % 5) - 2;
        if (((x / 32 + y / 32) & 3) == 0) iv = 30 + 70 * c;
        b.push_back((uint8_t)std::clamp(iv, 0, 255));
      }
  return b;
}

struct Archive {
  std::string name;
  Bytes data;
};

// Members of an archive in memory: name and data.
std::vector<std::pair<std::string, Bytes>> membersOf(const Bytes &archive) {
  std::vector<std::pair<std::string, Bytes>> members;
  size_t pos = 0;
  for (;;) {
    lh5::MemberHeader h;
    std::string error;
    if (lh5::readHeader(archive.data(), archive.size(), pos, &h, &error) != lh5::HeaderResult::member) break;
    Bytes out(h.originalSize);
    if (lh5::decompressToBuffer(archive.data() + h.dataOffset, h.packedSize, out.data(), out.size()) !=
        lh5::DecodeStatus::ok)
      break;
    members.push_back({h.name, out});
    pos = h.dataOffset + h.packedSize;
  }
  return members;
}

void ignore(void *, const std::string &) {}

}  // namespace

int main(int argc, char **argv) {
  int rounds = argc > 1 ? std::max(3, atoi(argv[1])) : 15;
  char scratchTemplate[] = "/tmp/bench-archive-XXXXXX";
  if (!mkdtemp(scratchTemplate)) return 1;
  std::string scratch = scratchTemplate;
  setenv("XDG_RUNTIME_DIR", scratch.c_str(), 1);

  std::vector<Archive> archives = {{"velmo01.lha", Bytes(ddata01, ddata01 + ddata01Size)},
                                   {"velmo02.lha", Bytes(ddata02, ddata02 + ddata02Size)},
                                   {"velmo03.lha", Bytes(ddata03, ddata03 + ddata03Size)}};
  bool standIns = ddata01Size <= 1 || ddata02Size <= 1 || ddata03Size <= 1;
  if (standIns) {
    printf("The program carries empty archives (no pictures at build time): using stand-in pictures.\n");
    for (int k = 0; k < 3; k++) {
      Bytes a;
      std::string error;
      for (int m = 0; m < 7; m++) {
        Bytes pic = standInPicture((uint32_t)(k * 10 + m));
        lh5::appendMember(a, "pic" + std::to_string(k) + std::to_string(m) + ".ppm", pic.data(), pic.size(),
                          1700000000, &error);
      }
      lh5::appendEndMark(a);
      archives[k].data = a;
    }
  }
  uint64_t outputBytes = 0, packedBytes = 0;
  for (auto &a : archives) {
    writeFile(scratch + "/" + a.name, a.data);
    packedBytes += a.data.size();
    for (auto &m : membersOf(a.data)) outputBytes += m.second.size();
  }
  double outMB = outputBytes / 1e6;
  printf("archives: %.2f MB packed, %.2f MB unpacked, best of %d rounds\n\n", packedBytes / 1e6, outMB, rounds);

  // 1. Extraction to files, ours in process and lhasa as a program.
  std::string oursDir = scratch + "/ours", lhasaDir = scratch + "/lhasa";
  mkdir(oursDir.c_str(), 0700);
  mkdir(lhasaDir.c_str(), 0700);
  std::vector<double> ours, oursMemory, lhasa, lhasaStart;
  bool lhasaOk = true;
  for (int r = 0; r < rounds; r++) {
    auto t0 = Clock::now();
    for (auto &a : archives)
      lh5::processArchiveData(a.data.data(), a.data.size(), a.name.c_str(), lh5::Action::extract, oursDir.c_str(),
                              ignore, nullptr, nullptr);
    auto t1 = Clock::now();
    ours.push_back(seconds(t0, t1));

    t0 = Clock::now();
    for (auto &a : archives) {
      size_t pos = 0;
      lh5::MemberHeader h;
      std::string error;
      static Bytes out;
      while (lh5::readHeader(a.data.data(), a.data.size(), pos, &h, &error) == lh5::HeaderResult::member) {
        out.resize(h.originalSize);
        lh5::decompressToBuffer(a.data.data() + h.dataOffset, h.packedSize, out.data(), out.size());
        pos = h.dataOffset + h.packedSize;
      }
    }
    t1 = Clock::now();
    oursMemory.push_back(seconds(t0, t1));

    t0 = Clock::now();
    for (auto &a : archives) lhasaOk &= runQuiet({"lhasa", "xf", scratch + "/" + a.name}, lhasaDir) == 0;
    t1 = Clock::now();
    lhasa.push_back(seconds(t0, t1));
    // lhasa's start and its reading of the headers without decoding.
    t0 = Clock::now();
    for (auto &a : archives) runQuiet({"lhasa", "l", scratch + "/" + a.name}, lhasaDir);
    t1 = Clock::now();
    lhasaStart.push_back(seconds(t0, t1));
  }
  double oursS = best(ours), memS = best(oursMemory), lhasaS = best(lhasa), startS = best(lhasaStart);
  printf("1. decoding, MB/s of output (extracting the three archives to files)\n");
  printf("   ours (in process)             %8.1f MB/s  (%.1f ms, median %.1f ms)\n", outMB / oursS, oursS * 1e3,
         median(ours) * 1e3);
  if (lhasaOk) {
    printf("   lhasa x                       %8.1f MB/s  (%.1f ms, median %.1f ms)\n", outMB / lhasaS, lhasaS * 1e3,
           median(lhasa) * 1e3);
    double lhasaDecode = std::max(lhasaS - startS, 1e-6);
    printf("   lhasa x minus its start-up    %8.1f MB/s  (%.1f ms; lhasa l takes %.1f ms)\n", outMB / lhasaDecode,
           lhasaDecode * 1e3, startS * 1e3);
    printf("   ratio ours / lhasa            %8.2f x  (%.2f x against lhasa without start-up)\n", lhasaS / oursS,
           lhasaDecode / oursS);
  } else {
    printf("   lhasa x                       not available (install lhasa)\n");
  }
  printf("   ours, to memory (no files)    %8.1f MB/s  (%.1f ms)\n\n", outMB / memS, memS * 1e3);

  // 2. The whole unpackData, staged files removed between rounds.
  if (!standIns) {
    std::vector<double> unpack;
    for (int r = 0; r < rounds; r++) {
      auto t0 = Clock::now();
      unpackData();
      auto t1 = Clock::now();
      unpack.push_back(seconds(t0, t1));
      deleteData();
    }
    printf("2. unpackData (write 3 archives, extract 21 members): %.1f ms, median %.1f ms (aim: below 50 ms)\n\n",
           best(unpack) * 1e3, median(unpack) * 1e3);
  } else {
    printf("2. unpackData: not measured on empty archives\n\n");
  }
  removeStagingDirectory();

  // 3. Our encoder against jlha on the same pictures, archive by archive.
  printf("3. archive sizes in bytes, same members, our lh5 c against jlha c0o5\n");
  uint64_t oursTotal = 0, jlhaTotal = 0;
  bool jlhaOk = true;
  for (auto &a : archives) {
    std::string dir = scratch + "/pack-" + a.name;
    mkdir(dir.c_str(), 0700);
    std::vector<std::string> names;
    for (auto &m : membersOf(a.data)) {
      writeFile(dir + "/" + m.first, m.second);
      names.push_back(m.first);
    }
    std::vector<std::string> jlhaArgs = {"jlha", "c0o5", "jlha.lha"};
    jlhaArgs.insert(jlhaArgs.end(), names.begin(), names.end());
    std::vector<const char *> paths;
    std::vector<std::string> full;
    for (auto &n : names) full.push_back(dir + "/" + n);
    for (auto &f : full) paths.push_back(f.c_str());
    std::string oursPath = dir + "/ours.lha";
    auto t0 = Clock::now();
    lh5::createArchive(oursPath.c_str(), paths.data(), (int)paths.size(), ignore, nullptr);
    double packTime = seconds(t0, Clock::now());
    size_t oursSize = readFile(oursPath).size();
    bool ok = runQuiet(jlhaArgs, dir) == 0;
    size_t jlhaSize = ok ? readFile(dir + "/jlha.lha").size() : 0;
    jlhaOk &= ok;
    oursTotal += oursSize;
    jlhaTotal += jlhaSize;
    if (ok)
      printf("   %-12s ours %9zu   jlha %9zu   ours/jlha %6.3f   (ours packed in %.0f ms)\n", a.name.c_str(), oursSize,
             jlhaSize, (double)oursSize / (double)jlhaSize, packTime * 1e3);
    else
      printf("   %-12s ours %9zu   jlha not available (install jlha-utils)\n", a.name.c_str(), oursSize);
  }
  if (jlhaOk)
    printf("   %-12s ours %9llu   jlha %9llu   ours/jlha %6.3f\n", "all", (unsigned long long)oursTotal,
           (unsigned long long)jlhaTotal, (double)oursTotal / (double)jlhaTotal);

  std::system(("rm -rf '" + scratch + "'").c_str());
  return 0;
}
