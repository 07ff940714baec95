// The staging directory and the mapping of "ram:" names.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "platform/files.h"

TEST(StagingDirectory, RamNamesMapIntoAPrivateDirectoryThatIsRemovedWithItsFiles) {
  const char *dir = stagingDirectory();
  ASSERT_NE(dir, nullptr);
  struct stat st;
  ASSERT_EQ(stat(dir, &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  std::string saved = dir;

  FILE *f = openFile("RAM:velmo01.lha", "w");
  ASSERT_NE(f, nullptr);
  fputs("x", f);
  fclose(f);
  char real[4096];
  ASSERT_TRUE(resolvePath("ram:velmo01.lha", real, sizeof real));
  EXPECT_EQ(std::string(real), saved + "/velmo01.lha");
  EXPECT_EQ(access(real, R_OK), 0);

  removeStagingDirectory();
  EXPECT_NE(stat(saved.c_str(), &st), 0);
  removeStagingDirectory();  // a second call does nothing
}

TEST(StagingDirectory, NamesCannotLeaveIt) {
  char real[4096];
  EXPECT_FALSE(resolvePath("ram:../etc/passwd", real, sizeof real));
  EXPECT_FALSE(resolvePath("ram:a/b", real, sizeof real));
  EXPECT_FALSE(resolvePath("ram:..", real, sizeof real));
  EXPECT_FALSE(resolvePath("ram:", real, sizeof real));
  ASSERT_TRUE(resolvePath("music/x.mp3", real, sizeof real));
  EXPECT_STREQ(real, "music/x.mp3");
  removeStagingDirectory();
}
