#pragma once
// Colour reduction for GIF files: an octree over the image's colours, merged from its deepest
// branches up until at most maxColours leaves remain. An image with no more distinct colours than
// that keeps every colour exactly.
#include <cstdint>
#include <vector>

#include <QImage>

#include "displays/Canvas.h"

namespace kv {

std::vector<tColour> OctreePalette(const QImage& image, int maxColours = 256);

// The index of the palette colour closest to c (squared RGB distance; the first of equals).
int NearestPaletteIndex(const std::vector<tColour>& palette, tColour c);

}  // namespace kv
