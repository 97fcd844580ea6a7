#pragma once
// Large seven-segment numbers, as the light, the banner and the chart show temperatures and clocks.
#include "displays/Canvas.h"

namespace kv {

// Draws nearest(|value|) with seven-segment digits ending at the cell edge `right`, digit cells
// `gap` pixels apart; t is the segment thickness parameter, len the segment length, top the top
// edge. A negative value gets a minus bar left of its digits. Leaves pen and brush in the given
// colour with the brush style clear, so that text drawn next stays transparent.
void DrawSegmentNumber(Canvas& canvas, tColour colour, double value, double gap, double t, double len,
                       double top, double right);

}  // namespace kv
