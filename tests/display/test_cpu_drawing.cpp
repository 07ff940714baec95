// Every screen drawn on the CPU looks as the OpenGL renderer draws it: the
// real start-up (archives, display, twenty textures) runs once with each
// way of drawing, the same frames are drawn, and the halves are read back
// and compared pixel by pixel; so is the picture as shown in a window
// larger than it (scaled). The rasteriser's and the scaler's plain path
// (built without SSE2, their names changed) gives the SSE2 path's pixels.
#include <SDL.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "display/display.h"
#include "display/window.h"
#include "draw/batch.h"
#include "driver/lifecycle.h"
#include "music/music.h"
#include "screens/disk.h"
#include "screens/effects.h"
#include "screens/intro.h"
#include "warp3d/softraster.h"
#include "xserver.h"
// Xlib's names last: its macros (None, Status) would clash with the others'.
#include <SDL_syswm.h>
#include <X11/Xutil.h>

// The plain path, built a second time with these names (CMakeLists.txt).
void w3d_ScalarTriangles(const W3D_SoftImage *target, const SDL_Rect *clip, const W3D_SoftImage *texture,
                         const SDL_Vertex *vertices, int count, bool blend, int rowPart, int rowStep,
                         W3D_SoftCounts *counts);
bool w3d_ScalarScale(const W3D_SoftImage *picture, uint32_t *pixels, int64_t pitch, const SDL_Rect *rect, int part,
                     int parts);

namespace {

using Picture = std::vector<uint32_t>;

// The window the picture is shown in: larger than the picture, of another
// shape (bars beside it), as a 4:3 picture on a 16:10 display.
constexpr int WINDOW_WIDTH = 1600, WINDOW_HEIGHT = 1000;

// The picture as the window shows it. The CPU path scales into the
// window's own image; OpenGL's is read back from a target of the window's
// size that the half is copied into as the frame cycle copies it.
Picture shownInWindow() {
  Picture picture(size_t(WINDOW_WIDTH) * WINDOW_HEIGHT);
  SDL_Rect rect = pictureRect(WINDOW_WIDTH, WINDOW_HEIGHT, SCREEN_WIDTH, SCREEN_HEIGHT);
  if (w3d_Screen->cpuDrawing) {
    SDL_Surface *image = SDL_GetWindowSurface(w3d_Screen->window);
    EXPECT_TRUE(image && image->w == WINDOW_WIDTH && image->h == WINDOW_HEIGHT &&
                SDL_ConvertPixels(WINDOW_WIDTH, WINDOW_HEIGHT, image->format->format, image->pixels, image->pitch,
                                  SDL_PIXELFORMAT_ARGB8888, picture.data(), WINDOW_WIDTH * 4) == 0);
    return picture;
  }
  SDL_Renderer *renderer = w3d_Screen->renderer;
  SDL_Texture *window = SDL_CreateTexture(renderer, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_TARGET, WINDOW_WIDTH,
                                          WINDOW_HEIGHT);
  SDL_SetRenderTarget(renderer, window);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);
  SDL_RenderCopy(renderer, W3D_ShowableHalf(w3d_BitMap, w3d_Screen->shownHalf), nullptr, &rect);
  EXPECT_EQ(SDL_RenderReadPixels(renderer, nullptr, SDL_PIXELFORMAT_ARGB8888, picture.data(), WINDOW_WIDTH * 4), 0);
  SDL_SetRenderTarget(renderer, nullptr);
  SDL_DestroyTexture(window);
  return picture;
}

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
  w3d_StartWindowed = true;
  bool started = startProgram();
  w3d_StartWindowed = false;
  if (!started) return shots;
  SDL_SetWindowSize(w3d_Screen->window, WINDOW_WIDTH, WINDOW_HEIGHT);
  *cpuUsed = w3d_Screen->cpuDrawing;
  srand(7);
  initIntroStreaks();
  IntroState intro = {};
  // The swirl builds up over frames that are erased only at the bottom.
  for (int k = 0; k < 40; k++) {
    introPass(&intro, 1700 + 3 * k, nullptr);
    shots["intro swirl and logo"] = showAndRead();
    if (k == 39) shots["window: intro swirl and logo"] = shownInWindow();
    W3DClearWindow(0);
  }
  introPass(&intro, 12600, nullptr);
  shots["intro balls and entrants"] = showAndRead();
  shots["window: intro balls and entrants"] = shownInWindow();
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
    shots[std::string("window: ") + phases[phase]] = shownInWindow();
  }
  loadingSong = 0;
  farewellFrame(120);
  shots["farewell fade"] = showAndRead();
  shots["window: farewell fade"] = shownInWindow();
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
  ASSERT_EQ(gl.size(), 14u);  // seven screens, each as a half and as the window shows it
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
    int most = 0;
    for (size_t i = 0; i < reference.size(); i++) {
      int worst = 0;
      for (int shift = 0; shift < 24; shift += 8) {
        int d = std::abs(int(reference[i] >> shift & 255) - int(ours[i] >> shift & 255));
        worst = std::max(worst, d);
        sumDifference += d;
      }
      if ((reference[i] & 0xFFFFFF) > 0x101010) lit++;
      if (worst > 8) off++;
      most = std::max(most, worst);
    }
    printf("%-40s most %3d, over 8: %5zu of %zu, mean %.3f\n", name.c_str(), most, off, reference.size(),
           sumDifference / (3.0 * reference.size()));
    SCOPED_TRACE(name);
    EXPECT_GT(lit, reference.size() / 10);  // a real picture, not an empty screen
    EXPECT_LE(off, reference.size() / 1000);
    EXPECT_LT(sumDifference / (3.0 * reference.size()), 1.0);  // mean difference per channel
  }
}

