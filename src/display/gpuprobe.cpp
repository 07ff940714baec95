// Whether the machine has a GPU to draw with, and whether a renderer draws
// on the CPU after all: the display draws on the CPU itself where either
// says so.
#include <SDL.h>
#include <glob.h>
#include <unistd.h>

#include "display/display.h"

int W3D_CpuDrawing = -1;

bool W3D_IsCpuRasteriser(SDL_Renderer *renderer) {
  SDL_RendererInfo info;
  if (!renderer || SDL_GetRendererInfo(renderer, &info) != 0) return false;
  if (SDL_strcmp(info.name, "software") == 0) return true;
  if (SDL_strncmp(info.name, "opengl", 6) != 0) return false;
  // The OpenGL renderer's context is current: ask it who rasterises.
  using GetString = const unsigned char *(*)(unsigned int);
  GetString getString = reinterpret_cast<GetString>(SDL_GL_GetProcAddress("glGetString"));
  const char *name = getString ? reinterpret_cast<const char *>(getString(0x1F01 /* GL_RENDERER */)) : nullptr;
  if (!name) return false;
  const char *const cpuRasterisers[] = {"llvmpipe", "softpipe", "Software Rasterizer", "swrast", "SWR"};
  for (const char *cpu : cpuRasterisers)
    if (SDL_strstr(name, cpu)) return true;
  return false;
}

bool W3D_GpuDevicePresent() {
  const char *const patterns[] = {"/dev/dri/renderD*", "/dev/dri/card*", "/dev/nvidia[0-9]*"};
  bool present = false;
  for (const char *pattern : patterns) {
    glob_t found;
    if (glob(pattern, 0, nullptr, &found) == 0)
      for (size_t i = 0; i < found.gl_pathc && !present; i++) present = access(found.gl_pathv[i], R_OK | W_OK) == 0;
    globfree(&found);
  }
  return present;
}
