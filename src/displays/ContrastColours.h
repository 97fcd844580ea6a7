#pragma once
// Text colours that stay readable on whatever background the user chose: the light, the banner
// and the chart pick them from a background pixel before drawing their texts.
#include "displays/Canvas.h"

namespace kv {

extern tColour TextHighlight;
extern tColour TextMain;
extern tColour TextDim;
extern tColour TextShadow;

// Sets the four colours from the brightness of the pixel at (x, y); outside the image the
// background counts as white.
void PickContrastColours(const Canvas& canvas, int x, int y);

}  // namespace kv
