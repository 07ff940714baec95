// Folding outside text onto the glyph sheet: UTF-8 decoded by hand (a bad
// byte is one "?", never a crash or a skipped letter), Latin-1 and Latin
// Extended-A letters to their base letter, everything else the sheet cannot
// show to "?".
#include "draw/textfold.h"

#include <cstdint>
#include <cstring>

namespace {

// U+00C0 to U+00FF, then U+0100 to U+017F: the base letter of each.
const char LATIN1_BASE[] = "AAAAAAACEEEEIIIIDNOOOOO?OUUUUY?SAAAAAAACEEEEIIIIDNOOOOO?OUUUUY?Y";
const char LATIN_A_BASE[] =
    "AAAAAACCCCCCCCDDDDEEEEEEEEEEGGGGGGGGHHHHIIIIIIIIIIIIJJKKKLLLLLLLLLLNNNNNNNNNOOOOOOOORRRRRRSSSSSSSSTTTTTTUUUUUUUUUUUU"
    "WWYYYZZZZZZS";
static_assert(sizeof LATIN1_BASE == 64 + 1 && sizeof LATIN_A_BASE == 128 + 1, "one letter per code point");

}  // namespace

int32_t nextCodePoint(const unsigned char *text, size_t *at) {
  unsigned char lead = text[*at];
  int extra = lead < 0x80 ? 0 : (lead & 0xE0) == 0xC0 ? 1 : (lead & 0xF0) == 0xE0 ? 2 : (lead & 0xF8) == 0xF0 ? 3 : -1;
  if (extra < 0) {
    (*at)++;
    return -1;
  }
  int32_t code = extra == 0 ? lead : lead & (0x3F >> extra);
  for (int i = 1; i <= extra; i++) {
    if ((text[*at + i] & 0xC0) != 0x80) {
      (*at)++;
      return -1;
    }
    code = (code << 6) | (text[*at + i] & 0x3F);
  }
  static const int32_t SMALLEST[] = {0, 0x80, 0x800, 0x10000};
  if (code < SMALLEST[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) {
    (*at)++;
    return -1;
  }
  *at += size_t(extra) + 1;
  return code;
}

namespace {

char glyphFor(int32_t code) {
  if (code >= 'a' && code <= 'z') return char(code - 32);
  if (code == ',') return '.';
  if (code == '$' || code == '*' || code == '+') return '?';
  if (code >= 32 && code <= 95) return char(code);
  if (code >= 0xC0 && code <= 0xFF) return LATIN1_BASE[code - 0xC0];
  if (code >= 0x100 && code <= 0x17F) return LATIN_A_BASE[code - 0x100];
  if (code == 0xA0) return ' ';
  if (code >= 0x2010 && code <= 0x2015) return '-';
  if (code >= 0x2018 && code <= 0x201B) return '\'';
  if (code >= 0x201C && code <= 0x201F) return '"';
  return '?';
}

}  // namespace

std::string foldForFont(const char *text, size_t most) {
  std::string folded;
  const unsigned char *bytes = (const unsigned char *)text;
  for (size_t at = 0; bytes[at];) folded += glyphFor(nextCodePoint(bytes, &at));
  size_t mark = strlen(FOLD_CUT_MARK);
  if (most > mark && folded.size() > most) folded = folded.substr(0, most - mark) + FOLD_CUT_MARK;
  return folded;
}

std::string cleanUtf8(const char *text) {
  std::string clean;
  const unsigned char *bytes = (const unsigned char *)text;
  for (size_t at = 0; bytes[at];) {
    size_t start = at;
    if (nextCodePoint(bytes, &at) < 0)
      clean += "\xEF\xBF\xBD";
    else
      clean.append(text + start, at - start);
  }
  return clean;
}
