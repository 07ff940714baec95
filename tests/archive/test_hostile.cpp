// Damaged and hostile archives through the lh5 tool: each gives one error
// line naming the archive and the member, a non-zero exit, nothing outside
// the target directory and no partly written member under its final name.
// And the tool's other commands and failures.
#include <gtest/gtest.h>

#include <functional>

#include "helpers.h"
#include "lh5/lh5.h"

using namespace testutil;

namespace {

// A good first member, then the member the damage is done to.
struct Sample {
  Bytes archive;
  size_t second = 0;  // offset of the second member's header
  Bytes firstData, secondData;
};

Sample makeSample() {
  static const Sample sample = [] {
    Sample s;
    s.firstData = picture(31);
    s.secondData = picture(32);
    s.secondData.resize(60000);
    std::string error;
    lh5::appendMember(s.archive, "first.ppm", s.firstData.data(), s.firstData.size(), 1700000000, &error);
    s.second = s.archive.size();
    lh5::appendMember(s.archive, "second.ppm", s.secondData.data(), s.secondData.size(), 1700000000, &error);
    lh5::appendEndMark(s.archive);
    return s;
  }();
  return sample;
}

void fixHeaderChecksum(Sample &s) {
  Bytes &a = s.archive;
  unsigned sum = 0;
  for (size_t i = s.second + 2; i < s.second + 2 + a[s.second]; i++) sum += a[i];
  a[s.second + 1] = uint8_t(sum);
}

// Changes a byte of the second member's header, checksum kept right.
void flip(Sample &s, size_t at, uint8_t mask) {
  s.archive[s.second + at] ^= mask;
  fixHeaderChecksum(s);
}

void put32(Sample &s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) s.archive[s.second + at + i] = uint8_t(v >> (8 * i));
  fixHeaderChecksum(s);
}

// Rewrites the second member's name (header size and checksum follow).
void renameSecond(Sample &s, const std::string &name) {
  Bytes &a = s.archive;
  size_t at = s.second, oldLength = a[at + 21];
  a.erase(a.begin() + long(at + 22), a.begin() + long(at + 22 + oldLength));
  a.insert(a.begin() + long(at + 22), name.begin(), name.end());
  a[at + 21] = uint8_t(name.size());
  a[at] = uint8_t(a[at] - oldLength + name.size());
  fixHeaderChecksum(s);
}

}  // namespace

