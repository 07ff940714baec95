// Text lines on the 40-column grid, the scroller's window, wave and wrap,
// and the scroller's message itself.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textures.h"

namespace {

class Text : public ::testing::Test {
 protected:
  void SetUp() override {
    SCREEN_WIDTH = 640;
    SCREEN_HEIGHT = 480;
    triPos = 0;
    loop = 0;
  }
};

const TriVertex &cornerA(int quad) { return w3d_TriWorld[2 * quad].v[0]; }
const TriVertex &cornerB(int quad) { return w3d_TriWorld[2 * quad].v[1]; }
const TriVertex &cornerC(int quad) { return w3d_TriWorld[2 * quad].v[2]; }
const TriVertex &cornerD(int quad) { return w3d_TriWorld[2 * quad + 1].v[1]; }
float centreX(int quad) { return (cornerA(quad).x + cornerB(quad).x) / 2; }
float centreY(int quad) { return (cornerA(quad).y + cornerD(quad).y) / 2; }
// The glyph cell a quad shows, from its top-left texel.
int cellOf(int quad) { return int(cornerA(quad).v / 32) * 8 + int(cornerA(quad).u / 32); }

// ---------------------------------------------------------------------------
// Text lines

TEST_F(Text, ALineSitsOnTheGridWithLowerCaseShownAsCapitals) {
  EXPECT_EQ(W3DWriteText("AbC", 2, 0, 1.0f), 0);
  ASSERT_EQ(triPos, 6);
  const float xs[] = {8, 24, 40};
  const int cells[] = {33, 34, 35};
  for (int i = 0; i < 3; i++) {
    EXPECT_FLOAT_EQ(centreX(i), xs[i]);
    EXPECT_FLOAT_EQ(centreY(i), float(32 + 640 / 75.0));  // 40.533
    EXPECT_FLOAT_EQ(cornerB(i).x - cornerA(i).x, 16);
    EXPECT_FLOAT_EQ(cornerD(i).y - cornerA(i).y, 16);
    EXPECT_EQ(cellOf(i), cells[i]);
    EXPECT_FLOAT_EQ(cornerC(i).u - cornerA(i).u, 32);
    EXPECT_FLOAT_EQ(cornerC(i).v - cornerA(i).v, 32);
    EXPECT_EQ(w3d_TriWorld[2 * i].slot, FONT_SLOT);
    EXPECT_FLOAT_EQ(cornerA(i).z, 0.1f);
    EXPECT_EQ(cornerC(i).brightness, 1.0f);
    EXPECT_EQ(cornerC(i).alpha, 1.0f);
  }
}

TEST_F(Text, ACentredLineIsShiftedByHalfTheUnusedColumns) {
  W3DWriteText("AbC", 2, 1, 0.25f);
  ASSERT_EQ(triPos, 6);
  EXPECT_FLOAT_EQ(centreX(0), 8 + 296);
  EXPECT_FLOAT_EQ(centreX(2), 40 + 296);
  EXPECT_EQ(cornerA(1).alpha, 0.25f);
  // Only 1 centres; any other value starts at the left edge.
  triPos = 0;
  W3DWriteText("AbC", 2, 2, 1.0f);
  EXPECT_FLOAT_EQ(centreX(0), 8);
  // A line longer than the screen starts left of it.
  triPos = 0;
  W3DWriteText(std::string(42, 'X').c_str(), 0, 1, 1.0f);
  EXPECT_FLOAT_EQ(centreX(0), 8 - 16);
}

TEST_F(Text, BlanksTakeACellAndAnEmptyLineNothing) {
  W3DWriteText("", 5, 1, 1.0f);
  EXPECT_EQ(triPos, 0);
  W3DWriteText(" ", 0, 0, 1.0f);
  ASSERT_EQ(triPos, 2);
  EXPECT_EQ(cellOf(0), 0);
  EXPECT_FLOAT_EQ(cornerA(0).u, 0);
  EXPECT_FLOAT_EQ(cornerC(0).v, 32);
}

TEST_F(Text, TheLayoutFollowsTheScreenWidthOnly) {
  SCREEN_WIDTH = 800;
  SCREEN_HEIGHT = 100;
  W3DWriteText("_9", 3, 0, 1.0f);
  // Glyphs 20 pixels; x uses 800 / 75 = 10 in whole pixels, y 10.667.
  EXPECT_FLOAT_EQ(centreX(0), 10);
  EXPECT_FLOAT_EQ(centreX(1), 30);
  EXPECT_FLOAT_EQ(centreY(1), float(60 + 800 / 75.0));
  EXPECT_EQ(cellOf(0), 63);  // "_" is the last cell
  EXPECT_EQ(cellOf(1), 25);  // "9": row 3, column 1
}

// ---------------------------------------------------------------------------
// The scroller

const int MESSAGE_LENGTH = 2386;
const int TEXT_START = 21;  // the first character after the leading blanks

// The glyph cell a character shows.
int cellOfChar(char c) { return c >= 'a' && c <= 'z' ? c - 64 : c - 32; }

TEST_F(Text, TheScrollerShowsTheNonBlankCharactersOfItsWindow) {
  int t = 50 * TEXT_START;  // the window starts at the first letter
  W3DText(t);
  int quad = 0;
  for (int i = 0; i < 21; i++) {
    char c = scrolltext[TEXT_START + i];
    if (c == ' ') continue;
    ASSERT_LT(2 * quad, triPos);
    EXPECT_EQ(cellOf(quad), cellOfChar(c)) << i;
    EXPECT_FLOAT_EQ(cornerA(quad).x, 32.0f * i) << "unshifted on a whole step";
    EXPECT_FLOAT_EQ(cornerB(quad).x, 32.0f * (i + 1));
    EXPECT_EQ(w3d_TriWorld[2 * quad].slot, FONT_SLOT);
    quad++;
  }
  EXPECT_EQ(triPos, 2 * quad);
  EXPECT_GT(quad, 10);
}

TEST_F(Text, HalfAStepMovesEveryLetterLeftByHalfALetter) {
  W3DText(50 * TEXT_START);
  float whole = cornerA(0).x;
  int before = triPos;
  triPos = 0;
  W3DText(50 * TEXT_START + 25);
  EXPECT_EQ(triPos, before);
  EXPECT_FLOAT_EQ(cornerA(0).x, whole - 16);
  // A full step later the window has moved on by one character.
  triPos = 0;
  W3DText(50 * (TEXT_START + 1));
  EXPECT_EQ(cellOf(0), cellOfChar(scrolltext[TEXT_START + 1]));
  EXPECT_FLOAT_EQ(cornerA(0).x, 0);
}

TEST_F(Text, EachLetterRidesTheWaveWithItsOwnEdges) {
  int t = 50 * 400 + 13;
  int first = t / 50;
  W3DText(t);
  double top = 480 - 64.0;
  int quad = 0;
  for (int i = 0; i < 21; i++) {
    if (scrolltext[first + i] == ' ') continue;
    double waveLeft = 480 * std::sin((68 * (first + i) - 2 * t) / 100.0) / 25.0;
    double waveRight = 480 * std::sin((68 * (first + i + 1) - 2 * t) / 100.0) / 25.0;
    EXPECT_FLOAT_EQ(cornerA(quad).y, float(top + waveLeft)) << i;
    EXPECT_FLOAT_EQ(cornerB(quad).y, float(top + waveRight)) << i;
    EXPECT_FLOAT_EQ(cornerC(quad).y, float(top + 32 + waveRight)) << i;
    EXPECT_FLOAT_EQ(cornerD(quad).y, float(top + 32 + waveLeft)) << i;
    EXPECT_FLOAT_EQ(cornerA(quad).x, float(32 * i) + 13 * 32 / -50.0f);
    EXPECT_FLOAT_EQ(cornerD(quad).x, cornerA(quad).x);
    EXPECT_NEAR(cornerA(quad).w, 10000.0f, 0.01f);  // depth 0
    EXPECT_EQ(cornerA(quad).alpha, 1.0f);
    quad++;
  }
  ASSERT_GT(quad, 1);
  // Neighbours share the height of their common edge.
  for (int i = 0; i + 1 < 21; i++) {
    if (scrolltext[first + i] == ' ' || scrolltext[first + i + 1] == ' ') continue;
    int q = 0;
    for (int j = 0; j < i; j++) q += scrolltext[first + j] != ' ';
    EXPECT_FLOAT_EQ(cornerB(q).y, cornerA(q + 1).y);
    EXPECT_FLOAT_EQ(cornerB(q).x, cornerA(q + 1).x);
  }
}

TEST_F(Text, AWindowOfBlanksAppendsNothing) {
  for (int t : {0, 25, 49}) {  // the leading blanks
    W3DText(t);
    EXPECT_EQ(triPos, 0) << t;
  }
  W3DText(50 * (MESSAGE_LENGTH - 21));  // the trailing blanks
  EXPECT_EQ(triPos, 0);
  EXPECT_EQ(loop, 0);
}

TEST_F(Text, RunningOffTheEndStartsOverNearTheBeginning) {
  int t = 50 * (MESSAGE_LENGTH - 20);  // first = 2366
  W3DText(t);
  EXPECT_EQ(triPos, 0);
  EXPECT_EQ(loop, 1);
  // Same clock: the window now starts at character 1, so only the first
  // letter of the message shows, at the right edge.
  W3DText(t);
  EXPECT_EQ(loop, 1);
  ASSERT_EQ(triPos, 2);
  EXPECT_EQ(cellOf(0), cellOfChar(scrolltext[TEXT_START]));
  EXPECT_FLOAT_EQ(cornerA(0).x, 32.0f * 20);
  // And the lap after that.
  triPos = 0;
  W3DText(t + 50 * (MESSAGE_LENGTH - 21));
  EXPECT_EQ(loop, 2);
  EXPECT_EQ(triPos, 0);
}

TEST_F(Text, AClockOfMonthsStillWaves) {
  // 2^31 - 1 hundredths: laps far beyond the message; the loop catches up
  // one lap a call and then shows the right window.
  int t = 2147483647;
  int laps = t / 50 / (MESSAGE_LENGTH - 21);
  loop = laps;
  W3DText(t);
  int first = t / 50 - (MESSAGE_LENGTH - 21) * laps;
  ASSERT_EQ(loop, laps) << "first = " << first;
  int shown = 0;
  for (int i = 0; i < 21; i++) shown += scrolltext[first + i] != ' ';
  ASSERT_EQ(triPos, 2 * shown);
  if (shown) {
    int i = 0;
    while (scrolltext[first + i] == ' ') i++;
    double wave = 480 * std::sin((68.0 * (first + i) - 2.0 * t) / 100.0) / 25.0;
    EXPECT_FLOAT_EQ(cornerA(0).y, float(480 - 64.0 + wave));
  }
}

TEST_F(Text, AClockBehindTheCurrentLapShowsNothing) {
  loop = 3;
  W3DText(0);
  EXPECT_EQ(triPos, 0);
  EXPECT_EQ(loop, 3);
}

TEST_F(Text, TheMessageIsAGreetingThatFillsExactlyOneWindowAtEachEnd) {
  ASSERT_EQ(strlen(scrolltext), size_t(MESSAGE_LENGTH));
  for (int i = 0; i < 21; i++) {
    EXPECT_EQ(scrolltext[i], ' ');
    EXPECT_EQ(scrolltext[MESSAGE_LENGTH - 1 - i], ' ');
  }
  EXPECT_NE(scrolltext[21], ' ');
  EXPECT_NE(scrolltext[MESSAGE_LENGTH - 22], ' ');
  for (int i = 0; i < MESSAGE_LENGTH; i++) {
    unsigned char c = scrolltext[i];
    EXPECT_TRUE((c >= 32 && c <= 95) || (c >= 'a' && c <= 'z')) << "code " << int(c) << " at " << i;
    // These cells hold the star, ball and spark pictures.
    EXPECT_EQ(strchr("$*+,", c), nullptr) << "picture cell at " << i;
  }
  std::string text = scrolltext;
  for (const char *word : {"orbel", "velmo", "jury", "esc", "alt-enter", "f1 to f10", "1 to 0", "cursor"})
    EXPECT_NE(text.find(word), std::string::npos) << word;
}

}  // namespace
