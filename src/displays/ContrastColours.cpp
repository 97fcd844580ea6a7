#include "displays/ContrastColours.h"

#include <cstdlib>

namespace kv {

tColour TextHighlight = MakeColour(0, 64, 128);
tColour TextMain = MakeColour(0, 0, 0);
tColour TextDim = MakeColour(64, 64, 64);
tColour TextShadow = MakeColour(224, 224, 224);

void PickContrastColours(const Canvas& canvas, int x, int y) {
  // ClrInvalid outside the image has all colour bytes at 255: white.
  const tColour pixel = canvas.GetPixel(x, y);
  const int luma = ((66 * RedOf(pixel) + 129 * GreenOf(pixel) + 25 * BlueOf(pixel) + 128) >> 8) + 16;
  const bool dark = std::abs(luma - 211) > std::abs(luma - 61);
  if (dark) {
    TextHighlight = MakeColour(255, 255, 0);
    TextMain = MakeColour(255, 255, 255);
    TextDim = MakeColour(224, 224, 224);
    TextShadow = MakeColour(0, 0, 0);
  } else {
    TextHighlight = MakeColour(0, 64, 128);
    TextMain = MakeColour(0, 0, 0);
    TextDim = MakeColour(64, 64, 64);
    TextShadow = MakeColour(224, 224, 224);
  }
}

}  // namespace kv