// Random triangles (some magnified along one texel row, some clipped,
// blended or not, tinted or not) and random pictures scaled to many sizes,
// through both paths: the same pixels, bit for bit.
TEST(CpuDrawing, ThePlainPathGivesTheSse2Pixels) {
  srand(11);
  auto random = [](int n) { return rand() % n; };
  std::vector<uint32_t> texels(64 * 48);
  for (uint32_t &t : texels)  // transparent, opaque and in between
    t = uint32_t(random(4) == 0 ? 0 : random(3) == 0 ? random(256) : 255) << 24 | uint32_t(random(1 << 24));
  W3D_SoftImage textures[2] = {{texels.data(), 64, 48}, {texels.data(), 7, 5}};
  // Drawn with AVX2 where the machine has it, plainly, and with SSE2 alone.
  std::vector<uint32_t> pixels[3] = {std::vector<uint32_t>(160 * 120), {}, {}};
  for (uint32_t &p : pixels[0]) p = 0xFF000000u | uint32_t(random(1 << 24));
  pixels[2] = pixels[1] = pixels[0];
  W3D_SoftImage targets[3] = {{pixels[0].data(), 160, 120}, {pixels[1].data(), 160, 120}, {pixels[2].data(), 160, 120}};
  W3D_SoftCounts counts[3] = {{0, 0}, {0, 0}, {0, 0}};
  bool wide = w3d_SoftWide;
  SDL_Rect clip{3, 5, 150, 108};
  for (int k = 0; k < 3000; k++) {
    SDL_Vertex v[6];
    float x0 = random(200) - 20 + random(256) / 256.f, y0 = random(160) - 20 + random(256) / 256.f;
    float x1 = x0 + 1 + random(90), y1 = y0 + 1 + random(70);
    float u0 = random(140) / 100.f - 0.2f, t0 = random(140) / 100.f - 0.2f, u1 = u0 + random(50) / 100.f;
    SDL_Color colour{Uint8(random(256)), Uint8(random(256)), Uint8(random(256)), Uint8(random(256))};
    if (k % 3 == 0) colour = SDL_Color{255, 255, 255, 255};
    if (k % 2 == 0) {  // a quad along texel rows: its texture only moves across each row
      float t1 = t0 + random(30) / 100.f;
      const SDL_Vertex corners[4] = {{{x0, y0}, colour, {u0, t0}}, {{x1, y0}, colour, {u1, t0}},
                                     {{x1, y1}, colour, {u1, t1}}, {{x0, y1}, colour, {u0, t1}}};
      SDL_Vertex *next = v;
      for (int c : {0, 1, 2, 0, 2, 3}) *next++ = corners[c];  // A, B, C and A, C, D, as the batch draws
    } else {
      for (SDL_Vertex &vertex : v) {
        vertex = {{x0 + random(120) - 30.f, y0 + random(120) - 30.f}, colour,
                  {random(140) / 100.f - 0.2f, random(140) / 100.f - 0.2f}};
        if (k % 5 == 1) vertex.color = SDL_Color{Uint8(random(256)), Uint8(random(256)), Uint8(random(256)), 255};
      }
    }
    bool blend = k % 4 != 1;
    w3d_SoftTriangles(&targets[0], &clip, &textures[k % 7 == 0], v, 6, blend, 0, 1, &counts[0]);
    w3d_ScalarTriangles(&targets[1], &clip, &textures[k % 7 == 0], v, 6, blend, 0, 1, &counts[1]);
    w3d_SoftWide = false;
    w3d_SoftTriangles(&targets[2], &clip, &textures[k % 7 == 0], v, 6, blend, 0, 1, &counts[2]);
    w3d_SoftWide = wide;
  }
  EXPECT_GT(counts[0].written, 160u * 120 * 20);
  for (int way = 1; way < 3; way++) {
    EXPECT_EQ(counts[0].covered, counts[way].covered);
    EXPECT_EQ(counts[0].written, counts[way].written);
    EXPECT_TRUE(pixels[0] == pixels[way]);
  }

  // The drawn picture scaled up, down and across at once into a larger image.
  const SDL_Rect rects[] = {{0, 0, 160, 120}, {5, 3, 371, 277}, {1, 2, 97, 61}, {7, 0, 300, 90}, {3, 9, 80, 300}};
  for (const SDL_Rect &rect : rects) {
    std::vector<uint32_t> scaled[3] = {std::vector<uint32_t>(400 * 320, 0), std::vector<uint32_t>(400 * 320, 0),
                                       std::vector<uint32_t>(400 * 320, 0)};
    for (int parts = 1; parts <= 2; parts++)
      for (int part = 0; part < parts; part++) {
        EXPECT_TRUE(w3d_ScalarScale(&targets[0], scaled[0].data(), 400, &rect, part, parts));
        for (int way = 0; way < 2; way++) {
          w3d_SoftWide = way == 0 && wide;
          EXPECT_TRUE(w3d_SoftScale(&targets[0], scaled[1 + way].data(), 400, &rect, part, parts));
        }
      }
    w3d_SoftWide = wide;
    SCOPED_TRACE(rect.w);
    EXPECT_TRUE(scaled[0] == scaled[1]);
    EXPECT_TRUE(scaled[0] == scaled[2]);
    if (rect.w < 160 || rect.h < 120) continue;
    // Enlarged, the corners are the picture's (edges repeat).
    EXPECT_EQ(scaled[0][size_t(rect.y) * 400 + rect.x], pixels[0][0]);
    EXPECT_EQ(scaled[0][size_t(rect.y + rect.h - 1) * 400 + rect.x + rect.w - 1], pixels[0][160 * 120 - 1]);
  }
}

