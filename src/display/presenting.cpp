// Handing the window's image over to the X server on a thread of its own.
// SDL's update of the window puts the image (through MIT-SHM, where the
// server has it) and then waits for the server to have copied it: at
// 3840 x 2160 that wait is a third of a frame. Waited for here, the
// server's copy overlaps the drawing of the next frame, which goes to the
// other half; the image is written again only once the copy is done.
#include <SDL.h>

#include <cstdio>

#include "display/window.h"

namespace {

struct Presenting {
  SDL_Thread *thread = nullptr;
  SDL_sem *go = nullptr, *done = nullptr;
  SDL_Window *window = nullptr;
  SDL_Rect rect{};
  bool whole = false;     // the whole window, else rect alone
  bool busy = false;      // handed over, not yet settled
  bool failed = false;    // the last hand-over failed
  bool stopping = false;
  bool unavailable = false;  // no thread could be made: each update is waited for where it is asked
};
Presenting presenting;

bool update(SDL_Window *window, const SDL_Rect *rect, bool whole) {
  return (whole ? SDL_UpdateWindowSurface(window) : SDL_UpdateWindowSurfaceRects(window, rect, 1)) == 0;
}

// The semaphores order the fields: they are written before go is posted and
// read after done is waited for.
int presentLoop(void *) {
  for (;;) {
    SDL_SemWait(presenting.go);
    if (presenting.stopping) return 0;
    presenting.failed = !update(presenting.window, &presenting.rect, presenting.whole);
    SDL_SemPost(presenting.done);
  }
}

bool startThread() {
  presenting.go = SDL_CreateSemaphore(0);
  presenting.done = SDL_CreateSemaphore(0);
  if (presenting.go && presenting.done)
    presenting.thread = SDL_CreateThread(presentLoop, "musicdisk present", nullptr);
  if (presenting.thread) return true;
  fprintf(stderr, "musicdisk: frames are sent to the window without a thread of their own: %s\n", SDL_GetError());
  if (presenting.go) SDL_DestroySemaphore(presenting.go);
  if (presenting.done) SDL_DestroySemaphore(presenting.done);
  presenting.go = presenting.done = nullptr;
  presenting.unavailable = true;
  return false;
}

}  // namespace

bool presentWindowImage(SDL_Window *window, const SDL_Rect *rect) {
  settlePresenting();  // the caller settled already, and learnt how the last one went
  if (presenting.unavailable || (!presenting.thread && !startThread())) return update(window, rect, rect == nullptr);
  presenting.window = window;
  presenting.whole = rect == nullptr;
  if (rect) presenting.rect = *rect;
  presenting.busy = true;
  SDL_SemPost(presenting.go);
  return true;
}

bool settlePresenting() {
  if (!presenting.busy) return true;
  SDL_SemWait(presenting.done);
  presenting.busy = false;
  if (!presenting.failed) return true;
  presenting.failed = false;
  return false;
}

void stopPresenting() {
  settlePresenting();
  if (presenting.thread) {
    presenting.stopping = true;
    SDL_SemPost(presenting.go);
    SDL_WaitThread(presenting.thread, nullptr);
    SDL_DestroySemaphore(presenting.go);
    SDL_DestroySemaphore(presenting.done);
  }
  presenting = Presenting{};
}
