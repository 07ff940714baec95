// Our archives against independent LHA implementations: Debian's lhasa must
// list, test and extract what lh5 writes, byte for byte, and lh5 must
// extract what jlha writes. The tools are required: a missing one fails.
#include <gtest/gtest.h>

#include "helpers.h"
#include "platform/lh5/lh5.h"

using namespace testutil;

namespace {

// Files of every kind the codec has to get right, written into dir.
std::vector<std::pair<std::string, Bytes>> sampleFiles() {
  std::vector<std::pair<std::string, Bytes>> files;
  files.push_back({"empty.bin", {}});
  files.push_back({"one.bin", {0x5A}});
  files.push_back({"same.bin", Bytes(300000, 'a')});
  files.push_back({"noise.bin", randomBytes(120000, 11)});
  files.push_back({"picture.ppm", picture(12)});
  Bytes block = randomBytes(lh5::WINDOW_SIZE, 13), edge;
  for (int i = 0; i < 5; i++) edge.insert(edge.end(), block.begin(), block.end());
  files.push_back({"edge8192.bin", edge});
  Bytes runs;
  for (int i = 0; i < 2000; i++) runs.insert(runs.end(), (size_t)(1 + i % 300), (uint8_t)(i * 37));
  files.push_back({"runs.bin", runs});
  files.push_back({"font32.ppm.info", randomBytes(668, 14)});
  return files;
}

void writeSamples(const std::string &dir, const std::vector<std::pair<std::string, Bytes>> &files) {
  for (const auto &[name, data] : files) writeFile(dir + "/" + name, data);
}

void requireTool(const char *name) {
  RunResult r = run({"sh", "-c", std::string("command -v ") + name});
  ASSERT_EQ(r.status, 0) << name << " is not installed (scripts/packages.d/test-archive.list)";
}

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
    pos = h.dataOffset + h.packedSize;
  }
  EXPECT_EQ(pos + 1, archive.size()) << "something after the end mark";
  return list;
}

}  // namespace

TEST(Interop, LhasaListsTestsAndExtractsOurArchivesByteForByte) {
  requireTool("lhasa");
  ScratchDir dir;
  auto files = sampleFiles();
  writeSamples(dir.path, files);
  std::vector<std::string> argv = {lh5Tool(), "c", dir / "ours.lha"};
  for (const auto &f : files) argv.push_back(dir / f.first);
  RunResult made = run(argv);
  ASSERT_EQ(made.status, 0) << made.err;

  // Every member is -lh5-, in order, under its plain name.
  Bytes archive = readFile(dir / "ours.lha");
  auto list = members(archive);
  ASSERT_EQ(list.size(), files.size());
  for (size_t i = 0; i < files.size(); i++) {
    EXPECT_EQ(list[i].name, files[i].first);
    EXPECT_STREQ(list[i].method, "-lh5-");
    EXPECT_EQ(list[i].originalSize, files[i].second.size());
  }

  RunResult listed = run({"lhasa", "l", dir / "ours.lha"});
  EXPECT_EQ(listed.status, 0) << listed.err;
  for (const auto &f : files) EXPECT_NE(listed.out.find(f.first), std::string::npos) << f.first;
  RunResult tested = run({"lhasa", "t", dir / "ours.lha"});
  EXPECT_EQ(tested.status, 0) << tested.out << tested.err;

  std::string out = dir / "lhasa-out";
  mkdir(out.c_str(), 0700);
  RunResult extracted = run({"lhasa", "xf", dir / "ours.lha"}, out);
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  for (const auto &[name, data] : files) EXPECT_TRUE(readFile(out + "/" + name) == data) << name;
  EXPECT_EQ(listDir(out).size(), files.size());
}

TEST(Interop, LhasaExtractsPicturesOfSeveralBlocksAtEverySize) {
  requireTool("lhasa");
  ScratchDir dir;
  // Pictures coded with many small blocks, through the library.
  Bytes archive;
  std::vector<std::pair<std::string, Bytes>> files;
  unsigned sizes[] = {1, 7, 300, 5000, 65535};
  for (unsigned k = 0; k < 5; k++) {
    lh5::EncodeOptions options;
    options.maxBlockCodes = sizes[k];
    files.push_back({"p" + std::to_string(k) + ".ppm", picture(20 + k)});
    std::string error;
    ASSERT_TRUE(lh5::appendMember(archive, files.back().first, files.back().second.data(), files.back().second.size(),
                                  1700000000, &error, options))
        << error;
  }
  lh5::appendEndMark(archive);
  writeFile(dir / "blocks.lha", archive);
  RunResult tested = run({"lhasa", "t", dir / "blocks.lha"});
  EXPECT_EQ(tested.status, 0) << tested.out << tested.err;
  RunResult extracted = run({"lhasa", "xf", dir / "blocks.lha"}, dir.path);
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  for (const auto &[name, data] : files) EXPECT_TRUE(readFile(dir / name) == data) << name;
}

TEST(Interop, WeExtractWhatJlhaWrites) {
  requireTool("jlha");
  ScratchDir dir;
  auto files = sampleFiles();
  writeSamples(dir.path, files);
  std::vector<std::string> argv = {"jlha", "c0o5", "theirs.lha"};
  for (const auto &f : files) argv.push_back(f.first);
  RunResult made = run(argv, dir.path);
  ASSERT_EQ(made.status, 0) << made.out << made.err;

  // jlha packs what it can with -lh5- (and stores the rest): the 8 KiB
  // repeats only shrink through matches at distance 8192.
  Bytes archive = readFile(dir / "theirs.lha");
  auto list = members(archive);
  ASSERT_EQ(list.size(), files.size());
  for (const auto &h : list) {
    if (h.name == "edge8192.bin" || h.name == "picture.ppm" || h.name == "same.bin" || h.name == "runs.bin") {
      EXPECT_STREQ(h.method, "-lh5-") << h.name;
      EXPECT_LT(h.packedSize, h.originalSize / 2) << h.name;
    }
  }

  RunResult tested = run({lh5Tool(), "t", dir / "theirs.lha"});
  EXPECT_EQ(tested.status, 0) << tested.err;
  EXPECT_EQ(tested.err, "");
  std::string out = dir / "ours-out";
  RunResult extracted = run({lh5Tool(), "x", dir / "theirs.lha", out});
  EXPECT_EQ(extracted.status, 0) << extracted.err;
  for (const auto &[name, data] : files) EXPECT_TRUE(readFile(out + "/" + name) == data) << name;
  EXPECT_EQ(listDir(out).size(), files.size());
}

TEST(Interop, OurCompressionIsAsGoodAsJlhasOnPictures) {
  requireTool("jlha");
  ScratchDir dir;
  std::vector<std::string> names;
  for (uint32_t k = 0; k < 4; k++) {
    names.push_back("pic" + std::to_string(k) + ".ppm");
    writeFile(dir / names.back(), picture(40 + k));
  }
  std::vector<std::string> ours = {lh5Tool(), "c", dir / "ours.lha"}, theirs = {"jlha", "c0o5", "theirs.lha"};
  for (const auto &n : names) {
    ours.push_back(dir / n);
    theirs.push_back(n);
  }
  ASSERT_EQ(run(ours).status, 0);
  ASSERT_EQ(run(theirs, dir.path).status, 0);
  double ratio = (double)readFile(dir / "ours.lha").size() / (double)readFile(dir / "theirs.lha").size();
  EXPECT_LT(ratio, 1.03) << "our archive is more than 3% larger than jlha's";
}
