// The time base and the frame counter's text.
#include <gtest/gtest.h>

#include <sys/time.h>
#include <unistd.h>

#include <string>

#include "display/display.h"

namespace {

TEST(TimeBase, BeforeAnyResetTheValueIsWallClockHundredths) {
  timeval now;
  gettimeofday(&now, nullptr);
  uint32_t expected = uint32_t(now.tv_sec) * 100u + uint32_t(now.tv_usec / 10000);
  int32_t value = getTime();
  EXPECT_LE(std::abs(static_cast<int32_t>(static_cast<uint32_t>(value) - expected)), 5);
}

TEST(TimeBase, ResetGivesZeroAndTimeCountsHundredths) {
  EXPECT_EQ(getTimeWithStatus(1), 0);
  usleep(300000);
  int32_t later = getTime();
  EXPECT_GE(later, 30);
  EXPECT_LT(later, 300);  // generous: the machine may be busy
  EXPECT_GE(getTime(), later);
  EXPECT_EQ(getTimeWithStatus(1), 0);
  EXPECT_LT(getTime(), later);
}

// The rate is updated when a whole second of the time base is crossed; the
// sequence below is one run of the counter, its state lives on between steps.
TEST(FrameRate, TextFollowsTheFramesOfEachSecond) {
  char text[32];
  frames = 0;
  frameRateText(50, text, sizeof text);  // under one second: no rate yet
  EXPECT_EQ(std::string(text), "000 FPS");
  frames = 120;
  frameRateText(200, text, sizeof text);  // 120 frames in 200 hundredths
  EXPECT_EQ(std::string(text), "060 FPS");
  frames = 150;
  frameRateText(250, text, sizeof text);  // same second: unchanged
  EXPECT_EQ(std::string(text), "060 FPS");
  frames = 175;
  frameRateText(300, text, sizeof text);  // 55 frames in 100
  EXPECT_EQ(std::string(text), "055 FPS");
  frames = 1375;
  frameRateText(400, text, sizeof text);  // 1200 frames in one second: four digits
  EXPECT_EQ(std::string(text), "1200 FPS");
  frames = 1384;
  frameRateText(700, text, sizeof text);  // 9 frames in three seconds truncate to 3
  EXPECT_EQ(std::string(text), "003 FPS");
  frames = 0;
}

}  // namespace
