// Staging the embedded archives in the private RAM: directory: what
// unpackData leaves there, doing it twice, failing to create an archive
// file, deleteData, and removing the directory (also from a signal handler).
#include <gtest/gtest.h>
#include <signal.h>

#include <climits>

#include "driver/staging.h"
#include "helpers.h"
#include "platform/files.h"
#include "platform/lh5/lh5.h"

using namespace testutil;

namespace {

const std::vector<std::string> archiveMembers[3] = {
    {"bkg00.ppm", "bkg01.ppm", "bkg02.ppm", "bkg03.ppm", "bkg04.ppm", "bkg05.ppm"},
    {"bkg10.ppm", "bkg11.ppm", "bkg12.ppm", "bkg13.ppm", "bkg14.ppm", "bkg15.ppm"},
    {"control2_texture2.ppm", "cow_big.ppm", "font32.ppm", "font32.ppm.info", "jub.ppm", "velmologo.ppm",
     "orbel.ppm", "water01.ppm", "water02.ppm"},
};
const char *const archiveNames[3] = {"velmo01.lha", "velmo02.lha", "velmo03.lha"};

Bytes embedded(int k) {
  const uint8_t *data[3] = {ddata01, ddata02, ddata03};
  const size_t sizes[3] = {ddata01Size, ddata02Size, ddata03Size};
  return Bytes(data[k], data[k] + sizes[k]);
}

// The build packs an archive only when all its pictures are there; else it
// carries an empty one.
bool packed(int k) { return embedded(k).size() > 1; }

// Each test stages in a runtime directory of its own.
class Staging : public ::testing::Test {
 protected:
  ScratchDir runtime;
  std::string ram;
  void SetUp() override {
    setenv("XDG_RUNTIME_DIR", runtime.path.c_str(), 1);
    const char *dir = stagingDirectory();
    ASSERT_NE(dir, nullptr);
    ram = dir;
    ASSERT_EQ(ram.rfind(runtime.path, 0), 0u);
  }
  void TearDown() override { removeStagingDirectory(); }

  std::set<std::string> expectedAfterUnpack(int archives) const {
    std::set<std::string> names;
    for (int k = 0; k < archives; k++) {
      names.insert(archiveNames[k]);
      if (packed(k)) names.insert(archiveMembers[k].begin(), archiveMembers[k].end());
    }
    return names;
  }
  void expectPicturesOfArchive(int k) const {
    for (const std::string &name : archiveMembers[k]) {
      FILE *f = openFile(("ram:" + name).c_str(), "rb");
      ASSERT_NE(f, nullptr) << name;
      fclose(f);
      Bytes source = readFile(std::string(MUSICDISK_ASSETS) + "/" + name);
      EXPECT_TRUE(readFile(ram + "/" + name) == source) << name << " differs from the picture it was packed from";
    }
  }
};

}  // namespace

TEST_F(Staging, UnpackLeavesTheArchivesAndEveryPictureWhereTheLoaderLooks) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(listDir(ram), expectedAfterUnpack(3));
  for (int k = 0; k < 3; k++) {
    EXPECT_TRUE(readFile(ram + "/" + archiveNames[k]) == embedded(k)) << archiveNames[k];
    if (packed(k)) expectPicturesOfArchive(k);
  }
}

TEST_F(Staging, UnpackingTwiceReplacesEverything) {
  ASSERT_EQ(unpackData(), 0);
  // Damage what is there: the second run must put it right.
  writeFile(ram + "/velmo01.lha", {1, 2, 3});
  if (packed(0)) writeFile(ram + "/bkg00.ppm", {4, 5, 6});
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(listDir(ram), expectedAfterUnpack(3));  // no temporary files either
  EXPECT_TRUE(readFile(ram + "/velmo01.lha") == embedded(0));
  for (int k = 0; k < 3; k++)
    if (packed(k)) expectPicturesOfArchive(k);
}

