// Opening and closing the display: the library, the mode, the screen (a
// full-screen SDL window with its renderer), the window (input and the two
// halves), the 3D context and its state, the hidden pointer; the teardown
// in reverse order; the hardware-lock wrappers.
#include <SDL.h>

#include <cstdio>
#include <new>

#include "display/display.h"
#include "display/window.h"

void *Warp3DBase = nullptr;
void *IWarp3D = nullptr;
uint32_t w3d_Flags = 0;
int32_t SCREEN_WIDTH = 0;
int32_t SCREEN_HEIGHT = 0;
W3D_Screen *w3d_Screen = nullptr;
W3D_Window *w3d_Window = nullptr;
W3D_Bitmap *w3d_BitMap = nullptr;
W3D_Context *w3d_Context = nullptr;
int32_t HARDWARELOCK = 0;
bool w3d_StartWindowed = false;

namespace {

void (*releases[CLEANUP_RELEASES])();
int releaseCount = 0;

// The rendering state set once for the whole run. Fog is handed over but
// never enabled.
const W3D_Fog myFog = {1.0f, 0.2f, 1.0f, 0.253125f, 0.253125f, 0.534375f};
const uint32_t FogModes[5] = {0, 1, 2, 3, 4};
const uint32_t CurrentFog = 0;
const W3D_Color ccol = {0.0f, 1.0f, 0.0f, 0.8f};

// The renderer of the window. Without a GPU, OpenGL only adds a second CPU
// rasteriser and a copy per frame: the window then gets SDL's software
// renderer, which shows the halves that the 3D library draws on the CPU.
// With no GPU device at all, OpenGL (and the time its library takes to
// load) is not even tried. SDL must not put the software renderer's window
// surface on OpenGL again.
SDL_Renderer *createRenderer(SDL_Window *window, bool *cpuDrawing) {
  *cpuDrawing = W3D_CpuDrawing == 1 || (W3D_CpuDrawing == -1 && !W3D_GpuDevicePresent());
  SDL_Renderer *renderer = nullptr;
  if (!*cpuDrawing) {
    renderer = SDL_CreateRenderer(window, -1,
                                  SDL_RENDERER_ACCELERATED | SDL_RENDERER_TARGETTEXTURE | SDL_RENDERER_PRESENTVSYNC);
    if (!renderer) renderer = SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
    if (!renderer || W3D_CpuDrawing == 0 || !W3D_IsCpuRasteriser(renderer)) return renderer;
    *cpuDrawing = true;
    SDL_RendererInfo info;
    if (SDL_GetRendererInfo(renderer, &info) == 0 && SDL_strcmp(info.name, "software") == 0) return renderer;
    SDL_DestroyRenderer(renderer);
  }
  SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
  return SDL_CreateRenderer(window, -1, SDL_RENDERER_SOFTWARE | SDL_RENDERER_TARGETTEXTURE);
}

}  // namespace

// ---------------------------------------------------------------- screen