TEST(HostileArchive, EachDamageIsOneLineNamingTheMemberAndLeavesNothingHalfDone) {
  Sample base = makeSample();
  size_t at = base.second, data = at + 2 + base.archive[at];
  const std::string header2 = "member 2 at offset " + std::to_string(at);
  const struct {
    std::function<void(Sample &)> damage;
    std::string member;
    std::vector<std::string> what;  // any of these
    int extracted;                  // members that come out whole
  } cases[] = {
      {[](Sample &s) { s.archive.resize(s.second + 1); }, header2, {"header truncated"}, 1},
      {[](Sample &s) { s.archive.resize(s.second + 33); }, "second.ppm", {"header truncated"}, 1},
      {[](Sample &s) { s.archive.resize(s.archive.size() - 500); }, "second.ppm", {"packed data truncated"}, 1},
      {[](Sample &s) { s.archive[s.second + 1] ^= 0x5A; }, "second.ppm", {"wrong header checksum"}, 1},
      {[](Sample &s) { flip(s, 22 + s.archive[s.second + 21], 0x01); }, "second.ppm", {"CRC mismatch"}, 1},
      {[data](Sample &s) {
         for (size_t k = 0; k < 40; k++) s.archive[data + 1000 + k * 7] ^= 0xA5;
       },
       "second.ppm",
       {"CRC mismatch", "corrupt", "ends early"},
       1},
      {[](Sample &s) { flip(s, 5, '5' ^ '9'); }, "second.ppm", {"unknown method -lh9-"}, 1},
      {[](Sample &s) { put32(s, 11, 0xFFFFFFF0u); }, "second.ppm", {"packed data ends early"}, 1},
      {[](Sample &s) { put32(s, 7, 0x7FFFFFFFu); }, "second.ppm", {"packed data truncated"}, 1},
      {[](Sample &s) { renameSecond(s, ""); }, "member 2", {"unsafe name"}, 1},
      {[](Sample &s) { s.archive.pop_back(); }, "after second.ppm", {"end-of-archive mark"}, 2},
      {[](Sample &s) { s.archive.clear(); }, "no member", {"end-of-archive mark"}, 0},
  };
  auto check = [](const Sample &s, const std::string &member, const std::vector<std::string> &what, int extracted) {
    ScratchDirectory dir;
    writeFile(dir / "bad.lha", s.archive);
    mkdir((dir / "out").c_str(), 0700);
    for (const char *command : {"x", "t"}) {
      RunResult r = command[0] == 'x' ? run({lh5Tool(), "x", dir / "bad.lha", dir / "out"})
                                      : run({lh5Tool(), "t", dir / "bad.lha"});
      EXPECT_NE(r.status, 0) << member;
      EXPECT_EQ(countLines(r.err), 1) << r.err;
      EXPECT_NE(r.err.find("bad.lha: " + member + ": "), std::string::npos) << r.err;
      bool said = false;
      for (const std::string &w : what) said |= r.err.find(w) != std::string::npos;
      EXPECT_TRUE(said) << r.err;
    }
    const std::set<std::string> whole[] = {{}, {"first.ppm"}, {"first.ppm", "second.ppm"}};
    EXPECT_EQ(listDir(dir / "out"), whole[extracted]) << member;
    EXPECT_EQ(listDir(dir.path), (std::set<std::string>{"bad.lha", "out"})) << member;
  };
  for (const auto &c : cases) {
    Sample s = makeSample();
    c.damage(s);
    check(s, c.member, c.what, c.extracted);
  }
  // Names that would leave the target directory.
  for (std::string name : {"..", "../second.ppm", "/tmp/second.ppm", "C:second.ppm", "sub\\second.ppm", "a/b", "."}) {
    Sample s = makeSample();
    renameSecond(s, name);
    check(s, name, {"unsafe name"}, 1);
  }
  EXPECT_FALSE(exists("/tmp/second.ppm"));
}

// What the hostile cases do not show: listing, extracting into the current
// directory, an archive that is not there, and creating one.
TEST(Tool, ListsAndExtractsHereAndFailsCleanlyNamingTheFile) {
  ScratchDirectory dir;
  writeFile(dir / "good.lha", makeSample().archive);
  RunResult listed = run({lh5Tool(), "l", dir / "good.lha"});
  EXPECT_EQ(listed.status, 0);
  for (const char *shown : {"first.ppm", "second.ppm", "2 members", "-lh5-"})
    EXPECT_NE(listed.out.find(shown), std::string::npos) << shown;
  mkdir((dir / "here").c_str(), 0700);
  RunResult r = run({lh5Tool(), "x", dir / "good.lha"}, dir / "here");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(listDir(dir / "here"), (std::set<std::string>{"first.ppm", "second.ppm"}));
  r = run({lh5Tool(), "x", dir / "none.lha", dir / "here"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(countLines(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("none.lha"), std::string::npos);

  writeFile(dir / "a.bin", {1, 2, 3});
  r = run({lh5Tool(), "c", dir / "new.lha", dir / "a.bin", dir / "missing.bin"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(countLines(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("missing.bin"), std::string::npos);
  // Two files of one name would overwrite each other when extracted.
  mkdir((dir / "sub").c_str(), 0700);
  writeFile(dir / "sub/a.bin", {4});
  r = run({lh5Tool(), "c", dir / "new.lha", dir / "a.bin", dir / "sub/a.bin"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("a.bin"), std::string::npos);
  EXPECT_EQ(listDir(dir.path), (std::set<std::string>{"a.bin", "good.lha", "here", "sub"})) << "no archive made";
}
