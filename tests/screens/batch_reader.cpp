#include "batch_reader.h"

#include <cctype>
#include <cmath>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"

std::vector<Quad> batchQuads() {
  std::vector<Quad> quads;
  for (int k = 0; k + 1 < triPos; k += 2) {
    const TriRecord &r = w3d_TriWorld[k];
    const TriVertex &d = w3d_TriWorld[k + 1].v[1];
    Quad q;
    q.slot = r.slot;
    q.ax = r.v[0].x, q.ay = r.v[0].y, q.bx = r.v[1].x, q.by = r.v[1].y;
    q.cx = r.v[2].x, q.cy = r.v[2].y, q.dx = d.x, q.dy = d.y;
    q.u0 = r.v[0].u, q.v0 = r.v[0].v, q.u1 = r.v[2].u, q.v1 = r.v[2].v;
    q.brightness = r.v[0].brightness, q.alpha = r.v[0].alpha, q.z = r.v[0].z;
    quads.push_back(q);
  }
  return quads;
}

std::vector<TextLine> batchTextLines() {
  std::vector<TextLine> lines;
  float s = SCREEN_WIDTH / 40.0f;
  float yOffset = SCREEN_WIDTH / 75.0f;
  for (const Quad &q : batchQuads()) {
    bool glyph = q.slot == FONT_SLOT && std::fabs(q.width() - s) < 0.01f && std::fabs(q.height() - s) < 0.01f &&
                 std::fabs(q.u1 - q.u0 - 32) < 0.01f && q.z > 0.09f && q.z < 0.11f;
    if (!glyph) continue;
    double rowF = (q.centreY() - yOffset) / s;
    int row = (int)std::lround(rowF);
    if (std::fabs(rowF - row) > 0.01) continue;
    int cell = (int)(q.v0 / 32) * 8 + (int)(q.u0 / 32);
    char c = (char)(32 + cell);
    // A glyph continues the previous line when it sits one cell to its right.
    if (!lines.empty() && lines.back().row == row && lines.back().alpha == q.alpha &&
        std::fabs(lines.back().firstX + s * lines.back().text.size() - q.centreX()) < 0.01f) {
      lines.back().text += c;
    } else {
      lines.push_back({row, std::string(1, c), q.alpha, q.centreX()});
    }
  }
  return lines;
}

const TextLine *findLine(const std::vector<TextLine> &lines, const std::string &needle) {
  for (const TextLine &line : lines)
    if (line.text.find(needle) != std::string::npos) return &line;
  return nullptr;
}

std::string upper(std::string s) {
  for (char &c : s) c = (char)toupper((unsigned char)c);
  return s;
}
