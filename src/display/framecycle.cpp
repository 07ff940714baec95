// The frame cycle: showing the half just drawn and sending drawing to the
// other one, erasing the drawing half, and holding the loops to the
// display's refresh rate.
//
// Showing a half copies it to the window (as large as fits, aspect kept,
// black bars around) and presents. Where the renderer waits for the
// display at present (vsync), that wait paces the loops; where it does not
// (Xvfb, the offscreen and dummy drivers, some drivers), the switch sleeps
// until the next frame time of the display's rate, so no loop spins a core.
#include <time.h>

#include "display/display.h"
#include "display/window.h"

int32_t bufnum = 0;
int32_t frames = 0;

namespace {

int64_t nowNanoseconds() {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t(now.tv_sec) * 1000000000 + now.tv_nsec;
}

void sleepUntil(int64_t deadline) {
  timespec until;
  until.tv_sec = deadline / 1000000000;
  until.tv_nsec = deadline % 1000000000;
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &until, nullptr) != 0) {
    // interrupted by a signal: sleep on unless termination was asked for
    if (W3DCloseRequested()) return;
  }
}

int64_t nextFrameTime = 0;  // monotonic ns; 0 = no schedule yet

// Waits for the next frame time of the display. A present that already
// waited for the display returns close to that time: then there is nothing
// to wait for, and the schedule follows the display. A present that did
// not wait returns early: then the schedule keeps a steady rate.
void waitForFrame(int32_t refreshRate) {
  int64_t period = 1000000000 / (refreshRate > 0 ? refreshRate : 60);
  int64_t now = nowNanoseconds();
  if (nextFrameTime == 0 || now >= nextFrameTime - period / 4) {
    // On time or late (a slow frame, or vsync did the waiting).
    nextFrameTime = now + period;
    return;
  }
  sleepUntil(nextFrameTime);
  nextFrameTime += period;
}

void showHalf(W3D_Screen *screen, int shown) {
  SDL_Renderer *renderer = screen->renderer;
  SDL_SetRenderTarget(renderer, nullptr);
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_Rect target = shownPictureRect(screen);
  if (screen->cpuDrawing) {
    // The bars beside or above the picture alone: clearing the whole window
    // in memory would cost as much again as the copy of the picture.
    int outputWidth = 0, outputHeight = 0;
    SDL_GetWindowSize(screen->window, &outputWidth, &outputHeight);
    int below = target.y + target.h, right = target.x + target.w;
    SDL_Rect bars[4] = {{0, 0, outputWidth, target.y},
                        {0, below, outputWidth, outputHeight - below},
                        {0, target.y, target.x, target.h},
                        {right, target.y, outputWidth - right, target.h}};
    SDL_RenderFillRects(renderer, bars, 4);
  } else {
    SDL_RenderClear(renderer);  // the bars beside or above the picture
  }
  SDL_RenderCopy(renderer, W3D_ShowableHalf(w3d_BitMap, shown), nullptr, &target);
  SDL_RenderPresent(renderer);
}

}  // namespace

void resetFramePacing() { nextFrameTime = 0; }

int32_t displayRefreshRate(SDL_Window *window) {
  SDL_DisplayMode mode;
  int display = SDL_GetWindowDisplayIndex(window);
  if (display >= 0 && SDL_GetCurrentDisplayMode(display, &mode) == 0 && mode.refresh_rate > 0)
    return mode.refresh_rate;
  return 60;
}

SDL_Rect pictureRect(int outputWidth, int outputHeight, int pictureWidth, int pictureHeight) {
  if (outputWidth <= 0 || outputHeight <= 0 || pictureWidth <= 0 || pictureHeight <= 0)
    return SDL_Rect{0, 0, outputWidth > 0 ? outputWidth : 0, outputHeight > 0 ? outputHeight : 0};
  // Whichever side is the tighter fit sets the scale.
  SDL_Rect rect;
  if (int64_t(outputWidth) * pictureHeight <= int64_t(outputHeight) * pictureWidth) {
    rect.w = outputWidth;
    rect.h = static_cast<int>((int64_t(outputWidth) * pictureHeight + pictureWidth / 2) / pictureWidth);
  } else {
    rect.h = outputHeight;
    rect.w = static_cast<int>((int64_t(outputHeight) * pictureWidth + pictureHeight / 2) / pictureHeight);
  }
  rect.x = (outputWidth - rect.w) / 2;
  rect.y = (outputHeight - rect.h) / 2;
  return rect;
}

SDL_Rect shownPictureRect(W3D_Screen *screen) {
  // The window asks for no high-DPI surface: its size is in output pixels.
  int windowWidth = 0, windowHeight = 0;
  SDL_GetWindowSize(screen->window, &windowWidth, &windowHeight);
  return pictureRect(windowWidth, windowHeight, SCREEN_WIDTH, SCREEN_HEIGHT);
}

void W3DSwitchBuffer() {
  if (!w3d_Screen || !w3d_Window || !w3d_Context) return;
  W3D_Scissor scissor = {0, 0, static_cast<uint32_t>(SCREEN_WIDTH), static_cast<uint32_t>(SCREEN_HEIGHT)};
  int shown;
  if (bufnum == 0) {
    W3D_SetDrawRegion(w3d_Context, w3d_BitMap, 0, &scissor);
    shown = 1;
  } else {
    W3D_SetDrawRegion(w3d_Context, w3d_BitMap, SCREEN_HEIGHT, &scissor);
    shown = 0;
  }
  W3D_SetScissor(w3d_Context, &scissor);
  W3D_Flush(w3d_Context);
  showHalf(w3d_Screen, shown);
  w3d_Screen->shownHalf = shown;
  // Loops that take no input (the closing fade) keep the window alive too.
  pumpInput();
  waitForFrame(w3d_Screen->refreshRate);
  bufnum = 1 - bufnum;
}

void eraseRect(W3D_Window *window, int32_t left, int32_t top, int32_t right, int32_t bottom) {
  W3D_Bitmap *bitmap = &window->bitmap;
  if (w3d_Context) W3D_Flush(w3d_Context);  // what was drawn before the erase stays below it
  int32_t height = bitmap->height;
  for (int half = 0; half < 2; half++) {
    int32_t first = top > half * height ? top : half * height;
    int32_t last = bottom < half * height + height - 1 ? bottom : half * height + height - 1;
    if (first > last || left > right) continue;
    SDL_Rect rect = {left, first - half * height, right - left + 1, last - first + 1};
    W3D_EraseHalf(bitmap, half, &rect);
  }
}

void W3DClearWindow(int32_t fullClear) {
  if (!w3d_Window) return;
  int32_t h = SCREEN_HEIGHT;
  int32_t base = (1 - bufnum) * h;  // first row of the half drawing goes to
  int32_t bottom = base + h - 1;
  int32_t right = SCREEN_WIDTH - 1;
  int32_t top = fullClear ? base : static_cast<int32_t>(static_cast<double>(base + h) + h / -10.0 + h / -30.0);
  eraseRect(w3d_Window, 0, static_cast<int16_t>(top), static_cast<int16_t>(right), static_cast<int16_t>(bottom));
}
