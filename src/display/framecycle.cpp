// The frame cycle: showing the half just drawn and sending drawing to the
// other one, and erasing the drawing half.
//
// Showing a half puts it on the window (as large as fits, aspect kept,
// black bars around) and presents; pacing.cpp then holds the loop to the
// display's rate.
#include "display/display.h"
#include "display/window.h"

int32_t bufnum = 0;
int32_t frames = 0;

namespace {

// Marks a window image whose bars have been filled and sent: a new image
// (the first, or one made after the window's size changed) carries none.
int barsFilled;
// The window was uncovered since: what was sent before it is lost.
bool exposed;

int watchExposure(void *, SDL_Event *event) {
  if (event->type == SDL_WINDOWEVENT && event->window.event == SDL_WINDOWEVENT_EXPOSED) exposed = true;
  return 0;
}

// Drawn on the CPU, the half is scaled straight into the window's own image
// (memory shared with the X server, where it has the extension), by two
// threads when it is big; then only the picture's rectangle is sent, and
// the server copies it while the next frame is drawn. The
// bars around it are filled and sent once for each image and placement,
// and again when the window has been uncovered.
// SDL's software renderer would instead copy the half into a texture, scale
// it on one thread into a scratch image it clears each frame, and send the
// whole window. False: the window has no image of our pixel format.
bool showInWindowImage(W3D_Screen *screen, int shown) {
  SDL_Surface *image = ownWindowImage(screen->window);
  bool own = image != nullptr;
  if (!own) image = SDL_GetWindowSurface(screen->window);
  if (!image || image->format->BytesPerPixel != 4 || image->format->Rmask != 0x00FF0000u ||
      image->format->Gmask != 0x0000FF00u || image->format->Bmask != 0x000000FFu)
    return false;
  static SDL_Rect placed;
  SDL_Rect target = pictureRect(image->w, image->h, SCREEN_WIDTH, SCREEN_HEIGHT);
  if (target.w <= 0 || target.h <= 0) return true;
  if (!W3D_ScaleHalf(w3d_BitMap, shown, static_cast<uint32_t *>(image->pixels), image->pitch, &target)) return false;
  if (image->userdata == &barsFilled && SDL_RectEquals(&placed, &target) && !exposed)
    return own ? sendWindowImage(&target) : SDL_UpdateWindowSurfaceRects(screen->window, &target, 1) == 0;
  int below = target.y + target.h, right = target.x + target.w;
  SDL_Rect bars[4] = {{0, 0, image->w, target.y},
                      {0, below, image->w, image->h - below},
                      {0, target.y, target.x, target.h},
                      {right, target.y, image->w - right, target.h}};
  SDL_FillRects(image, bars, 4, 0);
  image->userdata = &barsFilled;
  placed = target;
  exposed = false;
  // Once: the events' end with the display forgets every watch.
  SDL_DelEventWatch(watchExposure, nullptr);
  SDL_AddEventWatch(watchExposure, nullptr);
  return own ? sendWindowImage(nullptr) : SDL_UpdateWindowSurface(screen->window) == 0;
}

void showHalf(W3D_Screen *screen, int shown) {
  if (screen->cpuDrawing && showInWindowImage(screen, shown)) return;
  SDL_Renderer *renderer = screen->renderer;
  SDL_SetRenderTarget(renderer, nullptr);
  SDL_RenderSetClipRect(renderer, nullptr);
  SDL_SetRenderDrawBlendMode(renderer, SDL_BLENDMODE_NONE);
  SDL_SetRenderDrawColor(renderer, 0, 0, 0, 255);
  SDL_RenderClear(renderer);  // the bars beside or above the picture
  SDL_Rect target = shownPictureRect(screen);
  SDL_RenderCopy(renderer, W3D_ShowableHalf(w3d_BitMap, shown), nullptr, &target);
  SDL_RenderPresent(renderer);
}

}  // namespace

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
