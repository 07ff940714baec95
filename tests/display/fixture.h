// The one fixture of the display and drawing tests and of the display
// benchmark: the video driver to use (a private X server among them), a
// renderer with the double-height bitmap and a context in the state the
// program sets, textures from texels, pixels read back from the halves, and
// real key presses on the X server.
#pragma once

#include <SDL.h>
#include <sys/types.h>

#include <cstdint>
#include <string>

#include "platform/warp3d.h"

struct Rgba {
  int r, g, b, a;
};

struct TestSurface {
  SDL_Window *window = nullptr;
  SDL_Renderer *renderer = nullptr;
  W3D_Bitmap bitmap{};
  W3D_Context *context = nullptr;  // draws into the upper half
  std::string rendererName;
};

// Starts video with the driver ("offscreen": OpenGL through EGL, "dummy":
// the software renderer) and makes a hidden window, its renderer, two black
// halves of width x height and a context on them with blending, texture
// mapping and the one blend mode on. False: SDL's error.
bool openTestSurface(const char *driver, int width, int height, TestSurface *surface);
// Also releases the context and the textures still in it.
void closeTestSurface(TestSurface *surface);

// A texture of width x height texels (A8R8G8B8) that stay the caller's.
W3D_Texture *makeTexture(W3D_Context *context, const uint32_t *texels, int width, int height);
// One pixel of a half, read back from the render target.
Rgba readPixel(SDL_Renderer *renderer, SDL_Texture *half, int x, int y);
// Fills a whole half with one opaque colour.
void fillHalf(SDL_Renderer *renderer, SDL_Texture *half, Uint8 r, Uint8 g, Uint8 b);
// One corner of a quad as the batch makes it: grey level and opacity 0 to 1.
W3D_Vertex quadVertex(float x, float y, float u, float v, float brightness, float alpha);
// A textured rectangle x0..x1, y0..y1 with the given texel range, grey
// level and alpha, drawn as the batch does it: triangles A, B, C and A, D, C.
void drawQuad(W3D_Context *context, W3D_Texture *texture, float x0, float y0, float x1, float y1, float u0, float v0,
              float u1, float v1, float brightness, float alpha);

// A private X server: Xvfb on a display number it picks itself.
struct XServer {
  pid_t pid = -1;
  std::string display;  // ":N"
};

// Starts Xvfb with one screen of that size ("1280x1024x24"); false when it
// does not come up within ten seconds.
bool startXvfb(const char *screen, XServer *server);
void stopXvfb(XServer *server);
// Runs "xdotool ARGS..." on the server and waits for it; its exit status.
int runXdotool(const XServer &server, const char *const *args);
// Sets the video driver for the display: "software" (SDL's dummy driver),
// "offscreen", or "xvfb" (SDL's X11 driver on a private 1280 x 1024 server
// started on server). False for an unknown mode or a server that did not
// start.
bool useVideoDriver(const char *mode, XServer *server);
