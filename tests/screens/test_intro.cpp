// The intro driven pass by pass with its own clock and input.
#include <gtest/gtest.h>

#include <cctype>
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
    triPos = 0;
  }
  IntroPass pass(int32_t t, const IntuiMessage *message = nullptr) {
    triPos = 0;
    return introPass(&state, t, message);
  }
  IntroState state;
};

IntuiMessage key(uint16_t code) { return IntuiMessage{IDCMP_RAWKEY, code, 0, 0}; }

}  // namespace

TEST_F(Intro, InputInTheFirstHalfSecondIsIgnoredAndAnyKeyOrButtonLaterEndsIt) {
  IntuiMessage press = key(0x40);
  pass(50, &press);
  EXPECT_FALSE(state.introEnding);
  IntuiMessage move{IDCMP_MOUSEMOVE, 0, 10, 10};
  pass(60, &move);
  EXPECT_FALSE(state.introEnding);

  IntuiMessage release = key(0x40 | 0x80);  // a release ends it like a press
  IntroPass p = pass(51, &release);
  EXPECT_TRUE(state.introEnding);
  EXPECT_EQ(flashtime, 49);
  EXPECT_FALSE(p.finished);
  EXPECT_EQ(p.fullClear, 1);  // the flash frames are erased whole

  IntuiMessage button{IDCMP_MOUSEBUTTONS, SELECTDOWN, 0, 0};
  pass(80, &button);  // a second request during the flash changes nothing
  EXPECT_EQ(flashtime, 49);
}

