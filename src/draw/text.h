// Text from the glyph sheet in FONT_SLOT: lines on the 40-column grid and
// the waving scroller along the bottom of the screen.
#pragma once

#include <cstdint>

extern const char scrolltext[];
extern int loop;  // how often the scroller has wrapped; only grows
// The message the scroller shows: scrolltext, another of the same form
// (codes 32-95 and a-z, a window of 21 blanks at each end), or null for
// none.
extern const char *scrollMessage;

int W3DWriteText(const char *text, int row, int centre, float alpha);
int W3DText(int t);
// The frame counter of the disk screen: the rate as a text line on row.
int32_t W3DFrameRate(int32_t row, float alpha);
