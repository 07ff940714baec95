// Text from outside the program (file names, tags, a disk's own texts) made
// fit for the glyph sheet, which holds codes 32 to 95 and shows lower case
// as capitals: accented Latin letters become their base letter, typographic
// dashes and quotes their plain ones, the cells that hold pictures instead
// of glyphs ("$", "*", "+", ",") and everything else the sheet cannot show
// become "?" ("," a "."), and bytes that are not UTF-8 one "?" each.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Characters across a text line of the font.
constexpr size_t FONT_LINE_COLUMNS = 40;
// The mark that ends a text cut to fit.
constexpr char FOLD_CUT_MARK[] = "...";

// text folded for the font; longer than most characters, it is cut and ends
// in FOLD_CUT_MARK (most 0: never cut).
std::string foldForFont(const char *text, size_t most);
// The next code point of text at *at (moved past it); -1 for a byte that
// does not start a well-formed sequence (only that byte is taken).
int32_t nextCodePoint(const unsigned char *text, size_t *at);
// text as valid UTF-8 (for the desktop): each bad byte becomes U+FFFD.
std::string cleanUtf8(const char *text);
