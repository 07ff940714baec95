// What opaque triangles drawn later in a frame cover, row by row, so that
// the triangles they hide completely are never drawn.
#include <climits>

#include "warp3d/softedges.h"
#include "warp3d/softraster.h"

using namespace softedges;

void w3d_SoftClearCover(W3D_SoftCover *cover) {
  for (int32_t y = 0; y < cover->height; y++) {
    cover->first[y] = 1;
    cover->last[y] = 0;
  }
}

bool w3d_SoftHidden(const W3D_SoftCover *cover, const SDL_Rect *clip, const SDL_Vertex *v, uint64_t *covered) {
  SDL_Rect area;
  Outline o;
  SDL_Rect rows{0, 0, clip->x + clip->w, cover->height};
  if (!SDL_IntersectRect(clip, &rows, &area) || !outline(&v[0], &v[1], &v[2], &area, &o)) return true;
  uint64_t pixels = 0;
  for (int64_t y = o.top; y <= o.bottom; y++) {
    int64_t first = area.x, last = area.x + area.w - 1;
    if (!rowSpan(o.edges, y, &first, &last)) continue;
    if (first < cover->first[y] || last > cover->last[y]) return false;
    pixels += uint64_t(last - first + 1);
  }
  *covered += pixels;
  return true;
}

void w3d_SoftAddCover(W3D_SoftCover *cover, const SDL_Rect *clip, const SDL_Vertex *v, int triangles) {
  SDL_Rect area;
  Outline o[2];
  SDL_Rect rows{0, 0, clip->x + clip->w, cover->height};
  if (triangles < 1 || triangles > 2 || !SDL_IntersectRect(clip, &rows, &area)) return;
  bool drawn[2] = {false, false};
  int64_t top = INT64_MAX, bottom = INT64_MIN;
  for (int t = 0; t < triangles; t++) {
    drawn[t] = outline(&v[3 * t], &v[3 * t + 1], &v[3 * t + 2], &area, &o[t]);
    if (drawn[t]) {
      top = std::min(top, o[t].top);
      bottom = std::max(bottom, o[t].bottom);
    }
  }
  for (int64_t y = top; y <= bottom; y++) {
    // The row's span of the triangles: two halves of a quad meet without a gap.
    int64_t first = 1, last = 0;
    for (int t = 0; t < triangles; t++) {
      int64_t from = area.x, to = area.x + area.w - 1;
      if (!drawn[t] || y < o[t].top || y > o[t].bottom || !rowSpan(o[t].edges, y, &from, &to)) continue;
      if (first > last || (from <= last + 1 && to >= first - 1)) {
        first = first > last ? from : std::min(first, from);
        last = std::max(last, to);
      }
    }
    if (first > last) continue;
    int32_t &from = cover->first[y], &to = cover->last[y];
    if (from > to || (first <= to + 1 && last >= from - 1)) {  // nothing yet, or touching: one span
      from = int32_t(from > to ? first : std::min<int64_t>(first, from));
      to = int32_t(std::max<int64_t>(last, to));
    } else if (last - first > to - from) {  // apart: the longer one is kept
      from = int32_t(first);
      to = int32_t(last);
    }
  }
}
