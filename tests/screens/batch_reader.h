// Reads a composed frame back out of the triangle batch: the quads in order,
// and the text lines written on the 40-column grid (glyph cells back to
// characters), so tests can check what a pass would show.
#pragma once

#include <string>
#include <vector>

struct Quad {
  int slot;
  float ax, ay, bx, by, cx, cy, dx, dy;  // corners A, B, C, D
  float u0, v0, u1, v1;                  // texels at A and C
  float brightness, alpha, z;
  float centreX() const { return (ax + cx) / 2; }
  float centreY() const { return (ay + cy) / 2; }
  float width() const { return bx - ax; }
  float height() const { return dy - ay; }
};

struct TextLine {
  int row;
  std::string text;  // blanks included, as drawn
  float alpha;
  float firstX;  // centre x of the first glyph
};

std::vector<Quad> batchQuads();
// Grid text lines (glyph quads of FONT_SLOT, glyph-sized, centred on a row).
std::vector<TextLine> batchTextLines();
// Text as the glyph sheet shows it: lower-case letters as capitals.
std::string upper(std::string s);
// The first text line on a row that contains needle, or null.
const TextLine *findLine(const std::vector<TextLine> &lines, const std::string &needle);
