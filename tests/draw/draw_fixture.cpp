#include "draw_fixture.h"

#include <cstdlib>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"
#include "platform/files.h"

namespace {
// One window and renderer for the whole test program. Closing the last
// window would unload the GL libraries, and what their driver allocated
// would then look lost to the leak checker.
SDL_Window *sharedWindow;
SDL_Renderer *sharedRenderer;
}  // namespace

void DrawSurface::SetUp() {
  if (!sharedRenderer) {
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    setenv("SDL_VIDEODRIVER", "offscreen", 1);
    ASSERT_EQ(SDL_VideoInit("offscreen"), 0) << SDL_GetError();
    sharedWindow = SDL_CreateWindow("draw", 0, 0, WIDTH, HEIGHT, SDL_WINDOW_HIDDEN);
    ASSERT_NE(sharedWindow, nullptr) << SDL_GetError();
    sharedRenderer = SDL_CreateRenderer(sharedWindow, -1, SDL_RENDERER_TARGETTEXTURE);
    ASSERT_NE(sharedRenderer, nullptr) << SDL_GetError();
  }
  window = sharedWindow;
  renderer = sharedRenderer;
  bitmap.renderer = renderer;
  bitmap.width = WIDTH;
  bitmap.height = HEIGHT;
  for (SDL_Texture *&half : bitmap.half) {
    half = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, WIDTH, HEIGHT);
    ASSERT_NE(half, nullptr) << SDL_GetError();
    SDL_SetRenderTarget(renderer, half);
    SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
    SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
    SDL_RenderFillRect(renderer, nullptr);
  }
  SDL_SetRenderTarget(renderer, nullptr);

  int32_t error = -1;
  context = W3D_CreateContextTags(&error, {{W3D_CC_MODEID, W3D_ModeId(WIDTH, HEIGHT)},
                                           {W3D_CC_BITMAP, uintptr_t(&bitmap)},
                                           {W3D_CC_YOFFSET, 0},
                                           {W3D_CC_DRIVERTYPE, 2},
                                           {W3D_CC_DOUBLEHEIGHT, 1},
                                           {W3D_CC_FAST, 1}});
  ASSERT_NE(context, nullptr);
  ASSERT_EQ(error, W3D_SUCCESS);
  W3D_SetState(context, W3D_TEXMAPPING, W3D_ENABLE);
  W3D_SetState(context, W3D_BLENDING, W3D_ENABLE);
  W3D_SetBlendMode(context, W3D_SRC_ALPHA, W3D_ONE_MINUS_SRC_ALPHA);
  W3D_Scissor scissor{0, 0, WIDTH, HEIGHT};
  W3D_SetDrawRegion(context, &bitmap, 0, &scissor);

  SCREEN_WIDTH = WIDTH;
  SCREEN_HEIGHT = HEIGHT;
  HARDWARELOCK = 0;
  triPos = 0;
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    tex[slot] = nullptr;
    texmap[slot] = nullptr;
  }
}

void DrawSurface::TearDown() {
  W3D_TraceHook = nullptr;
  if (context) freeTextures(context);
  for (int slot = 0; slot < TEXTURE_SLOTS; slot++) {
    tex[slot] = nullptr;
    texmap[slot] = nullptr;
  }
  if (context) W3D_DestroyContext(context);
  for (SDL_Texture *half : bitmap.half)
    if (half) SDL_DestroyTexture(half);
  SDL_SetRenderTarget(renderer, nullptr);
  removeStagingDirectory();
}

std::string DrawSurface::writeRam(const char *name, const std::string &bytes) {
  std::string ramName = std::string("ram:") + name;
  FILE *f = openFile(ramName.c_str(), "w");
  EXPECT_NE(f, nullptr);
  if (f) {
    fwrite(bytes.data(), 1, bytes.size(), f);
    fclose(f);
  }
  return ramName;
}

Pixel3 DrawSurface::pixelAt(int x, int y) {
  W3D_Flush(context);
  SDL_Texture *previous = SDL_GetRenderTarget(renderer);
  SDL_SetRenderTarget(renderer, bitmap.half[0]);
  SDL_Rect rect{x, y, 1, 1};
  uint32_t pixel = 0;
  int result = SDL_RenderReadPixels(renderer, &rect, SDL_PIXELFORMAT_ARGB8888, &pixel, 4);
  SDL_SetRenderTarget(renderer, previous);
  if (result != 0) return Pixel3{-1, -1, -1};
  return Pixel3{int(pixel >> 16 & 255), int(pixel >> 8 & 255), int(pixel & 255)};
}
