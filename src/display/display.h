// The display: the screen with its two frame halves, the 3D context, the
// hardware lock, the frame cycle, the time base and input messages.
//
// Owns the display globals below. W3DSetup opens everything once;
// W3DCleanup releases, in reverse order, whatever is set: the pointer, the
// music handler task, the twenty textures, the context, the window, the
// screen. Drawing itself (the batch, textures, text) belongs to draw/.
#pragma once

#include <cstdint>

#include "platform/warp3d.h"

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

// One input message of the window. Only Class and Code are read by the
// screens; every message taken with W3DGetMsg goes back with ReplyMsg.
struct IntuiMessage {
  uint32_t Class;
  uint16_t Code;
  int16_t MouseX, MouseY;  // pointer position when the message was made
};

// The system's own screen. MouseX/MouseY: the pointer in the logical
// SCREEN_WIDTH x SCREEN_HEIGHT pixels, clamped to the picture.
struct W3D_Screen {
  int16_t MouseX, MouseY;
};
struct W3D_Window;

extern int32_t SCREEN_WIDTH;   // pixels per row of one half; 0 until set
extern int32_t SCREEN_HEIGHT;  // rows of one half; 0 until set
extern uint32_t w3d_Flags;
extern W3D_Screen *w3d_Screen;
extern W3D_Window *w3d_Window;
extern W3D_Bitmap *w3d_BitMap;
extern W3D_Context *w3d_Context;
extern int32_t HARDWARELOCK;  // 1 while the system holds the lock

// Setup and teardown.
int getLibIFace(void **base, const char *name, int version, void **iface);
void W3DGetDataModeId(uint32_t modeId);
int32_t W3DSetup();
void W3DCleanup();
int32_t W3DLockHardware(W3D_Context *context);
void W3DUnLockHardware(W3D_Context *context);

// The frame cycle.
extern int32_t bufnum;  // the half shown: 0 upper, 1 lower
extern int32_t frames;  // frames shown on the disk screen
void W3DSwitchBuffer();
void W3DClearWindow(int32_t fullClear);
IntuiMessage *W3DGetMsg();
void ReplyMsg(IntuiMessage *message);
int32_t getTimeWithStatus(int32_t status);
int32_t getTime();
int32_t W3DFrameRate(int32_t row, float alpha);

// True once the window manager asked the window to close, or Ctrl+C or
// SIGTERM arrived: the program then ends the orderly way.
bool W3DCloseRequested();
