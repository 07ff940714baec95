// The intro driven pass by pass with its own clock and input.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "batch_reader.h"
#include "display/display.h"
#include "draw/batch.h"
#include "music/music.h"
#include "screens/effects.h"
#include "screens/intro.h"

namespace {

class Intro : public ::testing::Test {
 protected:
  void SetUp() override {
    SCREEN_WIDTH = 640;
    SCREEN_HEIGHT = 480;
    flashtime = -100;
    flashin = 0;
    srand(1);
    initIntroStreaks();
    state = {};
  }
  IntroPass pass(int32_t t, const IntuiMessage *message = nullptr) {
    triPos = 0;
    return introPass(&state, t, message);
  }
  IntroState state;
};

}  // namespace

TEST_F(Intro, AnyKeyOrButtonAfterTheFirstHalfSecondEndsItWithAOneSecondFlash) {
  IntuiMessage press{IDCMP_RAWKEY, 0x40, 0, 0}, release{IDCMP_RAWKEY, 0x40 | 0x80, 0, 0};
  IntuiMessage move{IDCMP_MOUSEMOVE, 0, 10, 10}, button{IDCMP_MOUSEBUTTONS, SELECTDOWN, 0, 0};
  pass(50, &press);
  pass(60, &move);
  EXPECT_FALSE(state.introEnding);
  IntroPass p = pass(1000, &release);  // a release ends it like a press
  EXPECT_TRUE(state.introEnding);
  EXPECT_EQ(flashtime, 998);
  EXPECT_FALSE(p.finished);
  EXPECT_EQ(p.fullClear, 1) << "the flash frames are erased whole";
  pass(1010, &button);  // a second request during the flash changes nothing
  EXPECT_EQ(flashtime, 998);

  p = pass(1048);
  ASSERT_FALSE(p.finished);
  // The overlay is the last two quads: water01 over H x H, then the strip
  // of water02 over the rest.
  std::vector<Quad> quads = batchQuads();
  ASSERT_GE(quads.size(), 2u);
  const Quad &water = quads[quads.size() - 2], &strip = quads.back();
  EXPECT_EQ(water.slot, 0);
  EXPECT_EQ(strip.slot, 3);
  EXPECT_NEAR(water.alpha, 0.5f, 1e-6);
  EXPECT_NEAR(water.cx, 480, 1e-3);
  EXPECT_NEAR(strip.cx, 640, 1e-3);
  p = pass(1098);  // flashtime + 100: one opaque frame, the last
  EXPECT_TRUE(p.finished);
  EXPECT_EQ(batchQuads().back().alpha, 1.0f);
  EXPECT_EQ(flashin, 0);
}

TEST_F(Intro, WithoutInputItEndsAfterTheTimeOut) {
  pass(34770);
  EXPECT_FALSE(state.introEnding);
  pass(34771);
  EXPECT_TRUE(state.introEnding);
  EXPECT_EQ(flashtime, 34769);
  EXPECT_FALSE(pass(34800).finished);
  EXPECT_TRUE(pass(34869).finished);
}

TEST_F(Intro, TheScenesComeAtTheirTimesOnTheirRows) {
  const struct {
    int32_t t;
    std::string text;
    int row;
    float alpha;
  } lines[] = {
      {3451, "PRESENTS", 10, 1 / 500.0f},
      {5500, "A MSX COMPO HELD BY", 4, 300 / 500.0f},
      {6100, upper(introAddress), 24, 50 / 500.0f},
      {9100, "FEAT. ORBEL", 18, 0.5f},
      {9899, "TORVANE CREDITS:", 8, 249 / 500.0f},  // the window closes before the ramp ends
      {9899, upper(introCoder), 10, 249 / 500.0f},
      {9899, upper(introGraphics), 11, 249 / 500.0f},
      {9899, upper(introComposer), 12, 249 / 500.0f},
      {11451, "ORBEL ENTRIES BY:", 4, 1 / 200.0f},
      {11451, "HIT ANY KEY/BUTTON TO START MUSICDISK", 23, 1 / 200.0f},
  };
  for (const auto &l : lines) {
    pass(l.t);
    std::vector<TextLine> shown = batchTextLines();
    const TextLine *line = findLine(shown, l.text);
    ASSERT_NE(line, nullptr) << l.text << " at " << l.t;
    EXPECT_EQ(line->row, l.row) << l.text;
    EXPECT_NEAR(line->alpha, l.alpha, 1e-6) << l.text;
  }
  for (int k = 1; k <= numberOfSongs; k++) EXPECT_EQ(findLine(batchTextLines(), upper(songartists[k - 1]))->row, 4 + k);
  pass(9900);
  EXPECT_EQ(findLine(batchTextLines(), "CREDITS"), nullptr);
  EXPECT_EQ(findLine(batchTextLines(), "ORBEL"), nullptr);

  // Logos: a third of the width, in the centre.
  const struct {
    int32_t t;
    int slot;
    float alpha;
  } logos[] = {{1651, 18, 1 / 500.0f}, {5500, 2, 1.0f}, {9100, 19, 0.5f}};
  for (const auto &l : logos) {
    pass(l.t);
    Quad logo{};
    bool found = false;
    for (const Quad &q : batchQuads())
      if (q.slot == l.slot) logo = q, found = true;
    ASSERT_TRUE(found) << l.slot;
    EXPECT_NEAR(logo.width(), 213.0f, 1e-3);
    EXPECT_NEAR(logo.centreX(), 320.0f, 1e-3);
    EXPECT_NEAR(logo.centreY(), 240.0f, 1e-3);
    EXPECT_NEAR(logo.alpha, l.alpha, 1e-6);
  }
}

TEST_F(Intro, TheSwirlBuildsUpOverPartlyErasedFramesUntilTheBallsAppear) {
  stars[0].x = 641.0f;  // a streak that has left the screen comes back at the left, low down
  IntroPass p = pass(11450);
  EXPECT_FLOAT_EQ(stars[0].x, 0.0f);
  EXPECT_GE(stars[0].y, 432.0f);
  EXPECT_EQ(p.fullClear, 0);
  std::vector<Quad> quads = batchQuads();
  ASSERT_FALSE(quads.empty());
  EXPECT_EQ(quads[0].slot, 4);
  EXPECT_NEAR(quads[0].alpha, 0.0078f, 1e-6);
  p = pass(11451);
  EXPECT_EQ(p.fullClear, 1);
  quads = batchQuads();
  ASSERT_GE(quads.size(), 30u);
  for (int k = 0; k < 30; k++) {
    const Quad &ball = quads[k];
    EXPECT_EQ(ball.slot, 1);
    EXPECT_EQ(ball.v0, 32);
    EXPECT_LE(ball.width(), 64.0f + 1e-3);
    EXPECT_LE(std::fabs(ball.centreX() - 320), 128.0f + 1e-3);
    EXPECT_LE(std::fabs(ball.centreY() - 240), 128.0f + 1e-3);
  }
}
