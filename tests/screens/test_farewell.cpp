// The farewell fade on a real renderer: 300 frames whatever the frame rate,
// from the cow fully drawn to nearly nothing.
#include <SDL.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/ppm.h"
#include "draw/textures.h"
#include "driver/lifecycle.h"

namespace {

// The centre pixel of the half last shown.
uint32_t shownCentre() {
  SDL_Texture *half = w3d_BitMap->half[w3d_Screen->shownHalf];
  SDL_SetRenderTarget(w3d_BitMap->renderer, half);
  SDL_Rect pixel = {SCREEN_WIDTH / 2, SCREEN_HEIGHT / 2 + SCREEN_HEIGHT / 8, 1, 1};
  uint32_t value = 0;
  EXPECT_EQ(SDL_RenderReadPixels(w3d_BitMap->renderer, &pixel, SDL_PIXELFORMAT_ARGB8888, &value, 4), 0);
  return value & 0xFFFFFF;
}

}  // namespace

TEST(Farewell, ThreeHundredFramesFadeTheCowOut) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);
  ASSERT_EQ(W3DSetup(), 1);
  std::string cow = std::string(MUSICDISK_SOURCE_DIR) + "/assets/cow_big.ppm";
  ASSERT_EQ(GenTexture(w3d_Context, cow.c_str(), 4, ALPHA_OPAQUE), 1);

  W3DSwitchBuffer();  // as at start-up: from now on a switch shows what was drawn

  // The first fade frame alone: the cow's muzzle at full strength.
  triPos = 0;
  farewellFrame(0);
  W3DShowFrame();
  W3DClearWindow(1);
  uint32_t opaque = shownCentre();
  EXPECT_GT((opaque >> 16) & 0xFF, 150u) << std::hex << opaque;

  uint64_t before = W3D_GetStats(w3d_Context)->triangleCalls;
  EXPECT_EQ(runFarewell(), FAREWELL_FRAMES);
  EXPECT_EQ(W3D_GetStats(w3d_Context)->triangleCalls - before, 2u * FAREWELL_FRAMES);
  uint32_t last = shownCentre();  // opacity 1/300 over black
  EXPECT_LE((last >> 16) & 0xFF, 2u) << std::hex << last;
  W3DCleanup();
}
