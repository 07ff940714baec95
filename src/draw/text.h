// Text from the glyph sheet in FONT_SLOT: lines on the 40-column grid and
// the waving scroller along the bottom of the screen.
#pragma once

#include <cstdint>

extern const char scrolltext[];
extern int loop;  // how often the scroller has wrapped; only grows

int W3DWriteText(const char *text, int row, int centre, float alpha);
int W3DText(int t);
// The frame counter of the disk screen: the rate as a text line on row.
int32_t W3DFrameRate(int32_t row, float alpha);
