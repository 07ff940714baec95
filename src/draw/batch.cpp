// The triangle batch of one frame and the quad primitives that append to it.
// Nothing here talks to the library or allocates: a quad is two record
// writes into the static batch. Submission is drawtriangles.cpp.
#include <cmath>
#include <cstdio>

#include "draw/batch.h"

TriRecord w3d_TriWorld[BATCH_CAPACITY];
int triPos;
uint64_t droppedQuads;

namespace {

// The two records of the next quad, or null when the batch has no room for
// them: the quad is then dropped and counted, and the first drop of the run
// is reported.
TriRecord *appendQuad() {
  if (triPos >= 0 && triPos <= BATCH_CAPACITY - 2) {
    TriRecord *quad = &w3d_TriWorld[triPos];
    triPos += 2;
    return quad;
  }
  if (droppedQuads++ == 0)
    fprintf(stderr, "musicdisk: the triangle batch is full (%d records a frame); further quads are dropped\n",
            BATCH_CAPACITY);
  return nullptr;
}

// One corner. A depth of exactly 0 would make w infinite: it is stored as
// 0.0001 (added in double precision), and w is then taken in single precision.
void setCorner(TriVertex &corner, float x, float y, float z, float u, float v, float brightness, float alpha) {
  float stored = z == 0.0f ? float(double(z) + 0.0001) : z;
  corner.x = x;
  corner.y = y;
  corner.z = stored;
  corner.u = u;
  corner.v = v;
  corner.w = 1.0f / stored;
  corner.brightness = brightness;
  corner.alpha = alpha;
}

}  // namespace

void W3DTexturePolygonPosition(int slot, float x, float y, float z, float width, float height, float uLeft, float vTop,
                               float uRight, float vBottom, float brightness, float alpha) {
  TriRecord *quad = appendQuad();
  if (!quad) return;
  float hw = width * 0.5f;
  float hh = height * 0.5f;
  setCorner(quad[0].v[0], x - hw, y - hh, z, uLeft, vTop, brightness, alpha);
  setCorner(quad[0].v[1], x + hw, y - hh, z, uRight, vTop, brightness, alpha);
  setCorner(quad[0].v[2], x + hw, y + hh, z, uRight, vBottom, brightness, alpha);
  setCorner(quad[1].v[1], x - hw, y + hh, z, uLeft, vBottom, brightness, alpha);
  quad[0].slot = slot;
}

void W3DTexturePolygon(int slot, float ax, float ay, float az, float au, float av, float bx, float by, float bz,
                       float bu, float bv, float cx, float cy, float cz, float cu, float cv, float dx, float dy,
                       float dz, float du, float dv, float alpha) {
  TriRecord *quad = appendQuad();
  if (!quad) return;
  setCorner(quad[0].v[0], ax, ay, az, au, av, 1.0f, alpha);
  setCorner(quad[0].v[1], bx, by, bz, bu, bv, 1.0f, alpha);
  setCorner(quad[0].v[2], cx, cy, cz, cu, cv, 1.0f, alpha);
  setCorner(quad[1].v[1], dx, dy, dz, du, dv, 1.0f, alpha);
  quad[0].slot = slot;
}

void W3DTextureRotAlphaPolygonPosition(int slot, float x, float y, float z, float width, float height, float uLeft,
                                       float vTop, float uRight, float vBottom, float angle, float alpha) {
  TriRecord *quad = appendQuad();
  if (!quad) return;
  float hw = width * 0.5f;
  float hh = height * 0.5f;
  // The corners sit on the diagonals, an eighth of a turn off the axes; each
  // offset is rounded to single precision before it meets the centre.
  double phi1 = angle + 0.785398;
  double phi2 = angle + 2.356194;
  double phi3 = angle - 2.356194;
  float ax = float(hw * std::cos(phi1)), ay = float(hh * std::sin(phi1));
  float bx = float(hw * std::cos(phi2)), by = float(hh * std::sin(phi2));
  float cx = float(hw * std::cos(phi3)), cy = float(hh * std::sin(phi3));
  setCorner(quad[0].v[0], x - ax, y - ay, z, uRight, vTop, 1.0f, alpha);
  setCorner(quad[0].v[1], x - bx, y - by, z, uRight, vBottom, 1.0f, alpha);
  setCorner(quad[0].v[2], x - cx, y - cy, z, uLeft, vBottom, 1.0f, alpha);
  setCorner(quad[1].v[1], x + bx, y + by, z, uLeft, vTop, 1.0f, alpha);  // B mirrored through the centre
  quad[0].slot = slot;
}

void W3DTexturePolygonDoublePosition(int slot, float x, float y, float z, float topWidth, float bottomWidth,
                                     float height, float uLeft, float vTop, float uRight, float vBottom,
                                     float topBrightness, float bottomBrightness, float alpha) {
  TriRecord *quad = appendQuad();
  if (!quad) return;
  float ht = topWidth * 0.5f;
  float hb = bottomWidth * 0.5f;
  float hh = height * 0.5f;
  setCorner(quad[0].v[0], x - ht, y - hh, z, uLeft, vTop, topBrightness, alpha);
  setCorner(quad[0].v[1], x + ht, y - hh, z, uRight, vTop, topBrightness, alpha);
  setCorner(quad[0].v[2], x + hb, y + hh, z, uRight, vBottom, bottomBrightness, alpha);
  setCorner(quad[1].v[1], x - hb, y + hh, z, uLeft, vBottom, bottomBrightness, alpha);
  quad[0].slot = slot;
}

void W3DTestPolygon(int slot, float x1, float y1, float z1, float x2, float y2, float z2) {
  TriRecord *quad = appendQuad();
  if (!quad) return;
  float zm = (z1 + z2) * 0.5f;
  setCorner(quad[0].v[0], x1, y1, z1, 0.0f, 0.0f, 1.0f, 1.0f);
  setCorner(quad[0].v[1], x1, y2, zm, 0.0f, 255.0f, 1.0f, 1.0f);
  setCorner(quad[0].v[2], x2, y2, z2, 255.0f, 255.0f, 1.0f, 1.0f);
  setCorner(quad[1].v[1], x2, y1, zm, 255.0f, 0.0f, 1.0f, 1.0f);
  quad[0].slot = slot;
}
