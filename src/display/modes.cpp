// Display modes: the 4:3 size the screen opens at, chosen to fit the
// desktop, and the IDs that name such sizes.
#include <SDL.h>

#include "display/display.h"

namespace {
// High bits of every mode ID given out here.
constexpr uint32_t MODE_ID_TAG = 0x40000000u;
}  // namespace

uint32_t W3D_ModeId(int32_t width, int32_t height) {
  if (width <= 0 || height <= 0 || width > 4095 || height > 4095) return W3D_NOMODE;
  return MODE_ID_TAG | static_cast<uint32_t>(width) << 12 | static_cast<uint32_t>(height);
}

bool W3D_GetModeNominal(uint32_t modeId, W3D_ModeRect *rect) {
  if (modeId == W3D_NOMODE || (modeId & 0xFF000000u) != MODE_ID_TAG || !rect) return false;
  int32_t width = (modeId >> 12) & 0xFFF, height = modeId & 0xFFF;
  if (width == 0 || height == 0) return false;
  rect->MinX = 0;
  rect->MinY = 0;
  rect->MaxX = static_cast<int16_t>(width - 1);
  rect->MaxY = static_cast<int16_t>(height - 1);
  return true;
}

// The largest 4:3 size inside the requested bounds that fits the desktop.
// Sizes are multiples of 8 x 6, which all the usual ones (640 x 480,
// 800 x 600, 1024 x 768, 1280 x 960) are.
uint32_t W3D_RequestModeTags(std::initializer_list<W3D_Tag> tags) {
  int32_t minWidth = static_cast<int32_t>(w3d_TagValue(tags, ASLSM_MinWidth, 0));
  int32_t maxWidth = static_cast<int32_t>(w3d_TagValue(tags, ASLSM_MaxWidth, 4095));
  int32_t minHeight = static_cast<int32_t>(w3d_TagValue(tags, ASLSM_MinHeight, 0));
  int32_t maxHeight = static_cast<int32_t>(w3d_TagValue(tags, ASLSM_MaxHeight, 4095));
  if (maxWidth > 4095) maxWidth = 4095;
  if (maxHeight > 4095) maxHeight = 4095;

  int64_t height = maxHeight;
  if (maxWidth * 3 / 4 < height) height = maxWidth * 3 / 4;
  // With no display to measure there is no desktop to fit: the request is
  // answered with its smallest size, and opening the screen will tell.
  bool measured = false;
  if (SDL_InitSubSystem(SDL_INIT_VIDEO) == 0) {
    SDL_DisplayMode desktop;
    if (SDL_GetDesktopDisplayMode(0, &desktop) == 0 && desktop.w > 0 && desktop.h > 0) {
      if (desktop.h < height) height = desktop.h;
      if (int64_t(desktop.w) * 3 / 4 < height) height = int64_t(desktop.w) * 3 / 4;
      measured = true;
    }
    SDL_QuitSubSystem(SDL_INIT_VIDEO);
  }
  if (!measured) {
    height = minHeight;
    if ((minWidth * 3 + 3) / 4 > height) height = (minWidth * 3 + 3) / 4;
    height = (height + 5) / 6 * 6;
  }
  height -= height % 6;
  int64_t width = height * 4 / 3;
  if (height <= 0 || height < minHeight || width < minWidth || height > maxHeight || width > maxWidth)
    return W3D_NOMODE;
  return W3D_ModeId(static_cast<int32_t>(width), static_cast<int32_t>(height));
}
