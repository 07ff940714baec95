// The triangle on the 1/256 pixel grid that the CPU rasteriser and its
// cover of hidden triangles share: edge functions, the top-left fill rule,
// one span of pixel centres per row. Inline: a row's span is asked for in
// the innermost loop.
#pragma once

#include <SDL.h>

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace softedges {

constexpr int64_t SUBPIXEL = 256;             // positions snap to 1/256 pixel
constexpr double POSITION_LIMIT = 1 << 20;    // pixels; beyond it a triangle is dropped

inline int64_t floorDiv(int64_t a, int64_t b) {
  int64_t q = a / b;
  if (a % b != 0 && (a < 0) != (b < 0)) q--;
  return q;
}

inline int64_t ceilDiv(int64_t a, int64_t b) { return -floorDiv(-a, b); }

struct Edge {
  int64_t dx, dy, x, y, bias;  // from (x, y) by (dx, dy); bias 0 on top and left edges, else 1
};

// The span of row y inside the three edges, narrowed from first..last.
inline bool rowSpan(const Edge *edges, int64_t y, int64_t *first, int64_t *last) {
  int64_t py = y * SUBPIXEL + SUBPIXEL / 2;
  for (int i = 0; i < 3; i++) {
    const Edge &e = edges[i];
    // Inside: dx * (py - y) - dy * (px - x) >= bias, with px = 256 col + 128.
    int64_t k = -e.dy;
    int64_t r = e.bias - e.dx * (py - e.y) - e.dy * e.x - k * (SUBPIXEL / 2);
    if (k > 0)
      *first = std::max(*first, ceilDiv(r, k * SUBPIXEL));
    else if (k < 0)
      *last = std::min(*last, floorDiv(r, k * SUBPIXEL));
    else if (r > 0)
      return false;
  }
  return *first <= *last;
}

// A triangle on the 1/256 pixel grid: its vertices turned so that the inside
// of every edge is positive, its edges, and its rows within clip.
struct Outline {
  const SDL_Vertex *v[3];
  int64_t X[3], Y[3];
  Edge edges[3];
  int64_t top, bottom;
};

// False: the triangle covers no pixel centre inside clip (or lies beyond
// the positions it can be drawn at).
inline bool outline(const SDL_Vertex *v0, const SDL_Vertex *v1, const SDL_Vertex *v2, const SDL_Rect *clip, Outline *o) {
  const SDL_Vertex *v[3] = {v0, v1, v2};
  for (const SDL_Vertex *vertex : v)
    if (!(std::fabs(vertex->position.x) < POSITION_LIMIT && std::fabs(vertex->position.y) < POSITION_LIMIT)) return false;
  int64_t *X = o->X, *Y = o->Y;
  for (int i = 0; i < 3; i++) {
    X[i] = std::llrint(double(v[i]->position.x) * SUBPIXEL);
    Y[i] = std::llrint(double(v[i]->position.y) * SUBPIXEL);
  }
  int64_t area = (X[1] - X[0]) * (Y[2] - Y[0]) - (Y[1] - Y[0]) * (X[2] - X[0]);
  if (area == 0) return false;
  if (area < 0) {  // turned the other way: the same triangle with the edges reversed
    std::swap(v[1], v[2]);
    std::swap(X[1], X[2]);
    std::swap(Y[1], Y[2]);
  }
  for (int i = 0; i < 3; i++) {
    o->v[i] = v[i];
    int j = (i + 1) % 3;
    int64_t dx = X[j] - X[i], dy = Y[j] - Y[i];
    o->edges[i] = Edge{dx, dy, X[i], Y[i], (dy < 0 || (dy == 0 && dx > 0)) ? 0 : 1};
  }
  o->top = std::max<int64_t>(clip->y, ceilDiv(std::min({Y[0], Y[1], Y[2]}) - SUBPIXEL / 2, SUBPIXEL));
  o->bottom =
      std::min<int64_t>(clip->y + clip->h - 1, floorDiv(std::max({Y[0], Y[1], Y[2]}) - SUBPIXEL / 2, SUBPIXEL));
  return o->top <= o->bottom;
}

}  // namespace softedges
