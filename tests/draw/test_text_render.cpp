// Text drawn through the library from a glyph sheet whose every cell has a
// grey level of its own, so that a pixel read back names the cell it shows.
#include <cstring>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/text.h"
#include "draw/textures.h"
#include "draw_fixture.h"

namespace {

int cellGrey(int cell) { return 4 * cell + 3; }

class TextRender : public DrawSurface {
 protected:
  void SetUp() override {
    DrawSurface::SetUp();
    loop = 0;
    std::string sheet = stagePicture("font32.ppm", 256, 256, [](int x, int y) {
      int grey = cellGrey(x / 32 + 8 * (y / 32));
      return Pixel3{grey, grey, grey};
    });
    ASSERT_EQ(GenTexture(context, sheet.c_str(), FONT_SLOT, ALPHA_GREY_TO_WHITE), 1);
  }

  // The grey level shown at a point: white glyphs over black show their alpha.
  int greyAt(float x, float y) {
    Pixel3 p = pixelAt(int(x), int(y));
    EXPECT_EQ(p.r, p.g);
    EXPECT_EQ(p.g, p.b);
    return p.r;
  }
};

TEST_F(TextRender, ALineShowsEachCharactersCellInItsColumn) {
  W3DWriteText("AbC", 2, 0, 1.0f);
  W3DDrawTriangles(context);
  EXPECT_NEAR(greyAt(8, 40), cellGrey(33), 2);
  EXPECT_NEAR(greyAt(24, 40), cellGrey(34), 2);
  EXPECT_NEAR(greyAt(40, 40), cellGrey(35), 2);
  EXPECT_EQ(greyAt(56, 40), 0) << "nothing after the line";
  EXPECT_EQ(greyAt(8, 60), 0) << "nothing on the next row";
  EXPECT_EQ(greyAt(8, 20), 0) << "nothing on the row above";
}

TEST_F(TextRender, ACentredLineAtHalfOpacityShowsHalfAsBright) {
  W3DWriteText("Z", 10, 1, 0.5f);
  W3DDrawTriangles(context);
  // One character centred: column 19.5, so its centre is at x = 320.
  EXPECT_NEAR(greyAt(320, 168), cellGrey(58) / 2, 2);
  EXPECT_EQ(greyAt(300, 168), 0);
}

TEST_F(TextRender, TheScrollerShowsItsLettersOnTheWave) {
  int t = 50 * 21;  // the first letter of the message at the left edge
  W3DText(t);
  int quads = triPos / 2;
  ASSERT_GT(quads, 0);
  W3DDrawTriangles(context);
  int quad = 0;
  for (int i = 0; i < 21 && quad < quads; i++) {
    unsigned char c = scrolltext[21 + i];
    if (c == ' ') continue;
    const TriRecord *r = &w3d_TriWorld[2 * quad];
    float cx = (r[0].v[0].x + r[0].v[1].x + r[0].v[2].x + r[1].v[1].x) / 4;
    float cy = (r[0].v[0].y + r[0].v[1].y + r[0].v[2].y + r[1].v[1].y) / 4;
    int cell = c >= 'a' && c <= 'z' ? c - 64 : c - 32;
    EXPECT_NEAR(greyAt(cx, cy), cellGrey(cell), 3) << "letter " << i << " '" << c << "'";
    EXPECT_GT(cy, 480 - 64 - 480 / 25.0f);
    EXPECT_LT(cy, 480 - 64 + 32 + 480 / 25.0f);
    quad++;
  }
  EXPECT_EQ(greyAt(320, 100), 0) << "the scroller stays at the bottom";
}

}  // namespace
