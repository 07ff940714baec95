// The quad primitives: what they write into the batch, and the batch's limit.
#include <gtest/gtest.h>

#include <cmath>

#include "draw/batch.h"

namespace {

class Batch : public ::testing::Test {
 protected:
  void SetUp() override { triPos = 0; }
};

// The four corners of the quad in records k, k+1 in drawing order A, B, C, D.
struct Quad {
  const TriVertex &a, &b, &c, &d;
  int32_t slot;
};
Quad quadAt(int k) {
  return {w3d_TriWorld[k].v[0], w3d_TriWorld[k].v[1], w3d_TriWorld[k].v[2], w3d_TriWorld[k + 1].v[1],
          w3d_TriWorld[k].slot};
}

#define EXPECT_XY(vertex, ex, ey)     \
  do {                                \
    EXPECT_FLOAT_EQ((vertex).x, ex);  \
    EXPECT_FLOAT_EQ((vertex).y, ey);  \
  } while (0)
#define EXPECT_UV(vertex, eu, ev)     \
  do {                                \
    EXPECT_FLOAT_EQ((vertex).u, eu);  \
    EXPECT_FLOAT_EQ((vertex).v, ev);  \
  } while (0)

TEST_F(Batch, ACentredRectangleFillsTwoRecordsWithItsCornersClockwise) {
  W3DTexturePolygonPosition(4, 320, 240, 0, 640, 640, 0, 0, 256, 256, 1, 0.5f);
  EXPECT_EQ(triPos, 2);
  Quad q = quadAt(0);
  EXPECT_EQ(q.slot, 4);
  EXPECT_XY(q.a, 0, -80);
  EXPECT_XY(q.b, 640, -80);
  EXPECT_XY(q.c, 640, 560);
  EXPECT_XY(q.d, 0, 560);
  EXPECT_UV(q.a, 0, 0);
  EXPECT_UV(q.b, 256, 0);
  EXPECT_UV(q.c, 256, 256);
  EXPECT_UV(q.d, 0, 256);
  for (const TriVertex *v : {&q.a, &q.b, &q.c, &q.d}) {
    // A depth of 0 is moved off zero, so that w stays finite.
    EXPECT_EQ(v->z, float(0.0 + 0.0001));
    EXPECT_EQ(v->w, 1.0f / float(0.0001));
    EXPECT_NEAR(v->w, 10000.0f, 0.01f);
    EXPECT_EQ(v->brightness, 1.0f);
    EXPECT_EQ(v->alpha, 0.5f);
  }
}

TEST_F(Batch, DepthOtherThanZeroIsKeptAndWIsItsInverse) {
  W3DTexturePolygonPosition(0, 10, 10, 0.5f, 4, 4, 0, 0, 1, 1, 0.25f, 1);
  W3DTexturePolygonPosition(0, 10, 10, -2.0f, 4, 4, 0, 0, 1, 1, 0.25f, 1);
  EXPECT_EQ(quadAt(0).a.z, 0.5f);
  EXPECT_EQ(quadAt(0).d.w, 2.0f);
  EXPECT_EQ(quadAt(0).c.brightness, 0.25f);
  EXPECT_EQ(quadAt(2).b.z, -2.0f);
  EXPECT_EQ(quadAt(2).b.w, -0.5f);
}

TEST_F(Batch, PrimitivesAppendInCallOrderEachWithItsOwnSlot) {
  W3DTexturePolygonPosition(6, 1, 1, 0, 2, 2, 0, 0, 256, 256, 1, 1);
  W3DTexturePolygon(19, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1);
  W3DTextureRotAlphaPolygonPosition(2, 5, 5, 0, 2, 2, 0, 0, 256, 256, 0, 1);
  W3DTexturePolygonDoublePosition(3, 5, 5, 0, 2, 2, 2, 0, 0, 256, 256, 1, 1, 1);
  W3DTestPolygon(11, 0, 0, 0, 1, 1, 0);
  EXPECT_EQ(triPos, 10);
  EXPECT_EQ(quadAt(0).slot, 6);
  EXPECT_EQ(quadAt(2).slot, 19);
  EXPECT_EQ(quadAt(4).slot, 2);
  EXPECT_EQ(quadAt(6).slot, 3);
  EXPECT_EQ(quadAt(8).slot, 11);
}

TEST_F(Batch, AFreeQuadTakesItsCornersAsGivenWithFullBrightness) {
  W3DTexturePolygon(1, 10, 20, 0.3f, 32, 64,  // A
                    50, 25, 0.4f, 64, 64,     // B
                    55, 70, 0, 64, 96,        // C
                    8, 60, 0.6f, 32, 96,      // D
                    0.75f);
  Quad q = quadAt(0);
  EXPECT_XY(q.a, 10, 20);
  EXPECT_XY(q.b, 50, 25);
  EXPECT_XY(q.c, 55, 70);
  EXPECT_XY(q.d, 8, 60);
  EXPECT_UV(q.a, 32, 64);
  EXPECT_UV(q.b, 64, 64);
  EXPECT_UV(q.c, 64, 96);
  EXPECT_UV(q.d, 32, 96);
  EXPECT_EQ(q.a.z, 0.3f);
  EXPECT_EQ(q.b.z, 0.4f);
  EXPECT_EQ(q.c.z, float(0.0001));
  EXPECT_EQ(q.d.z, 0.6f);
  EXPECT_EQ(q.d.w, 1.0f / 0.6f);
  for (const TriVertex *v : {&q.a, &q.b, &q.c, &q.d}) {
    EXPECT_EQ(v->brightness, 1.0f);
    EXPECT_EQ(v->alpha, 0.75f);
  }
}

TEST_F(Batch, ATurnedQuadAtAngleZeroShowsThePictureAQuarterTurnCounterClockwise) {
  W3DTextureRotAlphaPolygonPosition(4, 100, 100, 0, 100, 100, 0, 0, 256, 256, 0, 0.0078f);
  Quad q = quadAt(0);
  // Corners on the diagonals: about 0.71 of the size across.
  EXPECT_NEAR(q.a.x, 64.64f, 0.01f);
  EXPECT_NEAR(q.a.y, 64.64f, 0.01f);
  EXPECT_NEAR(q.b.x, 135.36f, 0.01f);
  EXPECT_NEAR(q.b.y, 64.64f, 0.01f);
  EXPECT_NEAR(q.c.x, 135.36f, 0.01f);
  EXPECT_NEAR(q.c.y, 135.36f, 0.01f);
  EXPECT_NEAR(q.d.x, 64.64f, 0.01f);
  EXPECT_NEAR(q.d.y, 135.36f, 0.01f);
  // D is B mirrored through the centre.
  EXPECT_FLOAT_EQ(q.d.x - 100, 100 - q.b.x);
  EXPECT_FLOAT_EQ(q.d.y - 100, 100 - q.b.y);
  // The picture's top row (v = 0) runs along the left edge, D to A.
  EXPECT_UV(q.a, 256, 0);
  EXPECT_UV(q.b, 256, 256);
  EXPECT_UV(q.c, 0, 256);
  EXPECT_UV(q.d, 0, 0);
  EXPECT_EQ(q.a.alpha, 0.0078f);
  EXPECT_EQ(q.c.brightness, 1.0f);
  EXPECT_NEAR(q.c.w, 10000.0f, 0.01f);
}

TEST_F(Batch, ATurnedQuadFollowsItsAngle) {
  // A quarter turn moves every corner one place on: A goes where B was.
  W3DTextureRotAlphaPolygonPosition(0, 100, 100, 1, 100, 100, 0, 0, 256, 256, 0, 1);
  W3DTextureRotAlphaPolygonPosition(0, 100, 100, 1, 100, 100, 0, 0, 256, 256, float(M_PI / 2), 1);
  Quad flat = quadAt(0), turned = quadAt(2);
  EXPECT_NEAR(turned.a.x, flat.b.x, 0.01f);
  EXPECT_NEAR(turned.a.y, flat.b.y, 0.01f);
  EXPECT_NEAR(turned.b.x, flat.c.x, 0.01f);
  EXPECT_NEAR(turned.b.y, flat.c.y, 0.01f);
  EXPECT_NEAR(turned.c.x, flat.d.x, 0.01f);
  EXPECT_NEAR(turned.c.y, flat.d.y, 0.01f);
  // Each offset is rounded to single precision before it meets the centre.
  float hw = 50.0f;
  EXPECT_EQ(turned.a.x, 100.0f - float(hw * std::cos(M_PI / 2 + 0.785398)));
}

TEST_F(Batch, ATrapezoidRampsItsBrightnessFromTopToBottom) {
  W3DTexturePolygonDoublePosition(7, 100, 50, 2, 40, 80, 20, 0, 0, 128, 64, 0.2f, 0.9f, 0.6f);
  Quad q = quadAt(0);
  EXPECT_XY(q.a, 80, 40);
  EXPECT_XY(q.b, 120, 40);
  EXPECT_XY(q.c, 140, 60);
  EXPECT_XY(q.d, 60, 60);
  EXPECT_UV(q.a, 0, 0);
  EXPECT_UV(q.c, 128, 64);
  EXPECT_EQ(q.a.brightness, 0.2f);
  EXPECT_EQ(q.b.brightness, 0.2f);
  EXPECT_EQ(q.c.brightness, 0.9f);
  EXPECT_EQ(q.d.brightness, 0.9f);
  EXPECT_EQ(q.d.alpha, 0.6f);
  EXPECT_EQ(q.d.w, 0.5f);
}

TEST_F(Batch, TheTestRectangleSpansTwoCornersWithTheMeanDepthBetweenThem) {
  W3DTestPolygon(9, 10, 20, 1, 30, 60, 3);
  Quad q = quadAt(0);
  EXPECT_XY(q.a, 10, 20);
  EXPECT_XY(q.b, 10, 60);
  EXPECT_XY(q.c, 30, 60);
  EXPECT_XY(q.d, 30, 20);
  EXPECT_EQ(q.a.z, 1.0f);
  EXPECT_EQ(q.b.z, 2.0f);
  EXPECT_EQ(q.c.z, 3.0f);
  EXPECT_EQ(q.d.z, 2.0f);
  EXPECT_UV(q.a, 0, 0);
  EXPECT_UV(q.b, 0, 255);
  EXPECT_UV(q.c, 255, 255);
  EXPECT_UV(q.d, 255, 0);
  EXPECT_EQ(q.b.alpha, 1.0f);
  EXPECT_EQ(q.b.brightness, 1.0f);
}

// ---------------------------------------------------------------------------
// The batch's limit

TEST_F(Batch, AFullBatchDropsFurtherQuadsCountsThemAndSaysSoOnce) {
  uint64_t droppedBefore = droppedQuads;
  testing::internal::CaptureStderr();
  for (int frame = 0; frame < 2; frame++) {
    triPos = 0;
    for (int i = 0; i < BATCH_CAPACITY / 2; i++)
      W3DTexturePolygonPosition(i % 20, float(i), 0, 1, 1, 1, 0, 0, 1, 1, 1, 1);
    ASSERT_EQ(triPos, BATCH_CAPACITY) << "5000 quads fit";
    // Three more of every kind: none is written.
    W3DTexturePolygonPosition(5, -1, -1, 1, 1, 1, 0, 0, 1, 1, 1, 1);
    W3DTexturePolygon(5, 0, 0, 0, 0, 0, 1, 0, 0, 1, 0, 1, 1, 0, 1, 1, 0, 1, 0, 0, 1, 1);
    W3DTextureRotAlphaPolygonPosition(5, 5, 5, 0, 2, 2, 0, 0, 256, 256, 0, 1);
    W3DTexturePolygonDoublePosition(5, 5, 5, 0, 2, 2, 2, 0, 0, 256, 256, 1, 1, 1);
    W3DTestPolygon(5, 0, 0, 0, 1, 1, 0);
    EXPECT_EQ(triPos, BATCH_CAPACITY);
  }
  std::string said = testing::internal::GetCapturedStderr();
  EXPECT_EQ(droppedQuads - droppedBefore, 10u);
  // The last quad that fitted is intact.
  EXPECT_EQ(quadAt(BATCH_CAPACITY - 2).slot, 4999 % 20);
  EXPECT_FLOAT_EQ(quadAt(BATCH_CAPACITY - 2).a.x, 4999 - 0.5f);
  if (droppedBefore == 0) {
    EXPECT_NE(said.find("batch is full"), std::string::npos) << said;
    EXPECT_EQ(said.find('\n'), said.size() - 1) << "said once, not every frame: " << said;
  } else {
    EXPECT_EQ(said, "");
  }
}

TEST_F(Batch, ANegativeCountIsNotWrittenBefore) {
  triPos = -2;
  testing::internal::CaptureStderr();
  W3DTexturePolygonPosition(1, 0, 0, 0, 1, 1, 0, 0, 1, 1, 1, 1);
  testing::internal::GetCapturedStderr();
  EXPECT_EQ(triPos, -2);
}

}  // namespace
