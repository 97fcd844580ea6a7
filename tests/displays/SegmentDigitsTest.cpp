#include "displays/SegmentDigits.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "displays/ContrastColours.h"

namespace kv {
namespace {

constexpr tColour Back = 0xFFFFFF;
constexpr tColour Ink = MakeColour(200, 0, 0);

struct tBox {
  int l, t, r, b;
};

// The segment boxes of one digit cell for whole-numbered t and len, written out from the layout
// table: a top, b upper right, c lower right, d bottom, e lower left, f upper left, g middle.
std::vector<tBox> Segments(char digit, int t, int len, int top, int right) {
  static const char* const lit[] = {"abcdef", "bc", "abdeg", "abcdg", "bcfg",
                                    "acdfg", "acdefg", "abc", "abcdefg", "abcdfg"};
  const int R = right, T = top;
  std::vector<tBox> boxes;
  for (const char* s = lit[digit - '0']; *s != 0; ++s) {
    switch (*s) {
      case 'a': boxes.push_back({R - t - 1 - len, T, R - t - 1, T + 2 * t + 1}); break;
      case 'f': boxes.push_back({R - len - 2 * t - 2, T + t + 1, R - len - 1, T + t + 1 + len}); break;
      case 'b': boxes.push_back({R - 2 * t - 1, T + t + 1, R, T + t + 1 + len}); break;
      case 'g': boxes.push_back({R - t - 1 - len, T + len + 1, R - t - 1, T + 2 * t + 2 + len}); break;
      case 'e': boxes.push_back({R - len - 2 * t - 2, T + t + 2 + len, R - len - 1, T + t + 2 + 2 * len}); break;
      case 'c': boxes.push_back({R - 2 * t - 1, T + t + 2 + len, R, T + t + 2 + 2 * len}); break;
      case 'd': boxes.push_back({R - t - 1 - len, T + 2 * len + 2, R - t - 1, T + 2 * t + 3 + 2 * len}); break;
    }
  }
  return boxes;
}

bool Inside(const std::vector<tBox>& boxes, int x, int y) {
  for (const tBox& b : boxes)
    if (x >= b.l && x < b.r && y >= b.t && y < b.b) return true;
  return false;
}

QImage Blank(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(ToQRgb(Back));
  return image;
}

// Every pixel of the image is ink exactly where one of the boxes is.
void ExpectExactly(const Canvas& canvas, const std::vector<tBox>& boxes, const std::string& what) {
  int wrong = 0;
  for (int y = 0; y < canvas.Height(); ++y)
    for (int x = 0; x < canvas.Width(); ++x) {
      const bool ink = canvas.GetPixel(x, y) == Ink;
      if (ink != Inside(boxes, x, y) && ++wrong <= 3) ADD_FAILURE() << what << " at " << x << "," << y;
    }
  EXPECT_EQ(wrong, 0) << what;
}

TEST(SegmentDigits, EveryDigitLightsItsSegmentsOnly) {
  // The mini light's temperature digits: gap 1, t 0, len 4.
  for (char d = '0'; d <= '9'; ++d) {
    QImage image = Blank(20, 20);
    Canvas canvas(image);
    DrawSegmentNumber(canvas, Ink, d - '0', 1, 0, 4, 3, 15);
    ExpectExactly(canvas, Segments(d, 0, 4, 3, 15), std::string("digit ") + d);
  }
}

TEST(SegmentDigits, DigitsStepLeftByTheirCellWidth) {
  // 1234 with the mini light's parameters: cells nearest(0 + 4 + 2 + 1) = 7 pixels apart.
  QImage image = Blank(80, 20);
  Canvas canvas(image);
  DrawSegmentNumber(canvas, Ink, 1234, 1, 0, 4, 2, 70);
  std::vector<tBox> boxes;
  const std::string digits = "1234";
  for (int i = 0; i < 4; ++i) {
    const auto cell = Segments(digits[static_cast<size_t>(3 - i)], 0, 4, 2, 70 - 7 * i);
    boxes.insert(boxes.end(), cell.begin(), cell.end());
  }
  ExpectExactly(canvas, boxes, "1234");
}

TEST(SegmentDigits, NegativeNumbersGetAMinusBar) {
  QImage image = Blank(40, 30);
  Canvas canvas(image);
  DrawSegmentNumber(canvas, Ink, -5, 1, 0, 4, 2, 30);
  auto boxes = Segments('5', 0, 4, 2, 30);
  const int right = 30 - 7;  // already moved past the digit
  boxes.push_back({right - 1 - 4, 2 + 4 + 1, right - 1, 2 + 2 + 4});
  ExpectExactly(canvas, boxes, "-5");

  // A value that rounds to zero has no sign.
  QImage zero = Blank(40, 30);
  Canvas z(zero);
  DrawSegmentNumber(z, Ink, -0.4, 1, 0, 4, 2, 30);
  ExpectExactly(z, Segments('0', 0, 4, 2, 30), "-0.4");
}

TEST(SegmentDigits, ValuesAreRoundedHalfToEven) {
  const struct {
    double value;
    char digit;
  } cases[] = {{1.55, '2'}, {2.5, '2'}, {3.5, '4'}, {0.5, '0'}, {6.49, '6'}};
  for (const auto& c : cases) {
    QImage image = Blank(20, 20);
    Canvas canvas(image);
    DrawSegmentNumber(canvas, Ink, c.value, 1, 0, 4, 3, 15);
    ExpectExactly(canvas, Segments(c.digit, 0, 4, 3, 15), std::to_string(c.value));
  }
}

TEST(SegmentDigits, ThickSegmentsStayInTheirBoxes) {
  // The full light's temperature digits: gap 1, t 1, len 7; corners rounded with nearest(2t) = 2.
  QImage image = Blank(40, 30);
  Canvas canvas(image);
  DrawSegmentNumber(canvas, Ink, 8, 1, 1, 7, 4, 30);
  const auto boxes = Segments('8', 1, 7, 4, 30);
  int outside = 0;
  for (int y = 0; y < 30; ++y)
    for (int x = 0; x < 40; ++x)
      if (canvas.GetPixel(x, y) == Ink && !Inside(boxes, x, y)) ++outside;
  EXPECT_EQ(outside, 0);
  for (const tBox& b : boxes) EXPECT_EQ(canvas.GetPixel((b.l + b.r) / 2, (b.t + b.b) / 2), Ink);
}

TEST(SegmentDigits, FractionalSizesRoundEveryCoordinate) {
  // The fan rows: t 0.6, len 5, gap 1 -> cells nearest(1.2 + 5 + 2 + 1) = 9 apart; the top bar of
  // the last digit spans nearest(R - 6.6) .. nearest(R - 1.6).
  QImage image = Blank(40, 20);
  Canvas canvas(image);
  DrawSegmentNumber(canvas, Ink, 77, 1, 0.6, 5, 2, 30);
  EXPECT_EQ(canvas.GetPixel(30 - 7, 2), Ink);
  EXPECT_EQ(canvas.GetPixel(30 - 3, 2), Ink);
  EXPECT_EQ(canvas.GetPixel(30 - 2, 2), Back);
  EXPECT_EQ(canvas.GetPixel(30 - 9 - 7 + 1, 2), Ink);  // the next digit's top bar, 9 to the left
  EXPECT_EQ(canvas.GetPixel(30 - 9 - 2, 2), Back);
}

TEST(SegmentDigits, LeavesTheBrushClearInTheDigitColour) {
  QImage image = Blank(20, 20);
  Canvas canvas(image);
  canvas.brushStyle = tBrushStyle::Solid;
  DrawSegmentNumber(canvas, Ink, 1, 1, 0, 4, 3, 15);
  EXPECT_EQ(canvas.brushStyle, tBrushStyle::Clear);
  EXPECT_EQ(canvas.penColour, Ink);
}

// Contrast colours picked from a grey background of the given level.
tContrast PickOnGrey(int level, int x = 1, int y = 1) {
  QImage image(3, 3, QImage::Format_RGB32);
  image.fill(qRgb(level, level, level));
  return PickContrastColours(Canvas(image), x, y);
}

void ExpectLightPalette(const tContrast& t) {
  EXPECT_EQ(t.Highlight, MakeColour(0, 64, 128));
  EXPECT_EQ(t.Main, MakeColour(0, 0, 0));
  EXPECT_EQ(t.Dim, MakeColour(64, 64, 64));
  EXPECT_EQ(t.Shadow, MakeColour(224, 224, 224));
}

void ExpectDarkPalette(const tContrast& t) {
  EXPECT_EQ(t.Highlight, MakeColour(255, 255, 0));
  EXPECT_EQ(t.Main, MakeColour(255, 255, 255));
  EXPECT_EQ(t.Dim, MakeColour(224, 224, 224));
  EXPECT_EQ(t.Shadow, MakeColour(0, 0, 0));
}

TEST(ContrastColours, DarkAndLightBackgrounds) {
  ExpectDarkPalette(PickOnGrey(0));
  ExpectLightPalette(PickOnGrey(255));
  // Grey 140 has luma 136, exactly between 61 and 211: a tie counts as light. Grey 139 is dark.
  ExpectDarkPalette(PickOnGrey(139));
  ExpectLightPalette(PickOnGrey(140));
}

TEST(ContrastColours, LumaWeighsGreenMostAndBlueLeast) {
  QImage image(2, 1, QImage::Format_RGB32);
  image.setPixel(0, 0, qRgb(0, 255, 0));  // luma 166: light
  image.setPixel(1, 0, qRgb(0, 0, 255));  // luma 41: dark
  Canvas canvas(image);
  ExpectLightPalette(PickContrastColours(canvas, 0, 0));
  ExpectDarkPalette(PickContrastColours(canvas, 1, 0));
}

TEST(ContrastColours, OutsideTheImageReadsAsWhite) {
  ExpectDarkPalette(PickOnGrey(0));
  ExpectLightPalette(PickOnGrey(0, 4, -1));
}

}  // namespace
}  // namespace kv
