// Drawing triangles on the CPU, for machines whose OpenGL is itself a CPU
// rasteriser (llvmpipe, softpipe) or missing.
//
// Owns: filling textured, vertex-coloured triangles into an A8R8G8B8 image
// in memory (softraster.cpp), filling rectangles, the cover of triangles
// that later opaque ones hide (softcover.cpp), the helper thread that
// shares a frame's rows (softthreads.cpp), and the scaling of a finished
// picture to the window (softscale.cpp). The pictures are those of the
// OpenGL path: pixel centres sampled, top-left fill rule, positions on a
// 1/256 pixel grid, bilinear filtering with clamped edges, colour = texel x
// vertex colour, blend source*a + destination*(1-a) (alpha: a +
// destination*(1-a)).
// Leaves to others: which image and texture (the 3D library), showing.
//
// The work is cut where the result cannot differ: a pixel whose texel alpha
// is 0 keeps its colour without being touched, an opaque one is written
// without blending, a triangle with vertex alpha 0 is not visited at all.
#pragma once

#include <SDL.h>

#include <cstdint>

struct W3D_SoftImage {
  uint32_t *pixels;       // rows top to bottom, width words each
  int32_t width, height;
};

// What the drawing has cost: covered = pixels inside the triangles (what a
// GPU shades and blends), written = the pixels actually changed or blended.
struct W3D_SoftCounts {
  uint64_t covered, written;
};

// Draws count / 3 triangles with the texture; texture coordinates are 0..1.
// Only pixels inside clip (within the target) are touched, and of those only
// the rows y with y % rowStep == rowPart, so that threads can share a frame.
void w3d_SoftTriangles(const W3D_SoftImage *target, const SDL_Rect *clip, const W3D_SoftImage *texture,
                       const SDL_Vertex *vertices, int count, bool blend, int rowPart, int rowStep,
                       W3D_SoftCounts *counts);

// What opaque triangles later in a frame cover: per row one span of
// columns first..last (first > last: none). Triangles lying wholly in it
// need not be drawn at all.
struct W3D_SoftCover {
  int32_t *first, *last;  // height entries each
  int32_t height;
};
void w3d_SoftClearCover(W3D_SoftCover *cover);
// Whether the triangle v[0..2] lies wholly inside the cover (within clip);
// if so, adds the pixels it would have covered to covered.
bool w3d_SoftHidden(const W3D_SoftCover *cover, const SDL_Rect *clip, const SDL_Vertex *v, uint64_t *covered);
// Adds the pixels of one opaque triangle, or of the two halves of an opaque
// quad (triangles 2, v[0..5]), to the cover: per row where they touch its
// span, or instead of it where they make a longer one.
void w3d_SoftAddCover(W3D_SoftCover *cover, const SDL_Rect *clip, const SDL_Vertex *v, int triangles);

// Runs job(data, part, parts) for part 0 .. parts - 1 at once: parts is 2
// (this thread and one helper thread) when shared is set and the machine
// has two cores or more, else 1. Returns when every part is done.
void w3d_SoftParallel(void (*job)(void *data, int part, int parts), void *data, bool shared);
// Ends the helper thread (it starts again when needed).
void w3d_SoftStopHelper();

// Sets every pixel of rect (null: the whole image) to colour.
void w3d_SoftFill(const W3D_SoftImage *target, const SDL_Rect *rect, uint32_t colour);

// Scales picture smoothly into rect of the image at pixels (pitch words a
// row; rect lies inside it), as the GPU scales a texture with bilinear
// filtering (softscale.cpp). Part part of parts takes one band of rect's
// rows, so that threads can share it. False: no memory for the work rows.
bool w3d_SoftScale(const W3D_SoftImage *picture, uint32_t *pixels, int64_t pitch, const SDL_Rect *rect, int part,
                   int parts);
// Whether the scaling and the blended spans take AVX2 beside SSE2 (set
// where the machine has it; the pixels are the same either way).
extern bool w3d_SoftWide;
