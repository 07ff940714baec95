// The display: the screen with its two frame halves, the 3D context, the
// hardware lock, the frame cycle, the time base and input messages.
//
// Owns the display globals below. W3DSetup opens everything once;
// W3DCleanup releases, in reverse order, whatever is set: the pointer, what
// the parts above registered (the music handler task, the twenty textures),
// the context, the window, the screen. Drawing itself (the batch, textures,
// text) belongs to draw/.
#pragma once

#include <cstdint>

#include "warp3d/warp3d.h"

// Input classes and codes of a window message.
constexpr uint32_t IDCMP_MOUSEBUTTONS = 0x8;
constexpr uint32_t IDCMP_MOUSEMOVE = 0x10;
constexpr uint32_t IDCMP_DELTAMOVE = 0x100000;
constexpr uint32_t IDCMP_CLOSEWINDOW = 0x200;
constexpr uint32_t IDCMP_RAWKEY = 0x400;
constexpr uint16_t SELECTDOWN = 0x68;
constexpr uint16_t SELECTUP = 0xE8;
constexpr uint16_t MENUDOWN = 0x69;
constexpr uint16_t MENUUP = 0xE9;
constexpr uint16_t IECODE_UP_PREFIX = 0x80;
// The keyboard's media Play/Pause key: whether it plays or pauses depends on
// the screen's state, so the window reports it as a key of its own (beyond
// the numbers the disk screen reads as they are). The media Stop, Next and
// Previous keys arrive as S, cursor down and cursor up.
constexpr uint16_t RAWKEY_MEDIA_PLAY_PAUSE = 0x73;

// One input message of the window. Only Class and Code are read by the
// screens; every message taken with W3DGetMsg goes back with ReplyMsg.
struct IntuiMessage {
  uint32_t Class;
  uint16_t Code;
  int16_t MouseX, MouseY;  // pointer position when the message was made
};

struct SDL_Window;

// The system's own screen: a full-screen window (desktop size) on which one
// half of the double-height bitmap is shown at a time, scaled with its
// aspect kept. MouseX/MouseY: the pointer in the logical SCREEN_WIDTH x
// SCREEN_HEIGHT pixels, clamped to the picture.
struct W3D_Screen {
  int16_t MouseX, MouseY;
  SDL_Window *window;
  SDL_Renderer *renderer;
  int32_t width, height;  // the screen: width x 2 * SCREEN_HEIGHT
  int32_t refreshRate;    // of the display the window is on, Hz
  bool vsync;             // the renderer waits for the display at present
  bool cpuDrawing;        // the halves are drawn on the CPU (no GPU to draw them)
  int32_t shownHalf;      // the half last shown: 0 upper, 1 lower, -1 none yet
  bool fullScreen;        // covers the display (else a window of one half's size)
};
// The window: the input messages and the bitmap of both halves
// (display/window.h).
struct W3D_Window;

extern int32_t SCREEN_WIDTH;   // pixels per row of one half; 0 until set
extern int32_t SCREEN_HEIGHT;  // rows of one half; 0 until set
extern void *Warp3DBase;  // the opened library
extern void *IWarp3D;     // its main interface
extern uint32_t w3d_Flags;
extern W3D_Screen *w3d_Screen;
extern W3D_Window *w3d_Window;
extern W3D_Bitmap *w3d_BitMap;
extern W3D_Context *w3d_Context;
extern int32_t HARDWARELOCK;  // 1 while the system holds the lock
extern bool w3d_StartWindowed;  // open the screen as a window, not full screen

// Display modes and the drawing path (modes.cpp, gpuprobe.cpp).
// The largest 4:3 mode inside the ASLSM_ bounds of tags that fits the
// desktop; W3D_NOMODE when none does.
uint32_t W3D_RequestModeTags(std::initializer_list<W3D_Tag> tags);
// Fills rect for a mode ID that W3D_RequestModeTags gave; false otherwise.
bool W3D_GetModeNominal(uint32_t modeId, W3D_ModeRect *rect);
// The ID of the mode of that size (tests use it to ask for a given size).
uint32_t W3D_ModeId(int32_t width, int32_t height);
// Whether drawing for this renderer is better done on the CPU: true for
// SDL's software renderer and for OpenGL that is itself a CPU rasteriser
// (Mesa's llvmpipe, softpipe, swrast).
bool W3D_IsCpuRasteriser(SDL_Renderer *renderer);
// Whether the machine has a GPU device that OpenGL could use (a DRM node or
// NVIDIA's device); without one, OpenGL can only rasterise on the CPU.
bool W3D_GpuDevicePresent();
// Overrides the choice of the display: 0 the GPU path (OpenGL) always, 1 CPU
// drawing always, -1 (the default) as the machine and renderer say.
extern int W3D_CpuDrawing;

// Setup and teardown.
// Opens a library of at least that version and its main interface: 1, or 0
// after one line of text. Both places are always written.
int getLibIFace(void **base, const char *name, int version, void **iface);
// Closes a library that getLibIFace opened (null is ignored).
void closeLibIFace(void *base);
void W3DGetDataModeId(uint32_t modeId);
int32_t W3DSetup();
void W3DCleanup();
// Releases of the parts above the display that must run before the context
// goes (a texture object needs its context, the music handler may still be
// talking to a player). Each is registered once (a second registration is
// ignored) and stays registered; W3DCleanup runs them newest first, after the
// pointer is given back. A release must cope with having nothing to release.
constexpr int CLEANUP_RELEASES = 4;
void W3DAtCleanup(void (*release)());
int32_t W3DLockHardware(W3D_Context *context);
// The step that met a library error word: the two report it in their own words.
enum W3DErrorStep { W3D_CONTEXT_STEP, W3D_TEXTURE_STEP };
// The reason text of a library error word, as that step reports it.
const char *W3DErrorText(int32_t error, W3DErrorStep step);
void W3DUnLockHardware(W3D_Context *context);

// The frame cycle.
extern int32_t bufnum;  // the half shown: 0 upper, 1 lower
extern int32_t frames;  // frames shown on the disk screen
void W3DSwitchBuffer();
void W3DClearWindow(int32_t fullClear);
IntuiMessage *W3DGetMsg();
void ReplyMsg(IntuiMessage *message);
// Hundredths of a second since the last reset (status 1 resets). The base
// runs on the monotonic clock; before the first reset the value is the
// wall-clock time in hundredths (the random seed).
int32_t getTimeWithStatus(int32_t status);
int32_t getTime();
extern uint32_t startSec;   // seconds of the time base
extern uint32_t startUSec;  // hundredths of the time base
// The frame counter's text for time value now ("%03d FPS"), the rate
// updated when a whole second of the time base has passed.
void frameRateText(int32_t now, char *text, int size);

// True once the window manager asked the window to close, or Ctrl+C or
// SIGTERM arrived: the program then ends the orderly way.
bool W3DCloseRequested();
// True once the X server went away under the program: it then ends the
// orderly way, with the exit value -1.
bool W3DDisplayLost();