// On a real X server the frame goes through the window's own shared image:
// the server shows the half just shown scaled into the picture's rectangle
// with black bars around it, pixel for pixel, also after the window took
// another shape.
TEST(CpuDrawing, TheXServerShowsTheScaledHalfWithBars) {
  XServer server;
  ASSERT_TRUE(startXvfb("1920x1200x24", &server));
  setenv("DISPLAY", server.display.c_str(), 1);
  setenv("SDL_VIDEODRIVER", "x11", 1);
  char runtime[] = "/tmp/test-cpu-drawing-XXXXXX";
  ASSERT_NE(mkdtemp(runtime), nullptr);
  setenv("XDG_RUNTIME_DIR", runtime, 1);
  W3D_CpuDrawing = w3d_StartWindowed = true;
  ASSERT_TRUE(startProgram());
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  ASSERT_TRUE(SDL_GetWindowWMInfo(w3d_Screen->window, &info));
  for (SDL_Point size : {SDL_Point{1600, 1000}, SDL_Point{700, 1100}}) {
    SDL_SetWindowSize(w3d_Screen->window, size.x, size.y);
    IntroState intro = {};
    for (int k = 0; k < 10; k++) {  // the window settles meanwhile
      introPass(&intro, 12600 + 20 * k, nullptr);
      W3DShowFrame();
      W3DClearWindow(1);
    }
    EXPECT_NE(ownWindowImage(w3d_Screen->window), nullptr);
    Picture half(size_t(SCREEN_WIDTH) * SCREEN_HEIGHT), expected(size_t(size.x) * size.y, 0);
    ASSERT_TRUE(W3D_ReadHalf(w3d_BitMap, w3d_Screen->shownHalf, half.data()));
    W3D_SoftImage picture{half.data(), SCREEN_WIDTH, SCREEN_HEIGHT};
    SDL_Rect rect = pictureRect(size.x, size.y, SCREEN_WIDTH, SCREEN_HEIGHT);
    ASSERT_TRUE(w3d_SoftScale(&picture, expected.data(), size.x, &rect, 0, 1));
    XImage *shown = XGetImage(info.info.x11.display, info.info.x11.window, 0, 0, unsigned(size.x), unsigned(size.y),
                              AllPlanes, ZPixmap);
    ASSERT_NE(shown, nullptr);
    size_t differing = 0, lit = 0;
    for (int y = 0; y < size.y; y++)
      for (int x = 0; x < size.x; x++) {
        uint32_t want = expected[size_t(y) * size.x + x] & 0xFFFFFF;
        differing += (XGetPixel(shown, x, y) & 0xFFFFFF) != want;
        lit += want > 0x101010;
      }
    XDestroyImage(shown);
    EXPECT_EQ(differing, 0u) << size.x << "x" << size.y;
    EXPECT_GT(lit, expected.size() / 40);  // a real picture, not an empty window
  }
  W3DCleanup();
  W3D_CpuDrawing = -1;
  w3d_StartWindowed = false;
  stopXvfb(&server);
  rmdir(runtime);
}

}  // namespace
