// Where the picture lies in the window: as large as fits, aspect kept,
// centred, with black bars beside or above it. Showing a frame and mapping
// the pointer both go by the same rectangle.
#include "display/display.h"
#include "display/window.h"

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
