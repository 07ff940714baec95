// The window's own image in memory shared with the X server (MIT-SHM), for
// frames drawn on the CPU. SDL's window surface puts its image and then
// waits until the server has copied it: at 3840 x 2160 a third of a frame.
// Here the put is only sent; the wait for it comes just before the image is
// written again, so that the server's copy overlaps the drawing of the next
// frame. All of it on SDL's connection and the main thread, as SDL's own
// calls; where the server has no MIT-SHM (a remote display) or the window
// no 32-bit RGB visual, there is no such image and SDL's surface is used.
#include <SDL_syswm.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XShm.h>
#include <sys/ipc.h>
#include <sys/shm.h>

#include <cstdio>

#include "display/window.h"

namespace {

struct WindowImage {
  Display *display = nullptr;
  Window window = None;
  GC gc = nullptr;
  XImage *image = nullptr;
  XShmSegmentInfo shm{};
  SDL_Surface *surface = nullptr;  // the same pixels for the frame cycle
  bool sent = false;               // a put the server may still be reading
  bool unavailable = false;        // tried once for this window, and failed
};
WindowImage own;

// Waits until the server has done every put sent.
void waitForServer() {
  if (own.sent && !xConnectionBroken()) XSync(own.display, False);
  own.sent = false;
}

void dropImage() {
  waitForServer();
  if (own.surface) SDL_FreeSurface(own.surface);
  own.surface = nullptr;
  if (own.image) {
    // A broken connection takes no more requests; the segment goes with
    // the process.
    if (!xConnectionBroken()) {
      XShmDetach(own.display, &own.shm);
      XSync(own.display, False);
    }
    own.image->data = nullptr;  // the segment's, not Xlib's to free
    XDestroyImage(own.image);
    own.image = nullptr;
    shmdt(own.shm.shmaddr);
  }
  own.shm = XShmSegmentInfo{};
}

// An image of width x height for the window; false where none can be had.
bool makeImage(int width, int height) {
  XWindowAttributes attributes;
  if (!XShmQueryExtension(own.display) || !XGetWindowAttributes(own.display, own.window, &attributes)) return false;
  XImage *image = XShmCreateImage(own.display, attributes.visual, unsigned(attributes.depth), ZPixmap, nullptr,
                                  &own.shm, unsigned(width), unsigned(height));
  if (!image) return false;
  bool fits = image->bits_per_pixel == 32 && image->red_mask == 0xFF0000 && image->green_mask == 0xFF00 &&
              image->blue_mask == 0xFF && image->byte_order == LSBFirst;
  char *const none = reinterpret_cast<char *>(-1);
  own.shm.shmid = fits ? shmget(IPC_PRIVATE, size_t(image->bytes_per_line) * height, IPC_CREAT | 0600) : -1;
  own.shm.shmaddr = own.shm.shmid >= 0 ? static_cast<char *>(shmat(own.shm.shmid, nullptr, 0)) : none;
  own.shm.readOnly = False;
  bool attached = false;
  if (own.shm.shmaddr != none) {
    // A server that cannot reach the segment (another machine's) answers
    // the attach with an error.
    trapXErrors(true);
    attached = XShmAttach(own.display, &own.shm) != 0;
    XSync(own.display, False);
    attached = !trapXErrors(false) && attached;
  }
  if (own.shm.shmid >= 0) shmctl(own.shm.shmid, IPC_RMID, nullptr);  // gone once both sides let go
  image->data = attached ? own.shm.shmaddr : nullptr;
  if (!attached) {
    if (own.shm.shmaddr != none) shmdt(own.shm.shmaddr);
    own.shm = XShmSegmentInfo{};
    XDestroyImage(image);
    return false;
  }
  own.image = image;
  own.surface = SDL_CreateRGBSurfaceWithFormatFrom(image->data, width, height, 32, image->bytes_per_line,
                                                   SDL_PIXELFORMAT_RGB888);
  if (own.surface) return true;
  dropImage();
  return false;
}

}  // namespace

SDL_Surface *ownWindowImage(SDL_Window *window) {
  if (xConnectionBroken()) return nullptr;
  SDL_SysWMinfo info;
  SDL_VERSION(&info.version);
  if (!SDL_GetWindowWMInfo(window, &info) || info.subsystem != SDL_SYSWM_X11) return nullptr;
  if (own.window != info.info.x11.window) {  // a new window: try afresh
    forgetWindowImage();
    own.display = info.info.x11.display;
    own.window = info.info.x11.window;
  }
  if (own.unavailable) return nullptr;
  waitForServer();
  int width = 0, height = 0;
  SDL_GetWindowSize(window, &width, &height);
  if (own.surface && own.surface->w == width && own.surface->h == height) return own.surface;
  dropImage();
  if (width <= 0 || height <= 0) return nullptr;
  if (!own.gc) own.gc = XCreateGC(own.display, own.window, 0, nullptr);
  if (!makeImage(width, height)) {
    own.unavailable = true;
    fputs("musicdisk: the X server shares no image with this window; frames go through SDL's\n", stderr);
    return nullptr;
  }
  return own.surface;
}

bool sendWindowImage(const SDL_Rect *rect) {
  if (!own.surface || xConnectionBroken()) return false;
  SDL_Rect whole{0, 0, own.surface->w, own.surface->h}, part;
  if (!SDL_IntersectRect(rect ? rect : &whole, &whole, &part)) return true;
  XShmPutImage(own.display, own.window, own.gc, own.image, part.x, part.y, part.x, part.y, unsigned(part.w),
               unsigned(part.h), False);
  XFlush(own.display);
  own.sent = true;
  return true;
}

void forgetWindowImage() {
  if (own.display) {
    dropImage();
    if (own.gc && !xConnectionBroken()) XFreeGC(own.display, own.gc);
  }
  own = WindowImage{};
}
