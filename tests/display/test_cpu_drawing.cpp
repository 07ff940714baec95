// Every screen drawn on the CPU looks as the OpenGL renderer draws it: the
// real start-up (archives, display, twenty textures) runs once with each
// way of drawing, the same frames are drawn, and the halves are read back
// and compared pixel by pixel.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "display/display.h"
#include "draw/batch.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"

namespace {

using Picture = std::vector<uint32_t>;

// Shows the frame queued and reads back the half just shown.
Picture showAndRead() {
  W3DShowFrame();
  Picture picture(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT);
  EXPECT_TRUE(W3D_ReadHalf(w3d_BitMap, w3d_Screen->shownHalf, picture.data())) << SDL_GetError();
  return picture;
}

// The same sequence of screens on either way of drawing.
std::map<std::string, Picture> drawScreens(int cpu, bool *cpuUsed, uint64_t *written) {
  W3D_CpuDrawing = cpu;
  double sharedPixels = W3D_SHARED_FRAME_PIXELS;
  W3D_SHARED_FRAME_PIXELS = 0;  // every frame drawn by two threads, each taking every other row
  std::map<std::string, Picture> shots;
  if (!startProgram()) return shots;
  *cpuUsed = w3d_Screen->cpuDrawing;
  srand(7);
  initIntroStreaks();
  IntroState intro = {};
  // The swirl builds up over frames that are erased only at the bottom.
  for (int k = 0; k < 40; k++) {
    introPass(&intro, 1700 + 3 * k, nullptr);
    shots["intro swirl and logo"] = showAndRead();
    W3DClearWindow(0);
  }
  introPass(&intro, 12600, nullptr);
  shots["intro balls and entrants"] = showAndRead();
  W3DClearWindow(1);

  DiskState disk;
  diskEnter(&disk, 0);
  resetSparks(100);
  fps = 1;
  disk.showPlacing = true;
  loadingSong = 0;
  // Loading: the overlay half faded in, then opaque (hiding all below it).
  const char *phases[] = {"disk playing", "disk paused", "disk loading", "disk loading, overlay opaque"};
  for (int phase = 0; phase < 4; phase++) {
    disk.paused = phase == 1;
    loadingSong = phase >= 2;
    flashtime = phase == 3 ? 0 : 1000 + 20 * phase * 8 - 40;
    for (int k = 0; k < 8; k++) {
      disk.t = 1000 + 20 * (phase * 8 + k);
      diskDraw(&disk);
      shots[phases[phase]] = showAndRead();
    }
  }
  loadingSong = 0;
  farewellFrame(120);
  shots["farewell fade"] = showAndRead();
  *written = W3D_GetStats(w3d_Context)->pixelsWritten;
  W3DCleanup();
  W3D_CpuDrawing = -1;
  W3D_SHARED_FRAME_PIXELS = sharedPixels;
  return shots;
}

TEST(CpuDrawing, EveryScreenMatchesTheOpenGlPicture) {
  setenv("SDL_VIDEODRIVER", "offscreen", 1);  // OpenGL through EGL: Mesa's llvmpipe
  char runtime[] = "/tmp/test-cpu-drawing-XXXXXX";
  ASSERT_NE(mkdtemp(runtime), nullptr);
  setenv("XDG_RUNTIME_DIR", runtime, 1);
  bool glCpu = true, cpuCpu = false;
  uint64_t glWritten = 0, cpuWritten = 0;
  std::map<std::string, Picture> gl = drawScreens(0, &glCpu, &glWritten);
  std::map<std::string, Picture> cpu = drawScreens(1, &cpuCpu, &cpuWritten);
  rmdir(runtime);
  ASSERT_EQ(gl.size(), 7u);
  ASSERT_EQ(cpu.size(), gl.size());
  EXPECT_FALSE(glCpu);
  EXPECT_TRUE(cpuCpu);
  EXPECT_EQ(glWritten, 0u);  // the GPU path drew everything itself
  EXPECT_GT(cpuWritten, 0u);

  // Tolerance: a channel may differ by up to 8 of 255 (rounding of the
  // filter weights and products; 6 is the most seen); at most 0.1% of the
  // pixels may differ more (a pixel centre right on a triangle's edge), and
  // the mean difference stays below 1 of 255.
  for (const auto &[name, reference] : gl) {
    const Picture &ours = cpu[name];
    ASSERT_EQ(ours.size(), reference.size()) << name;
    size_t lit = 0, off = 0;
    double sumDifference = 0;
    for (size_t i = 0; i < reference.size(); i++) {
      int worst = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        int d = std::abs(int(reference[i] >> shift & 255) - int(ours[i] >> shift & 255));
        worst = std::max(worst, d);
        sumDifference += d;
      }
      if ((reference[i] & 0xFFFFFF) > 0x101010) lit++;
      if (worst > 8) off++;
    }
    SCOPED_TRACE(name);
    EXPECT_GT(lit, reference.size() / 10);  // a real picture, not an empty screen
    EXPECT_LE(off, reference.size() / 1000);
    EXPECT_LT(sumDifference / (3.0 * reference.size()), 1.0);  // mean difference per channel
  }
}

}  // namespace
