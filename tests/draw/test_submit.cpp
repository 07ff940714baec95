// Submitting the batch through the library: the lock given up every 16
// triangles, the two triangles of a quad, textures by slot, and lost locks.
#include <string>
#include <vector>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "draw_fixture.h"

namespace {

std::vector<std::string> trace;
void recordOperation(const char *operation) { trace.push_back(operation); }

// The trace with each run of draws folded into "draw xN".
std::string folded() {
  std::string out;
  for (size_t i = 0; i < trace.size();) {
    size_t j = i;
    while (j < trace.size() && trace[j] == trace[i]) j++;
    if (!out.empty()) out += ' ';
    out += trace[i];
    if (trace[i] == "draw") out += " x" + std::to_string(j - i);
    i = trace[i] == "draw" ? j : i + 1;
  }
  return out;
}

class Submit : public DrawSurface {
 protected:
  void SetUp() override {
    DrawSurface::SetUp();
    trace.clear();
  }

  // A slot holding a 256 x 256 picture of one colour.
  void solidSlot(int slot, int r, int g, int b) {
    std::string name = "solid" + std::to_string(slot) + ".ppm";
    std::string file = stagePicture(name.c_str(), 256, 256, [&](int, int) { return Pixel3{r, g, b}; });
    ASSERT_EQ(GenTexture(context, file.c_str(), slot, ALPHA_OPAQUE), 1);
  }
};

const W3D_Stats &stats(W3D_Context *context) { return *W3D_GetStats(context); }

TEST_F(Submit, FortyRecordsAreFortyTrianglesWithTheLockRetakenEverySixteen) {
  solidSlot(0, 255, 255, 255);
  for (int i = 0; i < 20; i++) W3DTexturePolygonPosition(0, 10.0f + i, 10, 0, 4, 4, 0, 0, 256, 256, 1, 1);
  ASSERT_EQ(triPos, 40);
  W3D_TraceHook = recordOperation;
  W3DDrawTriangles(context);
  W3D_TraceHook = nullptr;
  EXPECT_EQ(stats(context).triangleCalls, 40u);
  EXPECT_EQ(folded(), "lock unlock lock draw x16 unlock lock draw x16 unlock lock draw x8 unlock");
  EXPECT_EQ(HARDWARELOCK, 0) << "the lock is given back at the end";
  EXPECT_EQ(triPos, 40) << "emptying the batch is the caller's business";
}

TEST_F(Submit, AnEmptyBatchTakesAndReleasesTheLockAndDrawsNothing) {
  W3D_TraceHook = recordOperation;
  W3DDrawTriangles(context);
  W3D_TraceHook = nullptr;
  EXPECT_EQ(folded(), "lock unlock");
  EXPECT_EQ(stats(context).triangleCalls, 0u);
  EXPECT_EQ(HARDWARELOCK, 0);
}

TEST_F(Submit, NothingIsDrawnWhenTheLockCannotBeTaken) {
  solidSlot(0, 255, 255, 255);
  W3DTexturePolygonPosition(0, 100, 100, 0, 50, 50, 0, 0, 256, 256, 1, 1);
  ASSERT_EQ(W3D_LockHardware(context), 0u);  // someone else holds it
  W3DDrawTriangles(context);
  EXPECT_EQ(stats(context).triangleCalls, 0u);
  EXPECT_EQ(triPos, 2);
  EXPECT_EQ(HARDWARELOCK, 0);
  W3D_UnLockHardware(context);
  Pixel3 p = pixelAt(100, 100);
  EXPECT_EQ(p.r, 0);
}

// Takes the library's lock behind the batch's back the third time the batch
// asks for it: the re-take before triangle 16 then fails.
W3D_Context *stealFrom;
int lockRequests;
void stealThirdLock(const char *operation) {
  trace.push_back(operation);
  if (std::string(operation) == "lock" && ++lockRequests == 3) {
    W3D_TraceHook = nullptr;
    W3D_LockHardware(stealFrom);
    W3D_TraceHook = recordOperation;
  }
}

TEST_F(Submit, ALockLostInTheMiddleEndsTheBatchWithoutReleasingIt) {
  solidSlot(0, 255, 255, 255);
  for (int i = 0; i < 20; i++) W3DTexturePolygonPosition(0, 10.0f + i, 10, 0, 4, 4, 0, 0, 256, 256, 1, 1);
  stealFrom = context;
  lockRequests = 0;
  W3D_TraceHook = stealThirdLock;
  W3DDrawTriangles(context);
  W3D_TraceHook = nullptr;
  EXPECT_EQ(stats(context).triangleCalls, 16u);
  EXPECT_EQ(folded(), "lock unlock lock draw x16 unlock lock");
  EXPECT_EQ(HARDWARELOCK, 0);
  W3D_UnLockHardware(context);
}

TEST_F(Submit, AQuadIsDrawnAsTwoTrianglesSharingItsDiagonal) {
  solidSlot(3, 200, 100, 50);
  // A kite: D lies far out, so triangle A, D, C covers ground that
  // A, B, C does not.
  W3DTexturePolygon(3, 100, 100, 0, 0, 0,  // A
                    200, 100, 0, 256, 0,   // B
                    200, 200, 0, 256, 256, // C
                    20, 260, 0, 0, 256,    // D
                    1.0f);
  W3DDrawTriangles(context);
  EXPECT_EQ(stats(context).triangleCalls, 2u);
  Pixel3 inFirst = pixelAt(180, 120);
  Pixel3 inSecond = pixelAt(80, 200);
  Pixel3 outside = pixelAt(180, 250);
  EXPECT_NEAR(inFirst.r, 200, 2);
  EXPECT_NEAR(inFirst.g, 100, 2);
  EXPECT_NEAR(inSecond.r, 200, 2);
  EXPECT_NEAR(inSecond.b, 50, 2);
  EXPECT_EQ(outside.r, 0);
}

TEST_F(Submit, EachQuadUsesItsOwnSlotAndLaterQuadsLieOverEarlierOnes) {
  solidSlot(6, 255, 0, 0);
  solidSlot(7, 0, 255, 0);
  W3DTexturePolygonPosition(6, 100, 100, 0, 100, 100, 0, 0, 256, 256, 1, 1);  // 50..150
  W3DTexturePolygonPosition(7, 150, 100, 0, 60, 60, 0, 0, 256, 256, 1, 1);   // 120..180
  W3DTexturePolygonPosition(6, 300, 300, 0, 20, 20, 0, 0, 256, 256, 0.5f, 1);
  W3DDrawTriangles(context);
  Pixel3 red = pixelAt(70, 100), overlap = pixelAt(135, 100), green = pixelAt(170, 100), dim = pixelAt(300, 300);
  EXPECT_NEAR(red.r, 255, 2);
  EXPECT_NEAR(red.g, 0, 2);
  EXPECT_NEAR(overlap.r, 0, 2);
  EXPECT_NEAR(overlap.g, 255, 2);
  EXPECT_NEAR(green.g, 255, 2);
  EXPECT_NEAR(dim.r, 128, 2) << "brightness scales the texel";
}

TEST_F(Submit, ASlotWithoutTextureIsSubmittedButShowsNothing) {
  W3DTexturePolygonPosition(9, 100, 100, 0, 100, 100, 0, 0, 256, 256, 1, 1);
  W3DTexturePolygonPosition(-5, 100, 100, 0, 100, 100, 0, 0, 256, 256, 1, 1);  // no such slot
  W3DDrawTriangles(context);
  EXPECT_EQ(stats(context).triangleCalls, 4u);
  EXPECT_EQ(stats(context).trianglesDrawn, 0u);
  EXPECT_EQ(pixelAt(100, 100).r, 0);
}

TEST_F(Submit, HalfTransparentQuadsBlendOverWhatIsThere) {
  solidSlot(4, 255, 255, 255);
  solidSlot(5, 0, 0, 255);
  W3DTexturePolygonPosition(4, 100, 100, 0, 100, 100, 0, 0, 256, 256, 1, 1);
  W3DTexturePolygonPosition(5, 100, 100, 0.5f, 100, 100, 0, 0, 256, 256, 1, 0.5f);
  W3DDrawTriangles(context);
  Pixel3 p = pixelAt(100, 100);
  EXPECT_NEAR(p.r, 128, 2);
  EXPECT_NEAR(p.b, 255, 2);
}

}  // namespace