TEST_F(Staging, FirstArchiveFileNotCreatableGivesOneMessageAndNothingElse) {
  ASSERT_EQ(mkdir((ram + "/velmo01.lha").c_str(), 0700), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to create support files in RAM:!");
  EXPECT_EQ(listDir(ram), (std::set<std::string>{"velmo01.lha"}));
}

TEST_F(Staging, SecondArchiveFileNotCreatableKeepsWhatTheFirstBrought) {
  ASSERT_EQ(mkdir((ram + "/velmo02.lha").c_str(), 0700), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Unable to create support files in RAM:!");
  std::set<std::string> expected = expectedAfterUnpack(1);
  expected.insert("velmo02.lha");
  EXPECT_EQ(listDir(ram), expected);
  if (packed(0)) expectPicturesOfArchive(0);
}

TEST_F(Staging, DeleteRemovesAllTwentyFourNamesAndMindsNoneMissing) {
  ASSERT_EQ(unpackData(), 0);
  writeFile(ram + "/unrelated.txt", {1});
  EXPECT_EQ(deleteData(), 0);
  EXPECT_EQ(listDir(ram), (std::set<std::string>{"unrelated.txt"}));
  testing::internal::CaptureStderr();
  EXPECT_EQ(deleteData(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Staging, RemovingTheDirectoryTakesLeftoversToo) {
  writeFile(ram + "/.bkg00.ppm.1a2b3c", {1});  // a member cut off mid-way
  writeFile(ram + "/velmo01.lha", {2});
  ASSERT_EQ(mkdir((ram + "/empty").c_str(), 0700), 0);
  removeStagingDirectory();
  EXPECT_FALSE(exists(ram));
}

namespace {
void removeOnSignal(int) {
  removeStagingDirectory();
  _exit(0);
}
}  // namespace

TEST_F(Staging, RemovingWorksFromASignalHandler) {
  ASSERT_EQ(unpackData(), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    signal(SIGTERM, removeOnSignal);
    kill(getpid(), SIGTERM);
    _exit(1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(exists(ram));
}

TEST(EmbeddedArchives, AreLevelZeroLh5ArchivesOfTheRightMembersInOrder) {
  for (int k = 0; k < 3; k++) {
    Bytes a = embedded(k);
    ASSERT_FALSE(a.empty());
    EXPECT_EQ(a.back(), 0) << "end-of-archive mark";
    if (!packed(k)) {
      // Pictures missing at build time: an empty archive, just the end mark.
      EXPECT_EQ(a.size(), 1u);
      continue;
    }
    EXPECT_TRUE(a == readFile(std::string(MUSICDISK_BINARY_DIR) + "/archives/" + archiveNames[k]));
    size_t pos = 0;
    for (const std::string &name : archiveMembers[k]) {
      lh5::MemberHeader h;
      std::string error;
      ASSERT_EQ(lh5::readHeader(a.data(), a.size(), pos, &h, &error), lh5::HeaderResult::member) << error;
      EXPECT_EQ(h.name, name);
      EXPECT_STREQ(h.method, "-lh5-");
      EXPECT_EQ(a[pos + 20], 0) << "header level";
      EXPECT_EQ(h.originalSize, name == "font32.ppm.info" ? readFile(std::string(MUSICDISK_ASSETS) + "/" + name).size()
                                                          : 196623u);
      pos = h.dataOffset + h.packedSize;
    }
    EXPECT_EQ(pos + 1, a.size()) << "one zero byte after the last member, nothing else";
  }
}

TEST(EmbeddedArchives, LhasaAgreesWithThem) {
  ScratchDir dir;
  for (int k = 0; k < 3; k++) {
    if (!packed(k)) continue;
    writeFile(dir / archiveNames[k], embedded(k));
    RunResult r = run({"lhasa", "t", dir / archiveNames[k]});
    EXPECT_EQ(r.status, 0) << archiveNames[k] << ": " << r.out << r.err;
  }
}