W3D_Screen *openScreen(uint32_t modeId, int32_t height, int32_t *error) {
  W3D_ModeRect nominal;
  if (!W3D_GetModeNominal(modeId, &nominal) || height != 2 * (nominal.MaxY - nominal.MinY + 1)) {
    *error = OSERR_UNKNOWNMODE;
    return nullptr;
  }
  int32_t width = nominal.MaxX - nominal.MinX + 1;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) != 0) {
    *error = OSERR_NOMONITOR;
    return nullptr;
  }
  W3D_Screen *screen = new (std::nothrow) W3D_Screen{};
  if (!screen) {
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    *error = OSERR_NOMEM;
    return nullptr;
  }
  // At 0,0: without a window manager nothing else would place it. The
  // size is that of one half, what Alt+Enter leaves when it makes a window.
  // Hidden until the renderer exists: made full screen before the renderer,
  // the window waits for the X server twice and start-up takes twice as long.
  screen->window = SDL_CreateWindow("Musicdisk", 0, 0, width, height / 2, SDL_WINDOW_HIDDEN | SDL_WINDOW_RESIZABLE);
  if (!screen->window) {
    delete screen;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    *error = OSERR_NOTAVAILABLE;
    return nullptr;
  }
  watchXConnection(screen->window);
  screen->renderer = createRenderer(screen->window, &screen->cpuDrawing);
  if (!screen->renderer) {
    forgetXConnection();
    SDL_DestroyWindow(screen->window);
    delete screen;
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
    *error = OSERR_NOCHIPS;
    return nullptr;
  }
  screen->width = width;
  screen->height = height;
  setFullScreen(screen, !w3d_StartWindowed);
  SDL_ShowWindow(screen->window);
  // The window manager's frame is known once the window is shown: a window
  // is fitted again, frame and all, into the work area.
  if (!screen->fullScreen) setFullScreen(screen, false);
  SDL_RaiseWindow(screen->window);
  SDL_RendererInfo info;
  screen->vsync = SDL_GetRendererInfo(screen->renderer, &info) == 0 && (info.flags & SDL_RENDERER_PRESENTVSYNC);
  screen->shownHalf = -1;
  screen->MouseX = static_cast<int16_t>(width / 2);
  screen->MouseY = static_cast<int16_t>(height / 4);
  // Black at once, not whatever the display held.
  SDL_SetRenderDrawColor(screen->renderer, 0, 0, 0, 255);
  SDL_RenderClear(screen->renderer);
  SDL_RenderPresent(screen->renderer);
  resetFramePacing();
  *error = 0;
  return screen;
}

void closeScreen(W3D_Screen *screen) {
  if (!screen) return;
  SDL_DestroyRenderer(screen->renderer);
  forgetXConnection();
  SDL_DestroyWindow(screen->window);
  SDL_QuitSubSystem(SDL_INIT_VIDEO);
  delete screen;
}

// ---------------------------------------------------------------- window

W3D_Window *openWindow(W3D_Screen *screen) {
  if (!screen) return nullptr;
  W3D_Window *window = new (std::nothrow) W3D_Window{};
  if (!window) return nullptr;
  window->bitmap.renderer = screen->renderer;
  window->bitmap.width = screen->width;
  window->bitmap.height = screen->height / 2;
  window->pendingMove = -1;
  for (int n = 0; n < 2; n++) {
    SDL_Texture *&half = window->bitmap.half[n];
    half = SDL_CreateTexture(screen->renderer, SDL_PIXELFORMAT_ARGB8888,
                             screen->cpuDrawing ? SDL_TEXTUREACCESS_STREAMING : SDL_TEXTUREACCESS_TARGET,
                             window->bitmap.width, window->bitmap.height);
    if (screen->cpuDrawing && half)
      window->bitmap.pixels[n] = new (std::nothrow) uint32_t[size_t(window->bitmap.width) * window->bitmap.height];
    if (!half || (screen->cpuDrawing && !window->bitmap.pixels[n])) {
      closeWindow(window);
      return nullptr;
    }
    // Copied as they are to the window, scaled smoothly.
    SDL_SetTextureBlendMode(half, SDL_BLENDMODE_NONE);
    SDL_SetTextureScaleMode(half, SDL_ScaleModeLinear);
  }
  // Keys come as raw keys; text input (and an input method) is not wanted.
  SDL_StopTextInput();
  SDL_RaiseWindow(screen->window);
  return window;
}

void closeWindow(W3D_Window *window) {
  if (!window) return;
  for (SDL_Texture *half : window->bitmap.half)
    if (half) SDL_DestroyTexture(half);
  for (uint32_t *pixels : window->bitmap.pixels) delete[] pixels;
  delete window;
}

// ---------------------------------------------------------------- library

namespace {

struct Interface {
  const char *name;
  int version;
};
struct Library {
  const char *name;
  int version;  // the version this build offers
  Interface interfaces[1];
};

// The 3D library on SDL's renderer; SDL_RenderGeometry came with 2.0.18.
Library warp3dLibrary = {"Warp3D.library", 53, {{"main", 1}}};

Interface *getInterface(Library *library, const char *name, int version) {
  for (Interface &interface : library->interfaces)
    if (SDL_strcmp(interface.name, name) == 0 && interface.version >= version) return &interface;
  return nullptr;
}

bool sdlHasGeometry() {
  SDL_version linked;
  SDL_GetVersion(&linked);
  return SDL_VERSIONNUM(linked.major, linked.minor, linked.patch) >= SDL_VERSIONNUM(2, 0, 18);
}

}  // namespace

