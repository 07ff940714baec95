// The frame counter on the disk screen: the rate as a text line.
#include "display/display.h"
#include "draw/text.h"

int32_t W3DFrameRate(int32_t row, float alpha) {
  char text[32];
  frameRateText(getTime(), text, sizeof text);
  W3DWriteText(text, row, 0, alpha);
  return 0;
}
