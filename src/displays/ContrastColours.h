#pragma once
// Text colours that stay readable on whatever background the user chose: the light, the banner
// and the chart pick them from a background pixel before drawing their texts.
#include "displays/Canvas.h"

namespace kv {

struct tContrast {
  tColour Highlight = MakeColour(0, 64, 128);
  tColour Main = MakeColour(0, 0, 0);
  tColour Dim = MakeColour(64, 64, 64);
  tColour Shadow = MakeColour(224, 224, 224);
};

// The four colours for the brightness of the pixel at (x, y); outside the image the background
// counts as white.
tContrast PickContrastColours(const Canvas& canvas, int x, int y);

}  // namespace kv