TEST_F(Intro, TheFlashFadesInForOneSecondThenOneOpaqueFrameEndsTheIntro) {
  IntuiMessage press = key(0x45);
  pass(1000, &press);  // flashtime 998
  IntroPass p = pass(1048);
  ASSERT_FALSE(p.finished);
  // The overlay is the last two quads: water01 and the strip of water02.
  std::vector<Quad> quads = batchQuads();
  ASSERT_GE(quads.size(), 2u);
  const Quad &water = quads[quads.size() - 2], &strip = quads.back();
  EXPECT_EQ(water.slot, 0);
  EXPECT_EQ(strip.slot, 3);
  EXPECT_NEAR(water.alpha, 0.5f, 1e-6);
  EXPECT_NEAR(water.ax, 0, 1e-3);
  EXPECT_NEAR(water.cx, 480, 1e-3);
  EXPECT_NEAR(strip.ax, 480, 1e-3);
  EXPECT_NEAR(strip.cx, 640, 1e-3);
  EXPECT_NEAR(strip.u1, 64, 1e-3);

  p = pass(1098);  // exactly flashtime + 100: no fade-in, the opaque frame
  EXPECT_TRUE(p.finished);
  quads = batchQuads();
  EXPECT_EQ(quads.back().slot, 3);
  EXPECT_EQ(quads.back().alpha, 1.0f);
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

TEST_F(Intro, TheSwirlBuildsUpOverPartlyErasedFramesUntilTheBallsAndEntrantsAppear) {
  IntroPass p = pass(11450);
  EXPECT_EQ(p.fullClear, 0);
  std::vector<Quad> quads = batchQuads();
  ASSERT_FALSE(quads.empty());
  EXPECT_EQ(quads[0].slot, 4);
  EXPECT_NEAR(quads[0].alpha, 0.0078f, 1e-6);
  EXPECT_TRUE(batchTextLines().empty());

  p = pass(11451);
  EXPECT_EQ(p.fullClear, 1);
  quads = batchQuads();
  ASSERT_GE(quads.size(), 30u);
  for (int k = 0; k < 30; k++) {
    const Quad &ball = quads[k];
    EXPECT_EQ(ball.slot, 1);
    EXPECT_EQ(ball.u0, 128);
    EXPECT_EQ(ball.v0, 32);
    EXPECT_LE(ball.width(), 64.0f + 1e-3);
    EXPECT_LE(std::fabs(ball.centreX() - 320), 128.0f + 1e-3);
    EXPECT_LE(std::fabs(ball.centreY() - 240), 128.0f + 1e-3);
  }
  std::vector<TextLine> lines = batchTextLines();
  const TextLine *title = findLine(lines, "ORBEL ENTRIES BY:");
  ASSERT_NE(title, nullptr);
  EXPECT_EQ(title->row, 4);
  for (int k = 1; k <= numberOfSongs; k++) {
    const TextLine *entrant = findLine(lines, upper(songartists[k - 1]));
    ASSERT_NE(entrant, nullptr) << songartists[k - 1];
    EXPECT_EQ(entrant->row, 4 + k);
  }
  const TextLine *prompt = findLine(lines, "HIT ANY KEY/BUTTON TO START MUSICDISK");
  ASSERT_NE(prompt, nullptr);
  EXPECT_EQ(prompt->row, 23);
  EXPECT_NEAR(prompt->alpha, 1.0f / 200, 1e-6);
}

TEST_F(Intro, TheCreditsStayFaintAndAreGoneAt9900) {
  pass(9899);
  std::vector<TextLine> lines = batchTextLines();
  const TextLine *credits = findLine(lines, "TORVANE CREDITS:");
  ASSERT_NE(credits, nullptr);
  EXPECT_EQ(credits->row, 8);
  EXPECT_NEAR(credits->alpha, 249.0f / 500, 1e-6);
  EXPECT_EQ(findLine(lines, upper(introCoder))->row, 10);
  EXPECT_EQ(findLine(lines, upper(introGraphics))->row, 11);
  EXPECT_EQ(findLine(lines, upper(introComposer))->row, 12);

  pass(9900);
  EXPECT_EQ(findLine(batchTextLines(), "CREDITS"), nullptr);
}

TEST_F(Intro, LogosAreAThirdOfTheWidthInTheCentreAndRampIn) {
  pass(1651);
  std::vector<Quad> quads = batchQuads();
  const Quad *logo = nullptr;
  for (const Quad &q : quads)
    if (q.slot == 18) logo = &q;
  ASSERT_NE(logo, nullptr);
  EXPECT_NEAR(logo->width(), 213.0f, 1e-3);
  EXPECT_NEAR(logo->height(), 213.333f, 1e-3);
  EXPECT_NEAR(logo->centreX(), 320.0f, 1e-3);
  EXPECT_NEAR(logo->centreY(), 240.0f, 1e-3);
  EXPECT_NEAR(logo->alpha, 1.0f / 500, 1e-7);

  pass(5500);  // the competition's logo and its caption
  std::vector<TextLine> lines = batchTextLines();
  EXPECT_EQ(findLine(lines, "A MSX COMPO HELD BY")->row, 4);
  pass(6100);
  EXPECT_EQ(findLine(batchTextLines(), upper(introAddress))->row, 24);
}

TEST_F(Intro, StreaksRespawnAtTheLeftAndAreNotDrawnOnTheScreenEdge) {
  stars[0].x = 639.0f;
  stars[0].dx = 2.0f;
  stars[0].y = 450.0f;
  pass(100);  // moves to 641: off the screen, not drawn
  EXPECT_FLOAT_EQ(stars[0].x, 641.0f);
  pass(101);  // respawns at x = 0: not drawn
  EXPECT_FLOAT_EQ(stars[0].x, 0.0f);
  EXPECT_GE(stars[0].y, 432.0f);
  EXPECT_LE(stars[0].y, 480.0f);
  float dx = stars[0].dx;
  EXPECT_TRUE(dx == 640 / 75.0f || dx == 640 / 87.5f || dx == 640 / 100.0f) << dx;
  pass(102);
  EXPECT_FLOAT_EQ(stars[0].x, dx);
  bool drawn = false;
  for (const Quad &q : batchQuads())
    if (q.slot == 1 && q.u0 == 128 && q.v0 == 0 && std::fabs(q.centreX() - dx) < 1e-3) drawn = true;
  EXPECT_TRUE(drawn);
}