int getLibIFace(void **base, const char *name, int version, void **iface) {
  *base = nullptr;
  *iface = nullptr;
  Library *library = nullptr;
  if (name && SDL_strcmp(name, warp3dLibrary.name) == 0 && version <= warp3dLibrary.version && sdlHasGeometry()) {
    // The program has its own termination handlers: SDL must not take
    // SIGINT and SIGTERM.
    SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
    if (SDL_InitSubSystem(SDL_INIT_EVENTS) == 0) library = &warp3dLibrary;
  }
  *base = library;
  if (!library) {
    printf("Unable to open '%s' version %d\n", name ? name : "", version);
    fflush(stdout);
    return 0;
  }
  *iface = getInterface(library, "main", 1);
  if (!*iface) {
    printf("Unable to get the main interface for '%s'\n", name);
    fflush(stdout);
    return 0;
  }
  return 1;
}

void closeLibIFace(void *base) {
  if (base == &warp3dLibrary) SDL_QuitSubSystem(SDL_INIT_EVENTS);
}

// ---------------------------------------------------------------- setup

void W3DGetDataModeId(uint32_t modeId) {
  W3D_ModeRect nominal;
  if (!W3D_GetModeNominal(modeId, &nominal)) return;  // sizes keep their values
  SCREEN_WIDTH = nominal.MaxX - nominal.MinX + 1;
  SCREEN_HEIGHT = nominal.MaxY - nominal.MinY + 1;
}

int32_t W3DSetup() {
  if (!getLibIFace(&Warp3DBase, "Warp3D.library", 51, &IWarp3D)) {
    fprintf(stderr, "Could not open warp3d.library!\n");
    explainSetupFailure(W3D_LIBRARY_STEP, 0);
    return -1;
  }

  w3d_Flags = W3D_CheckDriver();
  if (w3d_Flags & W3D_DRIVER_UNAVAILABLE) {
    printf("PANIC: no driver available!!!\n");
    fflush(stdout);
    explainSetupFailure(W3D_DRIVER_STEP, 0);
    return -1;
  }

  chooseVideoDriver();
  uint32_t modeId = W3D_RequestModeTags({{W3D_SMR_TYPE, 4},
                                         {W3D_SMR_SIZEFILTER, 1},
                                         {W3D_SMR_DESTFMT, static_cast<uintptr_t>(-2)},
                                         {ASLSM_MinWidth, 640},
                                         {ASLSM_MaxWidth, 1280},
                                         {ASLSM_MinHeight, 480},
                                         {ASLSM_MaxHeight, 960}});
  if (modeId == W3D_NOMODE) {
    printf("Error: No ModeID found\n");
    fflush(stdout);
    explainSetupFailure(W3D_MODE_STEP, 0);
    return -1;
  }
  W3DGetDataModeId(modeId);

  int32_t screenError = 0;
  w3d_Screen = openScreen(modeId, 2 * SCREEN_HEIGHT, &screenError);
  if (!w3d_Screen) {
    printf("Unable to open screen. Reason: Error code %d\n", screenError);
    fflush(stdout);
    explainSetupFailure(W3D_SCREEN_STEP, screenError);
    return -1;
  }

  w3d_Window = openWindow(w3d_Screen);
  if (!w3d_Window) {
    printf("Unable to open window.\n");
    fflush(stdout);
    explainSetupFailure(W3D_WINDOW_STEP, 0);
    return -1;
  }
  w3d_BitMap = &w3d_Window->bitmap;

  // The palette (entry 0 black, 10 red) has no meaning on a true-colour
  // display: the erase colour is black by itself. Both halves start black.
  W3D_EraseHalf(w3d_BitMap, 0, nullptr);
  W3D_EraseHalf(w3d_BitMap, 1, nullptr);
  SDL_SetRenderTarget(w3d_Screen->renderer, nullptr);

  int32_t contextError = 0;
  w3d_Context = W3D_CreateContextTags(&contextError, {{W3D_CC_MODEID, modeId},
                                                      {W3D_CC_BITMAP, reinterpret_cast<uintptr_t>(w3d_BitMap)},
                                                      {W3D_CC_YOFFSET, 0},
                                                      {W3D_CC_DRIVERTYPE, 2},
                                                      {W3D_CC_DOUBLEHEIGHT, 1},
                                                      {W3D_CC_FAST, 1}});
  if (!w3d_Context || contextError != W3D_SUCCESS) {
    printf("Error creating context. Reason:%s\n", W3DErrorText(contextError, W3D_CONTEXT_STEP));
    fflush(stdout);
    explainSetupFailure(W3D_CONTEXT_SETUP_STEP, contextError);
    return -1;
  }

  W3D_SetState(w3d_Context, W3D_AUTOTEXMANAGEMENT, W3D_ENABLE);
  W3D_SetState(w3d_Context, W3D_FAST, W3D_ENABLE);
  W3D_SetState(w3d_Context, W3D_DITHERING, W3D_ENABLE);
  W3D_SetState(w3d_Context, W3D_GOURAUD, W3D_ENABLE);
  W3D_SetState(w3d_Context, W3D_BLENDING, W3D_ENABLE);
  W3D_SetBlendMode(w3d_Context, W3D_SRC_ALPHA, W3D_ONE_MINUS_SRC_ALPHA);
  W3D_SetFogParams(w3d_Context, &myFog, FogModes[CurrentFog]);
  W3D_SetState(w3d_Context, W3D_TEXMAPPING, W3D_ENABLE);
  W3D_Scissor scissor = {0, 0, static_cast<uint32_t>(SCREEN_WIDTH), static_cast<uint32_t>(SCREEN_HEIGHT)};
  W3D_SetDrawRegion(w3d_Context, w3d_BitMap, 0, &scissor);
  W3D_SetCurrentColor(w3d_Context, &ccol);

  // The screens draw their own pointer where they need one.
  SDL_ShowCursor(SDL_DISABLE);
  w3d_Window->pointerHidden = true;
  bufnum = 0;
  return 1;
}

