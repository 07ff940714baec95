// A real renderer (SDL's offscreen driver: OpenGL through EGL, no X) with
// the library's context drawing into the upper of two 640 x 480 halves, for
// tests that make textures, submit the batch and read the pixels back.
#pragma once

#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <string>

#include "platform/warp3d.h"

struct Pixel3 {
  int r, g, b;
};

class DrawSurface : public ::testing::Test {
 protected:
  static constexpr int WIDTH = 640, HEIGHT = 480;

  void SetUp() override;
  void TearDown() override;

  // Writes a w x h picture to "ram:NAME"; pixel(x, y) gives its colour.
  template <typename F>
  static std::string stagePicture(const char *name, int w, int h, F pixel) {
    std::string bytes = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    for (int y = 0; y < h; y++)
      for (int x = 0; x < w; x++) {
        Pixel3 p = pixel(x, y);
        bytes += {char(p.r), char(p.g), char(p.b)};
      }
    return writeRam(name, bytes);
  }
  static std::string writeRam(const char *name, const std::string &bytes);

  // Hands the queued triangles to SDL and reads one pixel of the upper half.
  Pixel3 pixelAt(int x, int y);

  SDL_Window *window = nullptr;      // one for the whole program
  SDL_Renderer *renderer = nullptr;  // its renderer
  W3D_Bitmap bitmap{};
  W3D_Context *context = nullptr;
};
