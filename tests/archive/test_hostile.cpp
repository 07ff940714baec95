// Damaged and hostile archives through the lh5 tool: each gives one error
// line naming the archive and the member, a non-zero exit, nothing outside
// the target directory and no partly written member under its final name.
#include <gtest/gtest.h>

#include <functional>

#include "helpers.h"
#include "platform/lh5/lh5.h"

using namespace testutil;

namespace {

// A good first member, then the member the damage is done to.
struct Sample {
  Bytes archive;
  size_t second = 0;  // offset of the second member's header
  Bytes firstData, secondData;
};

// Each case damages its own copy of one sample made once.
Sample makeSample() {
  static const Sample sample = [] {
    Sample s;
    s.firstData = picture(31);
    s.secondData = picture(32);
    s.secondData.resize(60000);
    std::string error;
    EXPECT_TRUE(lh5::appendMember(s.archive, "first.ppm", s.firstData.data(), s.firstData.size(), 1700000000, &error));
    s.second = s.archive.size();
    EXPECT_TRUE(
        lh5::appendMember(s.archive, "second.ppm", s.secondData.data(), s.secondData.size(), 1700000000, &error));
    lh5::appendEndMark(s.archive);
    return s;
  }();
  return sample;
}

void fixHeaderChecksum(Bytes &a, size_t at) {
  unsigned sum = 0;
  for (size_t i = at + 2; i < at + 2 + a[at]; i++) sum += a[i];
  a[at + 1] = (uint8_t)sum;
}

void put32(Bytes &a, size_t at, uint32_t v) {
  for (int i = 0; i < 4; i++) a[at + i] = (uint8_t)(v >> (8 * i));
}

// Rewrites the second member's name (header size and checksum follow).
void renameSecond(Sample &s, const std::string &name) {
  Bytes &a = s.archive;
  size_t at = s.second;
  size_t oldLength = a[at + 21];
  a.erase(a.begin() + (long)(at + 22), a.begin() + (long)(at + 22 + oldLength));
  a.insert(a.begin() + (long)(at + 22), name.begin(), name.end());
  a[at + 21] = (uint8_t)name.size();
  a[at] = (uint8_t)(a[at] - oldLength + name.size());
  fixHeaderChecksum(a, at);
}

struct Outcome {
  RunResult extract, test;
  std::set<std::string> outDir, scratch;
};

// Extracts (and tests) the archive in a scratch directory of its own.
Outcome runOn(const Bytes &archive, const std::function<void(const std::string &out)> &prepare = nullptr) {
  ScratchDir dir;
  Outcome o;
  writeFile(dir / "bad.lha", archive);
  std::string out = dir / "out";
  mkdir(out.c_str(), 0700);
  if (prepare) prepare(dir.path);
  o.extract = run({lh5Tool(), "x", dir / "bad.lha", out});
  o.test = run({lh5Tool(), "t", dir / "bad.lha"});
  o.outDir = listDir(out);
  o.scratch = listDir(dir.path);
  return o;
}

// One line on standard error naming archive and member, a failure status,
// and in the target directory at most the good first member.
void expectRefused(const Outcome &o, const std::string &member, const std::string &what,
                   const std::set<std::string> &extracted = {"first.ppm"}) {
  for (const RunResult *r : {&o.extract, &o.test}) {
    EXPECT_NE(r->status, 0);
    EXPECT_EQ(countLines(r->err), 1) << r->err;
    EXPECT_NE(r->err.find("bad.lha: " + member + ": "), std::string::npos) << r->err;
    EXPECT_NE(r->err.find(what), std::string::npos) << r->err;
  }
  EXPECT_EQ(o.outDir, extracted);
  EXPECT_EQ(o.scratch, (std::set<std::string>{"bad.lha", "out"}));
}

}  // namespace

