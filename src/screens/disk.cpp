// Drawing of the disk screen, in painting order: two bands of landscapes
// sliding back and forth, the scroller, the pulsing control panel, the song
// list centred on the current song, the loading overlay, the status lines,
// the pointer and its sparks. The screen is never erased: bands and panel
// cover it every frame.
#include <cmath>
#include <cstdio>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/text.h"
#include "draw/textures.h"
#include "music/music.h"
#include "music/volume.h"
#include "screens/disk.h"
#include "screens/effects.h"

int32_t fps = 0;

namespace {

void drawBands(int32_t t) {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  float tw = W / 3.0f;
  float o = (float)((std::sin(t / 1500.0) * 1.5 + 1.5) * tw);
  int k = (int)(o / tw);
  float f = o - tw * (float)k;
  float top = H / 10.0f;
  float middle = (float)(H / 10.0 + H * 4.5 / 10.0);
  float bottom = (float)(H / 10.0 + H * 9.0 / 10.0);
  for (int i = 0; i < 4; i++) {
    float xl = tw * (float)i - f, xr = tw * (float)(i + 1) - f;
    W3DTexturePolygon(UPPER_BAND_SLOT + k + i, xl, top, 0, 0.1f, 0.1f, xr, top, 0, 256, 0.1f, xr, middle, 0, 256, 256,
                      xl, middle, 0, 0.1f, 256, 1.0f);
    W3DTexturePolygon(LOWER_BAND_SLOT + k + i, xl, middle, 0, 0.1f, 0.1f, xr, middle, 0, 256, 0.1f, xr, bottom, 0, 256,
                      256, xl, bottom, 0, 0.1f, 256, 1.0f);
  }
}

void drawControlPanel(int32_t t) {
  int W = SCREEN_WIDTH;
  float H = (float)SCREEN_HEIGHT;
  float y = H / 20.0f, height = H / 10.0f;
  W3DTexturePolygonPosition(PANEL_SLOT, (float)(W / 2 + W / -12.0), y, 0, (float)(W / 3), height, 0, 0, 256, 71, 1.0f,
                            1.0f);
  PanelPiece meter = meterPanelPiece();
  W3DTexturePolygonPosition(PANEL_SLOT, meter.x, meter.y, 0, meter.width, meter.height, meter.uLeft, meter.vTop,
                            meter.uRight, meter.vBottom, 1.0f, 1.0f);
  W3DTexturePolygonPosition(PANEL_SLOT, (float)(W * 0.125), y, 0, (float)(W / 4), height, 0, 142, 256, 212,
                            (float)((std::sin(t / 1000.0) + 1) * 0.5), 1.0f);
  W3DTexturePolygonPosition(PANEL_SLOT, (float)(W - W * 0.125), y, 0, (float)(W / 4), height, 128, 71, 256, 142,
                            (float)((std::sin(t / -1000.0) + 1) * 0.5), 1.0f);
}

// Returns the list's centre, which the placing line shows too.
int32_t drawSongList(const DiskState *state) {
  static const float alphas[5] = {0.05f, 0.15f, 1.0f, 0.15f, 0.05f};
  int32_t centre = currentSong.load() + state->listOffset;
  // A disk of fewer than five songs shows each of them once.
  for (int d = -2; d <= 2; d++)
    if (d >= -(numberOfSongs - 1) / 2 && d <= numberOfSongs / 2)
      W3DWriteText(songLine(songRow(centre + d)), 5 + d, 1, alphas[d + 2]);
  return centre;
}

void drawPointer() {
  float W = (float)SCREEN_WIDTH, H = (float)SCREEN_HEIGHT;
  float x = w3d_Screen ? w3d_Screen->MouseX : 0, y = w3d_Screen ? w3d_Screen->MouseY : 0;
  W3DTexturePolygonPosition(FONT_SLOT, x, y, 1.0f, W / 80.0f, H / 60.0f, 128, 32, 160, 64, 1.0f, 1.0f);
}

// A changed volume shows under the song list for a moment, fading at the end.
void drawVolume(int64_t nowMs) {
  int64_t since = nowMs - volumeChangedAtMs();
  if (volumeChangedAtMs() < 0 || since < 0 || since >= VOLUME_SHOWN_MS) return;
  char text[32];
  snprintf(text, sizeof text, "VOLUME %d%%", static_cast<int>((musicVolume.load() + 5) / 10));
  float fade = static_cast<float>(VOLUME_SHOWN_MS - since) / 500.0f;
  W3DWriteText(text, 9, 1, fade < 1.0f ? fade : 1.0f);
}

}  // namespace

PanelPiece meterPanelPiece() {
  int W = SCREEN_WIDTH;
  float H = (float)SCREEN_HEIGHT;
  return {(float)(W / 2 + W / 6.0 - 1), H / 20.0f, (float)(W / 6 + 2), H / 10.0f, 0, 71, 127, 142};
}

void diskDraw(DiskState *state) {
  int32_t t = state->t;
  drawBands(t);
  W3DText(t);
  drawControlPanel(t);
  drawMeter(state);
  int32_t centre = drawSongList(state);
  if (diskFlash(t)) state->listOffset = 0;
  if (fps) W3DFrameRate(29, 1.0f);
  if (state->showPlacing)
    W3DWriteText(songPlacing(songRow(centre)), 29 - fps, 0, 1.0f);
  if (state->stopped) W3DWriteText("STOPPED", 29, 1, 1.0f);
  if (state->paused) W3DWriteText("PAUSED", 29, 1, 1.0f);
  drawVolume(state->nowMs);
  drawPointer();
  moveSparks(state->starGravity);
}
