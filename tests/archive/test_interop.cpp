// Our archives against independent LHA implementations: Debian's lhasa must
// list, test and extract what lh5 writes, byte for byte, and lh5 must
// extract what jlha writes. The tools are required: a missing one fails.
#include <gtest/gtest.h>

#include "helpers.h"
#include "lh5/lh5.h"

using namespace testutil;

namespace {

using Files = std::vector<std::pair<std::string, Bytes>>;

// Files of every kind the codec has to get right, written into dir.
Files writeSamples(const std::string &dir) {
  Bytes block = randomBytes(lh5::WINDOW_SIZE, 13), edge, runs;
  for (int i = 0; i < 5; i++) edge.insert(edge.end(), block.begin(), block.end());
  for (int i = 0; i < 2000; i++) runs.insert(runs.end(), size_t(1 + i % 300), uint8_t(i * 37));
  Files files = {{"empty.bin", {}},
                 {"one.bin", {0x5A}},
                 {"same.bin", Bytes(300000, 'a')},
                 {"noise.bin", randomBytes(120000, 11)},
                 {"picture.ppm", picture(12)},
                 {"edge8192.bin", edge},
                 {"runs.bin", runs},
                 {"font32.ppm.info", randomBytes(668, 14)}};
  for (const auto &[name, data] : files) writeFile(dir + "/" + name, data);
  return files;
}

// The members of an archive, in order; fails on a header of another level
// than 0 and on anything after the end mark.
std::vector<lh5::MemberHeader> members(const Bytes &archive) {
  std::vector<lh5::MemberHeader> list;
  size_t pos = 0;
  for (;;) {
    lh5::MemberHeader h;
    std::string error;
    lh5::HeaderResult r = lh5::readHeader(archive.data(), archive.size(), pos, &h, &error);
    EXPECT_NE(r, lh5::HeaderResult::error) << error;
    if (r != lh5::HeaderResult::member) break;
    list.push_back(h);
    EXPECT_EQ(archive[pos + 20], 0) << h.name << ": header level";
    pos = h.dataOffset + h.packedSize;
  }
  EXPECT_EQ(pos + 1, archive.size()) << "something after the end mark";
  return list;
}

void expectExtracted(const std::string &dir, const Files &files) {
  for (const auto &[name, data] : files) EXPECT_TRUE(readFile(dir + "/" + name) == data) << name;
  EXPECT_EQ(listDir(dir).size(), files.size());
}

}  // namespace

TEST(Interop, LhasaListsTestsAndExtractsOurArchivesByteForByte) {
  ScratchDirectory dir;
  Files files = writeSamples(dir.path);
  std::vector<std::string> argv = {lh5Tool(), "c", dir / "ours.lha"};
  for (const auto &f : files) argv.push_back(dir / f.first);
  RunResult made = run(argv);
  ASSERT_EQ(made.status, 0) << made.err;
  // Names and contents are lhasa's to prove; the method is ours.
  for (const auto &h : members(readFile(dir / "ours.lha"))) EXPECT_STREQ(h.method, "-lh5-") << h.name;
  RunResult listed = run({"lhasa", "l", dir / "ours.lha"});
  ASSERT_EQ(listed.status, 0) << "lhasa is needed (scripts/packages.d/test-archive.list) " << listed.err;
  for (const auto &f : files) EXPECT_NE(listed.out.find(f.first), std::string::npos) << f.first;
  RunResult tested = run({"lhasa", "t", dir / "ours.lha"});
  EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
  std::string out = dir / "lhasa-out";
  mkdir(out.c_str(), 0700);
  EXPECT_EQ(run({"lhasa", "xf", dir / "ours.lha"}, out).status, 0);
  expectExtracted(out, files);
}

TEST(Interop, WeExtractWhatJlhaWritesAndPackPicturesAsWellAsIt) {
  ScratchDirectory dir;
  Files files = writeSamples(dir.path);
  std::vector<std::string> argv = {"jlha", "c0o5", "theirs.lha"};
  for (const auto &f : files) argv.push_back(f.first);
  RunResult made = run(argv, dir.path);
  ASSERT_EQ(made.status, 0) << "jlha is needed (scripts/packages.d/test-archive.list) " << made.out << made.err;
  // jlha packs with -lh5- what it can: the 8 KiB repeats shrink only
  // through matches at distance 8192.
  for (const auto &h : members(readFile(dir / "theirs.lha"))) {
    if (h.name == "edge8192.bin" || h.name == "picture.ppm" || h.name == "same.bin" || h.name == "runs.bin") {
      EXPECT_STREQ(h.method, "-lh5-") << h.name;
      EXPECT_LT(h.packedSize, h.originalSize / 2) << h.name;
    }
    if (h.name == "picture.ppm") {
      Bytes data = readFile(dir / h.name);
      EXPECT_LT(double(lh5::compress(data.data(), data.size()).size()), h.packedSize * 1.03)
          << "our picture is more than 3% larger than jlha's";
    }
  }
  RunResult tested = run({lh5Tool(), "t", dir / "theirs.lha"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_EQ(tested.err, "");
  std::string out = dir / "ours-out";
  RunResult extracted = run({lh5Tool(), "x", dir / "theirs.lha", out});
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  expectExtracted(out, files);
}
