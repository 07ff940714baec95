// The disk screen: its drawing (bands, scroller, control panel, song list,
// overlay, status lines, pointer, sparks) and its control (song starts, keys
// and buttons). One pass is a function of the time and one message, so a
// test can drive it with its own clock and input.
#pragma once

#include <cstdint>

struct IntuiMessage;

struct DiskState {
  int32_t listOffset;  // added to currentSong for the list: 0, -1 or 2
  bool paused;         // "PAUSED" shown
  bool stopped;        // "STOPPED" shown; pause does not toggle while set
  bool showPlacing;    // placing line shown
  bool quitRequested;  // Esc taken in this pass
  float starGravity;   // added to each spark's dy per frame, 0.001..0.010
  int32_t t;           // the pass's time, hundredths of a second
  int64_t nowMs;       // the pass's monotonic time, ms: the player watch's clock
  int64_t lastFrameMs;      // monotonic time the latest frame was shown, ms (0: none yet)
  int64_t longestFrameGapMs;  // longest time between two frames shown, ms
};

extern int32_t fps;  // 1: the frame counter is shown

// Raw key numbers the disk screen acts on.
constexpr uint16_t KEY_1 = 0x01;
constexpr uint16_t KEY_0 = 0x0A;
constexpr uint16_t KEY_I = 0x17;
constexpr uint16_t KEY_S = 0x21;
constexpr uint16_t KEY_F = 0x23;
constexpr uint16_t KEY_ESC = 0x45;
constexpr uint16_t KEY_UP = 0x4C;
constexpr uint16_t KEY_DOWN = 0x4D;
constexpr uint16_t KEY_RIGHT = 0x4E;
constexpr uint16_t KEY_LEFT = 0x4F;
constexpr uint16_t KEY_F1 = 0x50;
constexpr uint16_t KEY_F10 = 0x59;
// The volume: minus and the key right of it (plus on many layouts), and
// the keypad's; moving within the song: comma back, full stop on.
constexpr uint16_t KEY_MINUS = 0x0B;
constexpr uint16_t KEY_PLUS = 0x0C;
constexpr uint16_t KEY_PAD_MINUS = 0x4A;
constexpr uint16_t KEY_PAD_PLUS = 0x5E;
constexpr uint16_t KEY_COMMA = 0x38;
constexpr uint16_t KEY_PERIOD = 0x39;
// How far comma and full stop move (ms).
constexpr int32_t SEEK_STEP_MS = 5000;

// The loop's state on entry, with t the time read after the last reset.
void diskEnter(DiskState *state, int32_t t);
// Starts the player for the current song once a change is due (uses the
// previous pass's t).
void diskSongStart(DiskState *state);
// Acts on one input message.
void diskInput(DiskState *state, const IntuiMessage *message);
// Queues the whole frame.
void diskDraw(DiskState *state);
// The control panel's piece right of the buttons, which holds the level
// meter: its centre and size on the screen, and its texel rectangle in the
// panel picture. The panel and the meter's lamps are both drawn with it.
struct PanelPiece {
  float x, y, width, height;
  float uLeft, vTop, uRight, vBottom;
};
PanelPiece meterPanelPiece();
// Queues the control panel's lit lamps (screens/meter.cpp).
void drawMeter(const DiskState *state);
// One pass without the frame cycle: song start, time, input, drawing.
// Returns true when the loop is to end after this frame.
bool diskPass(DiskState *state, int32_t t, const IntuiMessage *message);

// One frame of the disk loop: time (t and nowMs), one message, the pass,
// the frame shown.
// Keeps the longest gap between frames. True when the loop is to end.
bool diskFrame(DiskState *state);
// Runs the disk screen until Esc (or the program is asked to end).
void runDisk(int32_t startTime);
