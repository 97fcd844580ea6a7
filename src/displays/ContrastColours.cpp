#include "displays/ContrastColours.h"

#include <cstdlib>

namespace kv {

tContrast PickContrastColours(const Canvas& canvas, int x, int y) {
  // ClrInvalid outside the image has all colour bytes at 255: white.
  const tColour pixel = canvas.GetPixel(x, y);
  const int luma = ((66 * RedOf(pixel) + 129 * GreenOf(pixel) + 25 * BlueOf(pixel) + 128) >> 8) + 16;
  const bool dark = std::abs(luma - 211) > std::abs(luma - 61);
  if (!dark) return {};
  return {MakeColour(255, 255, 0), MakeColour(255, 255, 255), MakeColour(224, 224, 224), MakeColour(0, 0, 0)};
}

}  // namespace kv
