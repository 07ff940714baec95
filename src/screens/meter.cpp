// The level meter on the disk screen's control panel: five columns of six
// lamps right of the buttons, one column a frequency band, low to high.
//
// The panel picture holds the meter with every lamp dark; a copy of the
// meter's area with every lamp lit lies METER_LIT_ROWS texel rows lower in
// the same picture, in rows no panel piece shows. A lit lamp is its cell of
// that copy drawn over its place on the panel piece, with the piece's own
// mapping from texels to the screen, so it keeps the lamp's place, size and
// colours at any screen size. Paused, stopped or loading, no lamp is drawn;
// the levels themselves come from the player (music/levels.h).
#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"
#include "music/levels.h"
#include "music/music.h"
#include "screens/disk.h"

namespace {

// The lamps' cells in texels of the panel picture: the lower left lamp's
// left and bottom edges, and the steps between columns and rows. A cell
// reaches halfway into the gaps around its lamp, so the cells of a column
// touch and its lamp's soft edge is in it.
constexpr float METER_LEFT_U = 74.48f;
constexpr float METER_COLUMN_U = 7.526f;
constexpr float METER_BOTTOM_V = 121.44f;
constexpr float METER_ROW_V = 5.325f;
// Where the lit copy lies: this many texel rows below the meter.
constexpr float METER_LIT_ROWS = 126.0f;

}  // namespace

void drawMeter(const DiskState *state) {
  if (state->paused || state->stopped || loadingSong.load() != 0) return;
  int lamps[LEVEL_BANDS];
  meterLamps(state->nowMs, lamps);
  // The piece's mapping from texels to the screen, as the panel draws it.
  PanelPiece piece = meterPanelPiece();
  float pieceLeft = piece.x - piece.width * 0.5f, pieceTop = piece.y - piece.height * 0.5f;
  float xPerU = piece.width / (piece.uRight - piece.uLeft), yPerV = piece.height / (piece.vBottom - piece.vTop);
  for (int b = 0; b < LEVEL_BANDS; b++) {
    float u0 = METER_LEFT_U + METER_COLUMN_U * (float)b, u1 = u0 + METER_COLUMN_U;
    for (int k = 0; k < lamps[b]; k++) {
      float v1 = METER_BOTTOM_V - METER_ROW_V * (float)k, v0 = v1 - METER_ROW_V;
      W3DTexturePolygonPosition(PANEL_SLOT, pieceLeft + ((u0 + u1) * 0.5f - piece.uLeft) * xPerU,
                                pieceTop + ((v0 + v1) * 0.5f - piece.vTop) * yPerV, 0, (u1 - u0) * xPerU,
                                (v1 - v0) * yPerV, u0, v0 + METER_LIT_ROWS, u1, v1 + METER_LIT_ROWS, 1.0f, 1.0f);
    }
  }
}
