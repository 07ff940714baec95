// What the quad primitives, the text lines and the scroller write into the
// batch, and the batch's limit. No renderer: the records are read back.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <string>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textures.h"

namespace {

class Batch : public ::testing::Test {
 protected:
  void SetUp() override {
    SCREEN_WIDTH = 640;
    SCREEN_HEIGHT = 480;
    triPos = 0;
    loop = 0;
  }
};

// Corner k (A, B, C, D) of quad q: records 2q and 2q+1, D in the second.
const TriVertex &corner(int q, int k) { return k < 3 ? w3d_TriWorld[2 * q].v[k] : w3d_TriWorld[2 * q + 1].v[1]; }
float centreX(int q) { return (corner(q, 0).x + corner(q, 1).x) / 2; }
// The glyph cell a quad shows, from its top-left texel.
int cellOf(int q) { return int(corner(q, 0).v / 32) * 8 + int(corner(q, 0).u / 32); }
int cellOfChar(char c) { return c >= 'a' && c <= 'z' ? c - 64 : c - 32; }

struct Corner {
  float x, y, u, v, z, brightness;
};

TEST_F(Batch, EachPrimitivePutsItsFourCornersInDrawingOrder) {
  const struct {
    void (*append)();
    int slot;
    float alpha;
    Corner corners[4];
  } cases[] = {
      {[] { W3DTexturePolygonPosition(4, 320, 240, 0, 640, 640, 0, 0, 256, 256, 1, 0.5f); },
       4,
       0.5f,
       {{0, -80, 0, 0, 0, 1}, {640, -80, 256, 0, 0, 1}, {640, 560, 256, 256, 0, 1}, {0, 560, 0, 256, 0, 1}}},
      {[] {
         W3DTexturePolygon(1, 10, 20, 0.3f, 32, 64, 50, 25, 0.4f, 64, 64, 55, 70, 0, 64, 96, 8, 60, 0.6f, 32, 96,
                           0.75f);
       },
       1,
       0.75f,
       {{10, 20, 32, 64, 0.3f, 1}, {50, 25, 64, 64, 0.4f, 1}, {55, 70, 64, 96, 0, 1}, {8, 60, 32, 96, 0.6f, 1}}},
      {[] { W3DTexturePolygonDoublePosition(7, 100, 50, 2, 40, 80, 20, 0, 0, 128, 64, 0.2f, 0.9f, 0.6f); },
       7,
       0.6f,
       {{80, 40, 0, 0, 2, 0.2f}, {120, 40, 128, 0, 2, 0.2f}, {140, 60, 128, 64, 2, 0.9f}, {60, 60, 0, 64, 2, 0.9f}}},
      {[] { W3DTestPolygon(9, 10, 20, 1, 30, 60, 3); },
       9,
       1.0f,
       {{10, 20, 0, 0, 1, 1}, {10, 60, 0, 255, 2, 1}, {30, 60, 255, 255, 3, 1}, {30, 20, 255, 0, 2, 1}}},
      // A turned quad at angle 0: corners on the diagonals, the picture a
      // quarter turn counter-clockwise (its top row along the left edge).
      {[] { W3DTextureRotAlphaPolygonPosition(4, 100, 100, 0, 100, 100, 0, 0, 256, 256, 0, 0.0078f); },
       4,
       0.0078f,
       {{64.645f, 64.645f, 256, 0, 0, 1},
        {135.355f, 64.645f, 256, 256, 0, 1},
        {135.355f, 135.355f, 0, 256, 0, 1},
        {64.645f, 135.355f, 0, 0, 0, 1}}},
  };
  for (const auto &c : cases) {
    triPos = 0;
    c.append();
    ASSERT_EQ(triPos, 2);
    EXPECT_EQ(w3d_TriWorld[0].slot, c.slot);
    for (int k = 0; k < 4; k++) {
      const TriVertex &v = corner(0, k);
      const Corner &e = c.corners[k];
      SCOPED_TRACE("slot " + std::to_string(c.slot) + " corner " + std::to_string(k));
      EXPECT_NEAR(v.x, e.x, 0.01f);
      EXPECT_NEAR(v.y, e.y, 0.01f);
      EXPECT_EQ(v.u, e.u);
      EXPECT_EQ(v.v, e.v);
      // A depth of 0 is moved off zero, so that w stays finite.
      EXPECT_EQ(v.z, e.z == 0 ? float(0.0001) : e.z);
      EXPECT_EQ(v.w, 1.0f / v.z);
      EXPECT_EQ(v.brightness, e.brightness);
      EXPECT_EQ(v.alpha, c.alpha);
    }
  }
  // A quarter turn moves every corner of the turned quad one place on.
  triPos = 0;
  W3DTextureRotAlphaPolygonPosition(0, 100, 100, 1, 100, 100, 0, 0, 256, 256, 0, 1);
  W3DTextureRotAlphaPolygonPosition(0, 100, 100, 1, 100, 100, 0, 0, 256, 256, float(M_PI / 2), 1);
  for (int k = 0; k < 3; k++) {
    EXPECT_NEAR(corner(1, k).x, corner(0, k + 1).x, 0.01f);
    EXPECT_NEAR(corner(1, k).y, corner(0, k + 1).y, 0.01f);
  }
}

TEST_F(Batch, AFullBatchDropsFurtherQuadsCountsThemAndSaysSoOnce) {
  uint64_t droppedBefore = droppedQuads;
  testing::internal::CaptureStderr();
  for (int i = 0; i < BATCH_CAPACITY / 2; i++)
    W3DTexturePolygonPosition(i % 20, float(i), 0, 1, 1, 1, 0, 0, 1, 1, 1, 1);
  ASSERT_EQ(triPos, BATCH_CAPACITY) << "5000 quads fit";
  for (int i = 0; i < 3; i++) W3DTexturePolygonPosition(5, -1, -1, 1, 1, 1, 0, 0, 1, 1, 1, 1);
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(droppedQuads - droppedBefore, 3u);
  EXPECT_EQ(w3d_TriWorld[BATCH_CAPACITY - 2].slot, 4999 % 20) << "the last quad that fitted is intact";
  EXPECT_NE(said.find("batch is full"), std::string::npos) << said;
  EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once, not for every quad: " << said;
}

TEST_F(Batch, TextLinesSitOnTheFortyColumnGridWithLowerCaseAsCapitals) {
  const struct {
    const char *text;
    int row, centre, screenWidth;
    float firstX, y, size;
    int firstCell;
  } cases[] = {
      {"AbC", 2, 0, 640, 8, 32 + 640 / 75.0f, 16, 33},
      {"AbC", 2, 1, 640, 8 + 296, 32 + 640 / 75.0f, 16, 33},  // half the unused columns
      {"_9", 3, 0, 800, 10, 60 + 800 / 75.0f, 20, 63},        // x in whole pixels: 800 / 75 = 10
      {" ", 0, 0, 640, 8, 640 / 75.0f, 16, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.text);
    SCREEN_WIDTH = c.screenWidth;
    triPos = 0;
    EXPECT_EQ(W3DWriteText(c.text, c.row, c.centre, 0.25f), 0);
    ASSERT_EQ(triPos, 2 * int(strlen(c.text)));
    EXPECT_FLOAT_EQ((corner(0, 0).y + corner(0, 3).y) / 2, c.y);
    EXPECT_EQ(cellOf(0), c.firstCell);
    for (int q = 0; q < triPos / 2; q++) {
      EXPECT_FLOAT_EQ(centreX(q), c.firstX + q * c.size);
      EXPECT_EQ(cellOf(q), cellOfChar(c.text[q]));
      EXPECT_FLOAT_EQ(corner(q, 1).x - corner(q, 0).x, c.size);
      EXPECT_FLOAT_EQ(corner(q, 3).y - corner(q, 0).y, c.size);
      EXPECT_EQ(w3d_TriWorld[2 * q].slot, FONT_SLOT);
      EXPECT_EQ(corner(q, 2).alpha, 0.25f);
    }
  }
}

// The scroller's message: 2386 characters, 21 blanks at either end.
const int MESSAGE_LENGTH = 2386;
const int TEXT_START = 21;

// The scroller at a clock: the lap it is in before and after the pass, and
// the character at the window's left edge (-1: nothing drawn) with the x it
// is drawn at. Each of the 21 columns shows one character, blanks skipped.
TEST_F(Batch, TheScrollerWindowFollowsTheClockLapByLap) {
  const int end = 50 * (MESSAGE_LENGTH - 20);  // the window would pass the end
  const struct {
    int t, lapBefore, lapAfter, first;
    float x;
  } cases[] = {
      {50 * TEXT_START, 0, 0, TEXT_START, 0},         // the first letter at the left edge
      {50 * TEXT_START + 25, 0, 0, TEXT_START, -16},  // half a step: half a letter left
      {50 * (MESSAGE_LENGTH - 21), 0, 0, MESSAGE_LENGTH - 21, 0},
      {end, 0, 1, -1, 0},  // the lap ends
      {end, 1, 1, 1, 0},   // the same clock in the next lap: the first letter at the right edge
  };
  for (const auto &c : cases) {
    SCOPED_TRACE("t " + std::to_string(c.t) + " lap " + std::to_string(c.lapBefore));
    triPos = 0;
    loop = c.lapBefore;
    W3DText(c.t);
    EXPECT_EQ(loop, c.lapAfter);
    int quad = 0;
    for (int i = 0; c.first >= 0 && i < 21; i++) {
      char ch = scrolltext[c.first + i];
      if (ch == ' ') continue;
      ASSERT_LT(2 * quad, triPos);
      EXPECT_EQ(cellOf(quad), cellOfChar(ch)) << i;
      EXPECT_FLOAT_EQ(corner(quad, 0).x, c.x + 32.0f * i);
      EXPECT_FLOAT_EQ(corner(quad, 1).x, c.x + 32.0f * (i + 1));
      quad++;
    }
    EXPECT_EQ(triPos, 2 * quad);
  }
}

TEST_F(Batch, EachLetterRidesTheWaveAlongTheBottomWithItsOwnEdges) {
  float top = 480 - 64, highest = top, lowest = top;
  for (int t = 50 * 400; t < 50 * 400 + 400; t += 7) {
    triPos = 0;
    W3DText(t);
    ASSERT_GT(triPos, 4);
    for (int q = 0; q < triPos / 2; q++) {
      EXPECT_FLOAT_EQ(corner(q, 3).y, corner(q, 0).y + 32);  // D below A, C below B
      EXPECT_FLOAT_EQ(corner(q, 2).y, corner(q, 1).y + 32);
      EXPECT_FLOAT_EQ(corner(q, 3).x, corner(q, 0).x);
      EXPECT_EQ(corner(q, 0).alpha, 1.0f);
      highest = std::fmin(highest, corner(q, 0).y);
      lowest = std::fmax(lowest, corner(q, 0).y);
      // Neighbours share the height of their common edge.
      if (q > 0 && corner(q - 1, 1).x == corner(q, 0).x) {
        EXPECT_FLOAT_EQ(corner(q - 1, 1).y, corner(q, 0).y);
      }
    }
  }
  // The wave reaches H/25 above and below the line, and no farther.
  EXPECT_NEAR(highest, top - 480 / 25.0f, 0.5f);
  EXPECT_NEAR(lowest, top + 480 / 25.0f, 0.5f);
}

}  // namespace
