// The 3D library's own pieces shared by its files: what a context and a
// texture object hold, and the backend a context draws with.
//
// Two backends stand behind the one interface: the GPU one (gpu.cpp) hands
// each run of triangles to SDL_RenderGeometry; the CPU one (cpu.cpp) keeps
// a frame's runs and fills them with our own rasteriser (softraster.h). The
// front (warp3d.cpp) checks the calls, keeps the state and gathers the
// triangles into runs; what differs between the two is only here.
#pragma once

#include <SDL.h>

#include <cstdint>

#include "warp3d/softraster.h"
#include "warp3d/warp3d.h"

// Triangles one run can hold before it has to be drawn.
constexpr int RUN_CAPACITY = 4096;
// Runs of a frame drawn on the CPU that wait to be drawn together (their
// triangles share the run buffer).
constexpr int CPU_RUNS = 512;

struct W3D_Backend;

struct W3D_Texture {
  W3D_Context *context;
  SDL_Texture *texture;   // drawn by the GPU
  uint32_t *texels;       // drawn on the CPU: the texels as last uploaded
  bool opaque;            // drawn on the CPU: every texel's alpha is 255
  const uint32_t *image;  // the caller's texels, A8R8G8B8 words
  int32_t width, height;  // texels
  float uScale, vScale;   // 1 / width, 1 / height
  W3D_Texture *next;      // the context's textures, for its teardown
};

struct W3D_Context {
  const W3D_Backend *backend;
  W3D_Bitmap *bitmap;
  int32_t half;           // 0 upper, 1 lower
  bool scissorSet;
  SDL_Rect scissor;       // pixels of the half
  uint32_t states;        // enabled W3D_SetState bits
  bool locked;
  W3D_Fog fog;
  uint32_t fogMode;
  W3D_Color currentColor;
  W3D_Texture *textures;  // every texture still allocated
  W3D_Texture *runTexture;
  int runStart;     // the first vertex of the current run (the GPU's runs start at 0)
  int runVertices;  // vertices in the buffer
  SDL_Vertex *run;  // RUN_CAPACITY * 3 vertices
  // Drawn on the CPU, the runs of a frame wait until the display flushes
  // and are then drawn by two threads at once, each taking every other row.
  struct CpuRun {
    W3D_Texture *texture;
    int first, count;  // vertices in run
    int half;
    bool scissorSet, blend;
    SDL_Rect scissor;
  } cpuRuns[CPU_RUNS];
  int cpuRunCount;
  double waitingArea;  // pixels the waiting runs' triangles cover, about
  W3D_SoftCover cover;  // rows of the bitmap; what later opaque triangles cover
  W3D_Stats stats;
};

// What a backend does; the front calls these and nothing else of it.
struct W3D_Backend {
  // Sets up what the backend keeps with the context; false: no memory.
  bool (*open)(W3D_Context *context);
  void (*close)(W3D_Context *context);
  // The draw region or scissor changed: make it current where drawing goes.
  void (*applyRegion)(W3D_Context *context);
  // The run in the buffer (runStart .. runVertices) is complete: draw it or
  // keep it for the frame.
  void (*endRun)(W3D_Context *context);
  // Everything kept is drawn now (before the halves are touched directly).
  void (*drawKept)(W3D_Context *context);
  // Gives a new texture object (its common fields set) what the backend
  // draws from; false: no memory.
  bool (*makeTexture)(W3D_Context *context, W3D_Texture *texture);
  // Copies the caller's texels into the texture again; false: the copy failed.
  bool (*uploadTexture)(W3D_Context *context, W3D_Texture *texture);
  void (*releaseTexture)(W3D_Texture *texture);
};
extern const W3D_Backend w3d_GpuBackend;
extern const W3D_Backend w3d_CpuBackend;
