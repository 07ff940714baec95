// The per-frame triangle batch and the quad primitives that fill it.
// Primitives only write memory (batch.cpp); W3DDrawTriangles alone talks to
// the library (drawtriangles.cpp).
//
// A quad A, B, C, D takes two records k and k+1: record k holds A, B, C and
// the texture slot, record k+1 only D in its vertex 1. It is drawn as the
// triangles A, B, C and A, D, C. Every corner's z of exactly 0 is stored as
// 0.0001, and w = 1/z.
#pragma once

#include <cstdint>

#include "warp3d/warp3d.h"

struct TriVertex {
  float x, y;        // screen pixels
  float z;           // depth; 0 is stored as 0.0001
  float u, v;        // texels, 0..256 across a texture
  float w;           // 1/z
  float brightness;  // grey level 0..1
  float alpha;       // 0..1
};

struct TriRecord {
  TriVertex v[3];
  int32_t slot;  // texture slot 0..19
};
static_assert(sizeof(TriRecord) == 100, "a record is 100 bytes");

constexpr int BATCH_CAPACITY = 10000;  // records: 5000 quads a frame

extern TriRecord w3d_TriWorld[BATCH_CAPACITY];
extern int triPos;  // records in use; always even

// Quads refused because the frame's batch was full, over the whole run. The
// first refusal is reported once on standard error; later ones only count.
extern uint64_t droppedQuads;

// Draws records 0 .. triPos-1 inside the hardware lock, giving the lock up
// for a moment every 16 triangles. Changes neither triPos nor the records.
void W3DDrawTriangles(W3D_Context *context);
// The end of every frame: submit the batch to w3d_Context, empty it and
// show the frame (W3DSwitchBuffer).
void W3DShowFrame();

void W3DTexturePolygonPosition(int slot, float x, float y, float z, float width, float height, float uLeft, float vTop,
                               float uRight, float vBottom, float brightness, float alpha);
void W3DTexturePolygon(int slot, float ax, float ay, float az, float au, float av, float bx, float by, float bz,
                       float bu, float bv, float cx, float cy, float cz, float cu, float cv, float dx, float dy,
                       float dz, float du, float dv, float alpha);
void W3DTextureRotAlphaPolygonPosition(int slot, float x, float y, float z, float width, float height, float uLeft,
                                       float vTop, float uRight, float vBottom, float angle, float alpha);
void W3DTexturePolygonDoublePosition(int slot, float x, float y, float z, float topWidth, float bottomWidth,
                                     float height, float uLeft, float vTop, float uRight, float vBottom,
                                     float topBrightness, float bottomBrightness, float alpha);
void W3DTestPolygon(int slot, float x1, float y1, float z1, float x2, float y2, float z2);