TEST(HostileArchive, TheUndamagedSampleExtractsCompletely) {
  Sample s = makeSample();
  ScratchDir dir;
  writeFile(dir / "good.lha", s.archive);
  RunResult r = run({lh5Tool(), "x", dir / "good.lha", dir / "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_TRUE(readFile(dir / "out/first.ppm") == s.firstData);
  EXPECT_TRUE(readFile(dir / "out/second.ppm") == s.secondData);
  EXPECT_EQ(run({lh5Tool(), "t", dir / "good.lha"}).status, 0);
}

TEST(HostileArchive, TruncatedHeader) {
  Sample s = makeSample();
  for (size_t keep : {s.second + 1, s.second + 10, s.second + 33}) {
    Bytes cut(s.archive.begin(), s.archive.begin() + (long)keep);
    // Where the name cannot be read the member is named by number and offset.
    std::string who = keep >= s.second + 32 ? "second.ppm" : "member 2 at offset " + std::to_string(s.second);
    expectRefused(runOn(cut), who, "header truncated");
  }
}

TEST(HostileArchive, TruncatedData) {
  Sample s = makeSample();
  Bytes cut(s.archive.begin(), s.archive.end() - 500);
  expectRefused(runOn(cut), "second.ppm", "packed data truncated");
}

TEST(HostileArchive, WrongHeaderChecksum) {
  Sample s = makeSample();
  s.archive[s.second + 1] ^= 0x5A;
  expectRefused(runOn(s.archive), "second.ppm", "wrong header checksum");
}

TEST(HostileArchive, CrcMismatchLeavesNoMemberBehind) {
  Sample s = makeSample();
  size_t crcAt = s.second + 22 + s.archive[s.second + 21];
  s.archive[crcAt] ^= 0x01;
  fixHeaderChecksum(s.archive, s.second);
  expectRefused(runOn(s.archive), "second.ppm", "CRC mismatch");
}

TEST(HostileArchive, DamagedPackedData) {
  Sample s = makeSample();
  size_t data = s.second + 2 + s.archive[s.second];
  for (size_t k = 0; k < 40; k++) s.archive[data + 1000 + k * 7] ^= 0xA5;
  Outcome o = runOn(s.archive);
  expectRefused(o, "second.ppm", "");
  // Depending on where the damage falls the decoder stops or the CRC tells.
  EXPECT_TRUE(o.extract.err.find("CRC mismatch") != std::string::npos ||
              o.extract.err.find("corrupt") != std::string::npos ||
              o.extract.err.find("ends early") != std::string::npos)
      << o.extract.err;
}

TEST(HostileArchive, UnknownMethod) {
  Sample s = makeSample();
  s.archive[s.second + 5] = '9';  // "-lh9-"
  fixHeaderChecksum(s.archive, s.second);
  expectRefused(runOn(s.archive), "second.ppm", "unknown method -lh9-");
}

TEST(HostileArchive, MemberSizeFarBeyondTheDataStopsAtOnce) {
  Sample s = makeSample();
  put32(s.archive, s.second + 11, 0xFFFFFFF0u);  // original size: 4 GiB
  fixHeaderChecksum(s.archive, s.second);
  expectRefused(runOn(s.archive), "second.ppm", "packed data ends early");
  // The same for a packed size beyond the end of the archive.
  Sample t = makeSample();
  put32(t.archive, t.second + 7, 0x7FFFFFFFu);
  fixHeaderChecksum(t.archive, t.second);
  expectRefused(runOn(t.archive), "second.ppm", "packed data truncated");
}

TEST(HostileArchive, NamesThatWouldLeaveTheTargetDirectory) {
  for (std::string name : {"..", "../second.ppm", "/tmp/second.ppm", "C:second.ppm", "sub\\second.ppm", "a/b", "."}) {
    Sample s = makeSample();
    renameSecond(s, name);
    Outcome o = runOn(s.archive);
    expectRefused(o, name, "unsafe name");
  }
  EXPECT_FALSE(exists("/tmp/second.ppm"));
  // A member without a name is named by its number.
  Sample s = makeSample();
  renameSecond(s, "");
  expectRefused(runOn(s.archive), "member 2", "unsafe name");
}

TEST(HostileArchive, NoEndMark) {
  Sample s = makeSample();
  s.archive.pop_back();
  // Both members are whole and come out; the missing mark is still an error.
  expectRefused(runOn(s.archive), "after second.ppm", "end-of-archive mark", {"first.ppm", "second.ppm"});
}

TEST(HostileArchive, ALinkInTheTargetIsReplacedNotFollowed) {
  Sample s = makeSample();
  ScratchDir dir;
  writeFile(dir / "good.lha", s.archive);
  writeFile(dir / "outside.txt", {'k', 'e', 'e', 'p'});
  mkdir((dir / "out").c_str(), 0700);
  ASSERT_EQ(symlink((dir / "outside.txt").c_str(), (dir / "out/second.ppm").c_str()), 0);
  RunResult r = run({lh5Tool(), "x", dir / "good.lha", dir / "out"});
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(readFile(dir / "outside.txt") == (Bytes{'k', 'e', 'e', 'p'}));
  struct stat st;
  ASSERT_EQ(lstat((dir / "out/second.ppm").c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_TRUE(readFile(dir / "out/second.ppm") == s.secondData);
}

TEST(HostileArchive, NotAnArchiveAtAll) {
  ScratchDir dir;
  RunResult missing = run({lh5Tool(), "x", dir / "none.lha", dir / "out"});
  EXPECT_NE(missing.status, 0);
  EXPECT_EQ(countLines(missing.err), 1) << missing.err;
  EXPECT_NE(missing.err.find("none.lha"), std::string::npos);
  Outcome o = runOn(Bytes{});
  expectRefused(o, "no member", "end-of-archive mark", {});
}

TEST(Tool, CreatingFailsCleanlyAndNamesTheFile) {
  ScratchDir dir;
  writeFile(dir / "a.bin", {1, 2, 3});
  RunResult r = run({lh5Tool(), "c", dir / "new.lha", dir / "a.bin", dir / "missing.bin"});
  EXPECT_NE(r.status, 0);
  EXPECT_EQ(countLines(r.err), 1) << r.err;
  EXPECT_NE(r.err.find("missing.bin"), std::string::npos);
  EXPECT_EQ(listDir(dir.path), (std::set<std::string>{"a.bin"}));  // no archive, no temporary file
  // Two files of one name would overwrite each other when extracted.
  mkdir((dir / "sub").c_str(), 0700);
  writeFile(dir / "sub/a.bin", {4});
  r = run({lh5Tool(), "c", dir / "new.lha", dir / "a.bin", dir / "sub/a.bin"});
  EXPECT_NE(r.status, 0);
  EXPECT_NE(r.err.find("a.bin"), std::string::npos);
  EXPECT_FALSE(exists(dir / "new.lha"));
  EXPECT_EQ(run({lh5Tool(), "q", "x.lha"}).status, 2);
}

TEST(Tool, ListShowsEveryMember) {
  Sample s = makeSample();
  ScratchDir dir;
  writeFile(dir / "good.lha", s.archive);
  RunResult r = run({lh5Tool(), "l", dir / "good.lha"});
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("first.ppm"), std::string::npos);
  EXPECT_NE(r.out.find("second.ppm"), std::string::npos);
  EXPECT_NE(r.out.find("2 members"), std::string::npos);
  EXPECT_NE(r.out.find("-lh5-"), std::string::npos);
}

TEST(Tool, ExtractsIntoTheCurrentDirectoryByDefault) {
  ScratchDir dir;
  writeFile(dir / "a.bin", {1, 2, 3});
  ASSERT_EQ(run({lh5Tool(), "c", dir / "a.lha", dir / "a.bin"}).status, 0);
  mkdir((dir / "here").c_str(), 0700);
  RunResult r = run({lh5Tool(), "x", dir / "a.lha"}, dir / "here");
  EXPECT_EQ(r.status, 0) << r.err;
  EXPECT_TRUE(readFile(dir / "here/a.bin") == (Bytes{1, 2, 3}));
  EXPECT_EQ(listDir(dir / "here"), (std::set<std::string>{"a.bin"}));
}