void W3DAtCleanup(void (*release)()) {
  for (int i = 0; i < releaseCount; i++)
    if (releases[i] == release) return;
  if (releaseCount < CLEANUP_RELEASES) releases[releaseCount++] = release;
  else fprintf(stderr, "musicdisk: no room for another release at cleanup\n");
}

// Releases whatever is set, in reverse order of opening. Each handle is
// cleared once released, so that nothing can reach a closed resource and a
// second call (or a new setup) starts from nothing.
void W3DCleanup() {
  if (w3d_Window && w3d_Window->pointerHidden) {
    SDL_ShowCursor(SDL_ENABLE);
    w3d_Window->pointerHidden = false;
  }
  for (int i = releaseCount - 1; i >= 0; i--) releases[i]();
  if (w3d_Context) {
    W3D_DestroyContext(w3d_Context);
    w3d_Context = nullptr;
  }
  HARDWARELOCK = 0;
  if (w3d_Window) {
    closeWindow(w3d_Window);
    w3d_Window = nullptr;
    w3d_BitMap = nullptr;
  }
  if (w3d_Screen) {
    forgetWindowImage();
    // A window that another client destroyed cannot be closed (SDL would
    // wait for ever to see it unmapped), nor can a connection to a server
    // that went away (Xlib would end the process): both are left to the end
    // of the process.
    if (!xConnectionBroken()) closeScreen(w3d_Screen);
    w3d_Screen = nullptr;
  }
  if (Warp3DBase) {
    closeLibIFace(Warp3DBase);
    Warp3DBase = nullptr;
    IWarp3D = nullptr;
  }
}

int32_t W3DLockHardware(W3D_Context *context) {
  if (HARDWARELOCK) return 0;
  int32_t result = static_cast<int32_t>(W3D_LockHardware(context));
  if (result == 0) HARDWARELOCK = 1;
  return result;
}

void W3DUnLockHardware(W3D_Context *context) {
  W3D_UnLockHardware(context);
  HARDWARELOCK = 0;
}
