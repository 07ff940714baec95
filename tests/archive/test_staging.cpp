// Staging the embedded archives in the private RAM: directory: how "ram:"
// names map into it, what unpackData leaves there (every member of every
// embedded archive, byte for byte the picture it was packed from), failing
// to create an archive file, deleteData, and removing the directory.
#include <gtest/gtest.h>

#include <climits>

#include "driver/staging.h"
#include "helpers.h"
#include "platform/files.h"

using namespace testutil;

namespace {

const std::vector<std::string> archiveMembers[3] = {
    {"bkg00.ppm", "bkg01.ppm", "bkg02.ppm", "bkg03.ppm", "bkg04.ppm", "bkg05.ppm"},
    {"bkg10.ppm", "bkg11.ppm", "bkg12.ppm", "bkg13.ppm", "bkg14.ppm", "bkg15.ppm"},
    {"control2_texture2.ppm", "cow_big.ppm", "font32.ppm", "font32.ppm.info", "jub.ppm", "velmologo.ppm", "orbel.ppm",
     "water01.ppm", "water02.ppm"},
};
const char *const archiveNames[3] = {"velmo01.lha", "velmo02.lha", "velmo03.lha"};

Bytes embedded(int k) {
  const uint8_t *data[3] = {ddata01, ddata02, ddata03};
  const size_t sizes[3] = {ddata01Size, ddata02Size, ddata03Size};
  return Bytes(data[k], data[k] + sizes[k]);
}

// Each test stages in a runtime directory of its own.
class Staging : public ::testing::Test {
 protected:
  ScratchDirectory runtime;
  std::string ram;
  void SetUp() override {
    const char *dir = stagingDirectory();
    ASSERT_NE(dir, nullptr);
    ram = dir;
    ASSERT_EQ(ram.rfind(runtime.path + "/", 0), 0u);
    struct stat st;
    ASSERT_EQ(stat(dir, &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
  }
  void TearDown() override { removeStagingDirectory(); }

  // The names unpacking the first archives leaves, and their pictures
  // checked against the pictures they were packed from.
  std::set<std::string> expectUnpacked(int archives) const {
    std::set<std::string> names;
    for (int k = 0; k < archives; k++) {
      names.insert(archiveNames[k]);
      EXPECT_TRUE(readFile(ram + "/" + archiveNames[k]) == embedded(k)) << archiveNames[k];
      for (const std::string &name : archiveMembers[k]) {
        names.insert(name);
        EXPECT_TRUE(readFile(ram + "/" + name) == readFile(std::string(MUSICDISK_ASSETS) + "/" + name)) << name;
      }
    }
    return names;
  }
};

}  // namespace

TEST_F(Staging, RamNamesMapIntoThePrivateDirectoryAndCannotLeaveIt) {
  FILE *f = openFile("RAM:velmo01.lha", "w");
  ASSERT_NE(f, nullptr);
  fclose(f);
  char real[PATH_MAX];
  ASSERT_TRUE(resolvePath("ram:velmo01.lha", real, sizeof real));
  EXPECT_EQ(std::string(real), ram + "/velmo01.lha");
  EXPECT_TRUE(exists(real));
  for (const char *name : {"ram:../etc/passwd", "ram:a/b", "ram:..", "ram:"})
    EXPECT_FALSE(resolvePath(name, real, sizeof real)) << name;
  ASSERT_TRUE(resolvePath("music/x.mp3", real, sizeof real));
  EXPECT_STREQ(real, "music/x.mp3");
}

TEST_F(Staging, UnpackingLeavesEveryPictureWhereTheLoaderLooksAndTwiceRepairsIt) {
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), 0);
  writeFile(ram + "/velmo01.lha", {1, 2, 3});  // damage what is there
  writeFile(ram + "/bkg00.ppm", {4, 5, 6});
  EXPECT_EQ(unpackData(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
  EXPECT_EQ(listDir(ram), expectUnpacked(3));  // no temporary files either

  writeFile(ram + "/unrelated.txt", {1});
  EXPECT_EQ(deleteData(), 0);
  EXPECT_EQ(listDir(ram), (std::set<std::string>{"unrelated.txt"}));
  testing::internal::CaptureStderr();
  EXPECT_EQ(deleteData(), 0);  // none there: nothing to say
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}

TEST_F(Staging, AnArchiveFileThatCannotBeMadeGivesOneMessageAndKeepsWhatCameBefore) {
  ASSERT_EQ(mkdir((ram + "/" + archiveNames[1]).c_str(), 0700), 0);
  testing::internal::CaptureStderr();
  EXPECT_EQ(unpackData(), -1);
  EXPECT_EQ(testing::internal::GetCapturedStderr(),
            "Unable to create support files in RAM:!\nmusicdisk: cannot stage the pictures in " + ram + ": Is a directory\n");
  std::set<std::string> expected = expectUnpacked(1);
  expected.insert(archiveNames[1]);
  EXPECT_EQ(listDir(ram), expected);
}

TEST_F(Staging, RemovingTheDirectoryTakesLeftoversTooAndASecondTimeDoesNothing) {
  writeFile(ram + "/.bkg00.ppm.1a2b3c", {1});  // a member cut off mid-way
  ASSERT_EQ(mkdir((ram + "/empty").c_str(), 0700), 0);
  removeStagingDirectory();
  EXPECT_FALSE(exists(ram));
}  // and the fixture's second call finds nothing to do
