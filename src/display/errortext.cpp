// The library's error words as text, in one table for both steps that
// report them: creating the context and making a texture. The two word an
// illegal input, and a word they do not expect, each in their own way.
#include "display/display.h"

namespace {

struct ErrorText {
  int32_t error;
  const char *context;  // null: not a word the context step reports
  const char *texture;  // null: not a word the texture step reports
};

const ErrorText errorTexts[] = {
    {W3D_ILLEGALINPUT, "Illegal input to CreateContext function", "Illegal input"},
    {W3D_NOMEMORY, "Out of memory", "Out of memory"},
    {W3D_NODRIVER, "No suitable driver found", nullptr},
    {W3D_ILLEGALBITMAP, "Supplied bitmap cannot be handled by Warp3D", nullptr},
    {W3D_NOTVISIBLE, "Supplied bitmap not properly initialized", nullptr},
    {W3D_UNSUPPORTEDTEXSIZE, nullptr, "Unsupported texture size"},
    {W3D_NOPALETTE, nullptr, "Chunky texture without palette specified"},
    {W3D_UNSUPPORTEDTEXFMT, nullptr, "Texture format not supported"},
};

}  // namespace

const char *W3DErrorText(int32_t error, W3DErrorStep step) {
  for (const ErrorText &text : errorTexts) {
    const char *said = step == W3D_CONTEXT_STEP ? text.context : text.texture;
    if (text.error == error && said) return said;
  }
  // Also success with no object to show for it.
  return step == W3D_CONTEXT_STEP ? "An error has occured... gosh" : "ahem... An error has occured";
}
