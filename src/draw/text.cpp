// Text from the glyph sheet in FONT_SLOT: lines on a grid of 40 columns,
// and the scroller that waves along the bottom of the screen. Both only
// append quads to the batch; the screen size comes from the display.
#include "draw/text.h"

#include <cmath>
#include <cstring>

#include "display/display.h"
#include "draw/batch.h"
#include "draw/textures.h"

// The scroller's message: a greeting of 2386 characters that begins and ends
// with a window of 21 blanks, so that it scrolls in onto an empty line and
// out to one. Codes 32-95 and lower-case letters only (shown as capitals);
// the cells of "$", "*", "+" and "," hold pictures, so they are not used.
const char scrolltext[] =
    "                     hello and welcome to velmo - the orbel musicdisk! this production brings you "
    "all fifteen entries of the orbel msx competition in one place: painted landscapes - falling sparks "
    "- and a wobbly scroller that refuses to sit still. grab a cup of something warm; turn the volume up "
    "and let the music do the talking...   first a quick guide to the controls: cursor up plays the "
    "previous song and cursor down the next one. cursor right plays; cursor left pauses. press s to stop "
    "the music. press i to see how the current song placed in the competition and f to show or hide the "
    "frame counter. the keys 1 to 0 set the gravity of the sparks that fall from your pointer (a gentle "
    "float on 1 - a heavy shower on 0) and f1 to f10 choose how many sparks there are: from ten up to a "
    "hundred. the four buttons at the top of the screen do the same as the cursor keys. esc quits and "
    "alt-enter switches between full screen and a window. that is all - now sit back and listen!   a "
    "huge thank you to every entrant of orbel. fifteen songs - fifteen little worlds: chip tunes and big "
    "tracker anthems; dreamy ambient pieces and tunes that make the foot tap by itself. you made this "
    "disk and it was a pure joy to put it together. whether your song placed first or fifteenth: you "
    "finished a tune and sent it in - and that is what counts. keep making music!   a deep bow to the "
    "jury who listened to every entry more times than is healthy; wrote down their points with care and "
    "still smiled at the end. thank you for your time and your ears - we owe you a round of your "
    "favourite drink.   greetings fly out to all the musicians - pixel pushers and coders of the "
    "scene... to everybody who makes music for the love of it; to the trackers and the mp3 people alike; "
    "to those who compose at three in the morning and those who tweak one snare drum for a whole "
    "weekend; to the demo groups - the party organisers and the disk mag editors; and to every lurker "
    "who reads this far and never says hello - hello to you too!   hugs to our friends and families who "
    "heard the same sixteen bars looping through the wall for weeks and only complained a little. you "
    "are the real heroes here.   this was velmo - the orbel musicdisk - made with love; too much coffee "
    "and not enough sleep. see you at the next competition!! the scroller now takes a deep breath and "
    "starts all over again... bye!                     ";
static_assert(sizeof scrolltext == 2386 + 1, "the greeting is 2386 characters");

int loop;
const char *scrollMessage = scrolltext;

namespace {

constexpr int GLYPH_TEXELS = 32;   // a glyph cell is 32 x 32 texels
constexpr int GLYPHS_PER_ROW = 8;  // 8 x 8 cells on the sheet
constexpr int TEXT_COLUMNS = 40;   // characters across the screen
constexpr int SCROLL_WINDOW = 21;  // characters the scroller shows at once
constexpr int SCROLL_STEP = 50;    // hundredths of a second per character

struct GlyphCell {
  float uLeft, vTop, uRight, vBottom;  // texels on the sheet
};

// Cell g shows code 32 + g; lower-case letters show as their capitals.
GlyphCell glyphCell(unsigned char c) {
  int index = c >= 'a' && c <= 'z' ? c - 64 : c - 32;
  int row = index / GLYPHS_PER_ROW;
  int column = index - GLYPHS_PER_ROW * row;
  float u = float(GLYPH_TEXELS * column), v = float(GLYPH_TEXELS * row);
  return {u, v, u + GLYPH_TEXELS, v + GLYPH_TEXELS};
}

}  // namespace

int W3DWriteText(const char *text, int row, int centre, float alpha) {
  int length = int(strlen(text));
  double size = SCREEN_WIDTH / 40.0;  // glyphs are square; rows are one glyph apart
  double offset = centre == 1 ? size * (TEXT_COLUMNS - length) * 0.5 : 0.0;
  double y = size * row + SCREEN_WIDTH / 75.0;
  for (int i = 0; i < length; i++) {
    GlyphCell cell = glyphCell((unsigned char)text[i]);
    double x = offset + size * i + SCREEN_WIDTH / 75;
    W3DTexturePolygonPosition(FONT_SLOT, float(x), float(y), 0.1f, float(size), float(size), cell.uLeft, cell.vTop,
                              cell.uRight, cell.vBottom, 1.0f, alpha);
  }
  return 0;
}

int W3DText(int t) {
  if (!scrollMessage) return 0;
  int length = int(strlen(scrollMessage));
  int first = t / SCROLL_STEP - (length - SCROLL_WINDOW) * loop;
  if (first + SCROLL_WINDOW > length) {
    // The window has run off the end: the next call starts over near the
    // beginning of the message.
    loop++;
    return 0;
  }
  // A clock behind the current lap (it was reset after a wrap) shows
  // nothing rather than reading before the message.
  if (first < 0) return 0;

  int cell = SCREEN_WIDTH / 20;
  float shift = float(cell * (t % SCROLL_STEP)) / -50.0f;
  double top = SCREEN_HEIGHT - SCREEN_WIDTH / 10.0;
  for (int i = 0; i < SCROLL_WINDOW; i++) {
    unsigned char c = (unsigned char)scrollMessage[first + i];
    if (c == ' ') continue;
    float left = float(cell * i) + shift;
    float right = float(cell * (i + 1)) + shift;
    // Each edge rides its own point of the wave, so letters tilt with it
    // and neighbours share the height of their common edge.
    // Whole numbers, taken in double so that a clock of months cannot
    // overflow them.
    double phaseLeft = (68.0 * (first + i) - 2.0 * t) / 100.0;
    double phaseRight = (68.0 * (first + i + 1) - 2.0 * t) / 100.0;
    double waveLeft = SCREEN_HEIGHT * std::sin(phaseLeft) / 25.0;
    double waveRight = SCREEN_HEIGHT * std::sin(phaseRight) / 25.0;
    GlyphCell g = glyphCell(c);
    W3DTexturePolygon(FONT_SLOT,
                      left, float(top + waveLeft), 0.0f, g.uLeft, g.vTop,               // A
                      right, float(top + waveRight), 0.0f, g.uRight, g.vTop,            // B
                      right, float(top + cell + waveRight), 0.0f, g.uRight, g.vBottom,  // C
                      left, float(top + cell + waveLeft), 0.0f, g.uLeft, g.vBottom,     // D
                      1.0f);
  }
  return 0;
}
