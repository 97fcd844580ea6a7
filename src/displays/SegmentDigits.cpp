#include "displays/SegmentDigits.h"

#include <cmath>
#include <cstdint>
#include <initializer_list>

namespace kv {

namespace {

// A segment's box in multiples of t and len relative to the cell's right edge R and top T:
// x from R + x1 .. R + x2, y from T + y1 .. T + y2 (right and bottom exclusive).
struct tSegment {
  unsigned digits;  // bit d set: drawn for digit d
  double x1t, x1len, x1c;
  double x2t, x2len, x2c;
  double y1t, y1len, y1c;
  double y2t, y2len, y2c;
};

constexpr unsigned Digits(std::initializer_list<int> list) {
  unsigned mask = 0;
  for (int d : list) mask |= 1u << d;
  return mask;
}

// Each coordinate is a·t + b·len + c.
constexpr tSegment Segments[] = {
    // top
    {Digits({0, 2, 3, 5, 6, 7, 8, 9}), -1, -1, -1, -1, 0, -1, 0, 0, 0, 2, 0, 1},
    // upper left
    {Digits({0, 4, 5, 6, 8, 9}), -2, -1, -2, 0, -1, -1, 1, 0, 1, 1, 1, 1},
    // upper right
    {Digits({0, 1, 2, 3, 4, 7, 8, 9}), -2, 0, -1, 0, 0, 0, 1, 0, 1, 1, 1, 1},
    // middle
    {Digits({2, 3, 4, 5, 6, 8, 9}), -1, -1, -1, -1, 0, -1, 0, 1, 1, 2, 1, 2},
    // lower left
    {Digits({0, 2, 6, 8}), -2, -1, -2, 0, -1, -1, 1, 1, 2, 1, 2, 2},
    // lower right
    {Digits({0, 1, 3, 4, 5, 6, 7, 8, 9}), -2, 0, -1, 0, 0, 0, 1, 1, 2, 1, 2, 2},
    // bottom
    {Digits({0, 2, 3, 5, 6, 8, 9}), -1, -1, -1, -1, 0, -1, 0, 2, 2, 2, 2, 3},
};

void DrawBar(Canvas& canvas, double x1, double y1, double x2, double y2, double t) {
  const int corner = Nearest(2 * t);
  canvas.RoundRect(Nearest(x1), Nearest(y1), Nearest(x2), Nearest(y2), corner, corner);
}

}  // namespace

void DrawSegmentNumber(Canvas& canvas, tColour colour, double value, double gap, double t, double len,
                       double top, double right) {
  canvas.penColour = colour;
  canvas.brushColour = colour;
  canvas.brushStyle = tBrushStyle::Solid;
  std::int64_t n = std::llrint(std::fabs(value));
  const bool negative = value < 0 && n != 0;  // no "-0"
  do {
    const int digit = static_cast<int>(n % 10);
    n /= 10;
    for (const tSegment& s : Segments) {
      if ((s.digits & (1u << digit)) == 0) continue;
      DrawBar(canvas, right + s.x1t * t + s.x1len * len + s.x1c, top + s.y1t * t + s.y1len * len + s.y1c,
              right + s.x2t * t + s.x2len * len + s.x2c, top + s.y2t * t + s.y2len * len + s.y2c, t);
    }
    right -= Nearest(2 * t + len + 2 + gap);
  } while (n != 0);
  if (negative) DrawBar(canvas, right - 1 - len, top + len + 1, right - 1, top + 2 * t + 2 + len, t);
  canvas.brushStyle = tBrushStyle::Clear;
}

}  // namespace kv
