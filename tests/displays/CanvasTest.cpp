#include "displays/Canvas.h"

#include <gtest/gtest.h>

#include <QFontInfo>
#include <algorithm>
#include <cmath>
#include <random>
#include <set>

namespace kv {
namespace {

constexpr tColour White = 0xFFFFFF;
constexpr tColour Red = MakeColour(255, 0, 0);
constexpr tColour Blue = MakeColour(0, 0, 255);
constexpr tColour Green = MakeColour(0, 160, 0);

QImage Blank(int w, int h, tColour colour = White) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(ToQRgb(colour));
  return image;
}

// Pixels not of the background colour inside l <= X < r, t <= Y < b.
int CountInk(const Canvas& canvas, int l, int t, int r, int b, tColour background = White) {
  int count = 0;
  for (int y = t; y < b; ++y)
    for (int x = l; x < r; ++x)
      if (canvas.GetPixel(x, y) != background) ++count;
  return count;
}

TEST(CanvasColours, ProgramColourValuesLandAsRgbPixels) {
  QImage image = Blank(4, 4);
  Canvas canvas(image);
  canvas.SetPixel(1, 2, MakeColour(10, 20, 30));
  const QRgb p = image.pixel(1, 2);
  EXPECT_EQ(qRed(p), 10);
  EXPECT_EQ(qGreen(p), 20);
  EXPECT_EQ(qBlue(p), 30);
  EXPECT_EQ(canvas.GetPixel(1, 2), MakeColour(10, 20, 30));
  EXPECT_EQ(MakeColour(10, 20, 30), 0x001E140Au);
  EXPECT_EQ(canvas.GetPixel(-1, 0), ClrInvalid);
  EXPECT_EQ(canvas.GetPixel(0, 4), ClrInvalid);
  canvas.SetPixel(4, 0, Red);  // clipped, must not crash or wrap
  EXPECT_EQ(canvas.GetPixel(0, 1), White);
}

TEST(CanvasColours, NearestRoundsTiesToEven) {
  EXPECT_EQ(Nearest(0.5), 0);
  EXPECT_EQ(Nearest(1.5), 2);
  EXPECT_EQ(Nearest(2.5), 2);
  EXPECT_EQ(Nearest(-2.5), -2);
  EXPECT_EQ(Nearest(1.2), 1);
  EXPECT_EQ(Nearest(-6.6), -7);
}

TEST(CanvasRectangles, RightAndBottomEdgesAreExclusive) {
  QImage image = Blank(12, 12);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.brushColour = Blue;
  canvas.Rectangle(2, 3, 7, 9);
  // Outline on the first and last covered rows and columns.
  for (int x = 2; x <= 6; ++x) {
    EXPECT_EQ(canvas.GetPixel(x, 3), Red) << x;
    EXPECT_EQ(canvas.GetPixel(x, 8), Red) << x;
  }
  for (int y = 3; y <= 8; ++y) {
    EXPECT_EQ(canvas.GetPixel(2, y), Red) << y;
    EXPECT_EQ(canvas.GetPixel(6, y), Red) << y;
  }
  EXPECT_EQ(CountInk(canvas, 3, 4, 6, 8, Blue), 0);  // interior is brush
  EXPECT_EQ(CountInk(canvas, 7, 0, 12, 12), 0);
  EXPECT_EQ(CountInk(canvas, 0, 9, 12, 12), 0);
  EXPECT_EQ(CountInk(canvas, 0, 0, 2, 12), 0);
  EXPECT_EQ(CountInk(canvas, 0, 0, 12, 3), 0);
}

TEST(CanvasRectangles, ClearBrushKeepsInsideAndClearPenShrinksFill) {
  QImage image = Blank(12, 12);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.brushStyle = tBrushStyle::Clear;
  canvas.Rectangle(0, 0, 10, 10);
  EXPECT_EQ(CountInk(canvas, 1, 1, 9, 9), 0);
  EXPECT_EQ(canvas.GetPixel(9, 9), Red);

  canvas.penStyle = tPenStyle::Clear;
  canvas.brushStyle = tBrushStyle::Solid;
  canvas.brushColour = Blue;
  canvas.Rectangle(1, 1, 6, 6);
  EXPECT_EQ(canvas.GetPixel(1, 1), Blue);
  EXPECT_EQ(canvas.GetPixel(4, 4), Blue);
  EXPECT_EQ(canvas.GetPixel(5, 4), White);
  EXPECT_EQ(canvas.GetPixel(4, 5), White);
}

TEST(CanvasRectangles, SwappedCornersAndOnePixelRectangles) {
  QImage image = Blank(8, 8);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.Rectangle(6, 6, 2, 2);
  EXPECT_EQ(canvas.GetPixel(2, 2), Red);
  EXPECT_EQ(canvas.GetPixel(5, 5), Red);
  EXPECT_EQ(canvas.GetPixel(6, 6), White);

  QImage dot = Blank(3, 3);
  Canvas small(dot);
  small.penColour = Green;
  small.Rectangle(1, 1, 2, 2);
  EXPECT_EQ(small.GetPixel(1, 1), Green);
  EXPECT_EQ(CountInk(small, 0, 0, 3, 3), 1);
}

TEST(CanvasRectangles, FillRectUsesBrushColourOnly) {
  QImage image = Blank(6, 6);
  Canvas canvas(image);
  canvas.brushColour = Green;
  canvas.brushStyle = tBrushStyle::Clear;
  canvas.FillRect(-3, 1, 3, 4);
  EXPECT_EQ(CountInk(canvas, 0, 1, 3, 4, Green), 0);
  EXPECT_EQ(CountInk(canvas, 0, 0, 6, 6), 9);
}

TEST(CanvasRoundRects, CornersAreCutAndEdgesExclusive) {
  QImage image = Blank(24, 24);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.brushColour = Red;
  canvas.RoundRect(2, 2, 22, 22, 8, 8);
  EXPECT_EQ(canvas.GetPixel(2, 2), White);
  EXPECT_EQ(canvas.GetPixel(21, 21), White);
  EXPECT_EQ(canvas.GetPixel(12, 2), Red);
  EXPECT_EQ(canvas.GetPixel(2, 12), Red);
  EXPECT_EQ(canvas.GetPixel(21, 12), Red);
  EXPECT_EQ(canvas.GetPixel(12, 21), Red);
  EXPECT_EQ(CountInk(canvas, 22, 0, 24, 24), 0);
  EXPECT_EQ(CountInk(canvas, 0, 22, 24, 24), 0);
  // Symmetric shape: each cut corner loses the same number of pixels.
  const int topLeft = 16 - CountInk(canvas, 2, 2, 6, 6);
  EXPECT_GT(topLeft, 0);
  EXPECT_EQ(16 - CountInk(canvas, 18, 2, 22, 6), topLeft);
  EXPECT_EQ(16 - CountInk(canvas, 2, 18, 6, 22), topLeft);
  EXPECT_EQ(16 - CountInk(canvas, 18, 18, 22, 22), topLeft);
}

TEST(CanvasRoundRects, WithoutCornersAndWithOutlineOnly) {
  QImage a = Blank(10, 10);
  Canvas round(a);
  round.penColour = Blue;
  round.brushColour = Green;
  round.RoundRect(1, 1, 8, 7, 0, 0);
  QImage b = Blank(10, 10);
  Canvas plain(b);
  plain.penColour = Blue;
  plain.brushColour = Green;
  plain.Rectangle(1, 1, 8, 7);
  EXPECT_EQ(a, b);

  QImage c = Blank(20, 20);
  Canvas outline(c);
  outline.penColour = Blue;
  outline.brushStyle = tBrushStyle::Clear;
  outline.RoundRect(0, 0, 20, 20, 6, 6);
  EXPECT_EQ(outline.GetPixel(10, 0), Blue);
  EXPECT_EQ(outline.GetPixel(10, 19), Blue);
  EXPECT_EQ(CountInk(outline, 2, 2, 18, 18), 0);
}

TEST(CanvasLines, EndPointIsNotDrawn) {
  QImage image = Blank(10, 10);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.Line(1, 1, 5, 1);
  for (int x = 1; x < 5; ++x) EXPECT_EQ(canvas.GetPixel(x, 1), Red) << x;
  EXPECT_EQ(canvas.GetPixel(5, 1), White);
  canvas.Line(8, 8, 8, 3);  // upwards
  for (int y = 4; y <= 8; ++y) EXPECT_EQ(canvas.GetPixel(8, y), Red) << y;
  EXPECT_EQ(canvas.GetPixel(8, 3), White);
  canvas.Line(0, 9, 4, 5);  // diagonal
  for (int i = 0; i < 4; ++i) EXPECT_EQ(canvas.GetPixel(i, 9 - i), Red) << i;
  EXPECT_EQ(canvas.GetPixel(4, 5), White);
  EXPECT_EQ(CountInk(canvas, 0, 0, 10, 10), 4 + 5 + 4);
}

TEST(CanvasLines, ShallowLineCoversOnePixelPerColumn) {
  QImage image = Blank(12, 6);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.Line(0, 0, 10, 3);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(CountInk(canvas, x, 0, x + 1, 6), 1) << x;
  EXPECT_EQ(canvas.GetPixel(0, 0), Red);
  EXPECT_EQ(CountInk(canvas, 10, 0, 12, 6), 0);
}

TEST(CanvasLines, FrameDrawnWithTwoPensClosesEveryCorner) {
  // The outer frame of the light: up the left, along the top, down the right, back along the bottom.
  QImage image = Blank(20, 10);
  Canvas canvas(image);
  canvas.penColour = Blue;
  canvas.MoveTo(0, 9);
  canvas.LineTo(0, 0);
  canvas.LineTo(19, 0);
  canvas.penColour = Red;
  canvas.LineTo(19, 9);
  canvas.LineTo(-1, 9);
  EXPECT_EQ(canvas.GetPixel(0, 9), Red);
  EXPECT_EQ(canvas.GetPixel(0, 0), Blue);
  EXPECT_EQ(canvas.GetPixel(18, 0), Blue);
  EXPECT_EQ(canvas.GetPixel(19, 0), Red);
  EXPECT_EQ(canvas.GetPixel(19, 9), Red);
  EXPECT_EQ(CountInk(canvas, 0, 0, 20, 10), 2 * 20 + 2 * 8);
  EXPECT_EQ(CountInk(canvas, 1, 1, 19, 9), 0);
}

TEST(CanvasLines, PolylineDrawsJointsButNotTheLastPoint) {
  QImage image = Blank(10, 10);
  Canvas canvas(image);
  canvas.penColour = Green;
  canvas.Polyline({{1, 1}, {4, 1}, {4, 4}, {7, 4}});
  EXPECT_EQ(canvas.GetPixel(4, 1), Green);
  EXPECT_EQ(canvas.GetPixel(4, 4), Green);
  EXPECT_EQ(canvas.GetPixel(7, 4), White);
  EXPECT_EQ(CountInk(canvas, 0, 0, 10, 10), 9);
}

TEST(CanvasLines, DottedPenSetsEveryOtherPixelAcrossJoints) {
  QImage image = Blank(12, 6);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.penStyle = tPenStyle::Dot;
  canvas.Line(0, 0, 10, 0);
  for (int x = 0; x < 10; ++x) EXPECT_EQ(canvas.GetPixel(x, 0), x % 2 == 0 ? Red : White) << x;
  // The pattern runs on round the corner: (0,2) on, (1,2) off, (2,2) on, (3,2) off, (3,3) on, (3,4) off.
  canvas.MoveTo(0, 2);
  canvas.LineTo(3, 2);
  canvas.LineTo(3, 5);
  EXPECT_EQ(canvas.GetPixel(2, 2), Red);
  EXPECT_EQ(canvas.GetPixel(3, 2), White);
  EXPECT_EQ(canvas.GetPixel(3, 3), Red);
  EXPECT_EQ(canvas.GetPixel(3, 4), White);
  // Gaps leave what was there.
  QImage back = Blank(6, 1, Blue);
  Canvas over(back);
  over.penStyle = tPenStyle::Dot;
  over.penColour = Red;
  over.Line(0, 0, 6, 0);
  EXPECT_EQ(over.GetPixel(1, 0), Blue);
  EXPECT_EQ(over.GetPixel(4, 0), Red);
}

TEST(CanvasLines, ClearPenDrawsNothingButMoves) {
  QImage image = Blank(6, 6);
  Canvas canvas(image);
  canvas.penStyle = tPenStyle::Clear;
  canvas.Line(0, 0, 5, 5);
  canvas.penStyle = tPenStyle::Solid;
  canvas.penColour = Red;
  canvas.LineTo(5, 0);
  EXPECT_EQ(canvas.GetPixel(0, 0), White);
  EXPECT_EQ(canvas.GetPixel(5, 5), Red);
  EXPECT_EQ(CountInk(canvas, 0, 0, 6, 6), 5);
}

TEST(CanvasPolygons, FilledAreaWithBottomEdgeOutline) {
  // A chart area: from the bottom line up to the samples and back down.
  QImage image = Blank(16, 12);
  Canvas canvas(image);
  canvas.penColour = Green;
  canvas.brushColour = Green;
  canvas.Polygon({{2, 10}, {2, 4}, {8, 4}, {8, 10}});
  EXPECT_EQ(CountInk(canvas, 2, 4, 9, 11, Green), 0);  // vertices included by the outline
  EXPECT_EQ(CountInk(canvas, 0, 0, 16, 12), 7 * 7);
}

TEST(CanvasPolygons, FillFollowsPixelCentresWithoutPen) {
  QImage image = Blank(12, 12);
  Canvas canvas(image);
  canvas.penStyle = tPenStyle::Clear;
  canvas.brushColour = Blue;
  canvas.Polygon({{2, 2}, {8, 2}, {8, 8}, {2, 8}});
  EXPECT_EQ(CountInk(canvas, 2, 2, 8, 8, Blue), 0);
  EXPECT_EQ(CountInk(canvas, 0, 0, 12, 12), 36);
  // A triangle: pixel centres on the slanted edge count as right edge, so row y has 9 - y pixels.
  QImage t = Blank(12, 12);
  Canvas tri(t);
  tri.penStyle = tPenStyle::Clear;
  tri.brushColour = Blue;
  tri.Polygon({{0, 0}, {10, 0}, {0, 10}});
  for (int y = 0; y < 10; ++y) EXPECT_EQ(CountInk(tri, 0, y, 12, y + 1), 9 - y) << y;
}

TEST(CanvasPolygons, ConcaveShapeLeavesItsNotchEmpty) {
  QImage image = Blank(12, 12);
  Canvas canvas(image);
  canvas.penStyle = tPenStyle::Clear;
  canvas.brushColour = Red;
  // A U: two pillars joined at the bottom.
  canvas.Polygon({{0, 0}, {3, 0}, {3, 6}, {7, 6}, {7, 0}, {10, 0}, {10, 10}, {0, 10}});
  EXPECT_EQ(CountInk(canvas, 3, 0, 7, 6), 0);
  EXPECT_EQ(CountInk(canvas, 0, 0, 3, 6, Red), 0);
  EXPECT_EQ(CountInk(canvas, 7, 0, 10, 6, Red), 0);
  EXPECT_EQ(CountInk(canvas, 0, 6, 10, 10, Red), 0);
}

TEST(CanvasImage, ResizeKeepsTopLeftAndBlackensNewArea) {
  QImage image = Blank(10, 10);
  Canvas canvas(image);
  canvas.SetPixel(2, 3, Red);
  canvas.Resize(5, 20);
  EXPECT_EQ(image.width(), 5);
  EXPECT_EQ(image.height(), 20);
  EXPECT_EQ(canvas.GetPixel(2, 3), Red);
  EXPECT_EQ(canvas.GetPixel(4, 9), White);
  EXPECT_EQ(canvas.GetPixel(4, 10), 0u);
}

TEST(CanvasImage, OtherFormatsAreTakenAsRgb32) {
  QImage image(4, 4, QImage::Format_ARGB32);
  image.fill(qRgba(0, 0, 255, 255));
  Canvas canvas(image);
  EXPECT_EQ(image.format(), QImage::Format_RGB32);
  EXPECT_EQ(canvas.GetPixel(0, 0), Blue);
}

TEST(CanvasImage, IconsBlendByTheirAlpha) {
  QImage image = Blank(4, 4);
  Canvas canvas(image);
  QImage icon(2, 1, QImage::Format_ARGB32);
  icon.setPixel(0, 0, qRgba(255, 0, 0, 255));
  icon.setPixel(1, 0, qRgba(0, 0, 0, 0));
  canvas.Draw(1, 1, icon);
  EXPECT_EQ(canvas.GetPixel(1, 1), Red);
  EXPECT_EQ(canvas.GetPixel(2, 1), White);
}

class CanvasText : public testing::Test {
 protected:
  // The set of colours inside the image.
  static std::set<tColour> Colours(const Canvas& canvas) {
    std::set<tColour> found;
    for (int y = 0; y < canvas.Height(); ++y)
      for (int x = 0; x < canvas.Width(); ++x) found.insert(canvas.GetPixel(x, y));
    return found;
  }
};

TEST_F(CanvasText, FamiliesAreSubstitutedByName) {
  EXPECT_EQ(SubstituteFontFamily(FontArial), "Liberation Sans");
  EXPECT_EQ(SubstituteFontFamily(FontCourier), "Liberation Mono");
  EXPECT_EQ(SubstituteFontFamily(FontSmall), "DejaVu Sans");
  EXPECT_EQ(SubstituteFontFamily("Verdana"), "Verdana");
  for (const char* name : {FontArial, FontCourier, FontSmall}) {
    const QFontInfo info(UseCrispFont(tFont{name, 12, false, 0}));
    EXPECT_EQ(info.family().toStdString(), SubstituteFontFamily(name)) << name;
  }
  EXPECT_EQ(UseCrispFont(tFont{FontArial, 12, false, 0}).styleStrategy() & QFont::NoAntialias,
            QFont::NoAntialias);
}

TEST_F(CanvasText, PositiveHeightIsTheCellHeightNegativeTheCharacterHeight) {
  QImage image = Blank(10, 10);
  Canvas canvas(image);
  for (const char* name : {FontArial, FontCourier, FontSmall}) {
    for (int height : {8, 10, 12, 13, 14, 15, 16, 38}) {
      canvas.SetFont(tFont{name, height, false, 0});
      EXPECT_NEAR(canvas.TextHeight("Xg"), height, 1) << name << " " << height;
    }
  }
  canvas.SetFont(tFont{FontArial, -20, false, 0});
  EXPECT_GT(canvas.TextHeight("X"), 20);  // the cell adds room above and below the em
  EXPECT_EQ(UseCrispFont(tFont{FontArial, -20, false, 0}).pixelSize(), 20);
  canvas.SetFont(tFont{FontArial, 0, false, 0});
  EXPECT_NEAR(canvas.TextHeight("X"), 12, 1);
}

TEST_F(CanvasText, BoldIsWiderAndMonospaceIsEven) {
  QImage image = Blank(10, 10);
  Canvas canvas(image);
  canvas.SetFont(tFont{FontArial, 14, false, 0});
  const int regular = canvas.TextWidth("Kelvara Monitor");
  canvas.SetFontBold(true);
  EXPECT_GT(canvas.TextWidth("Kelvara Monitor"), regular);
  canvas.SetFont(tFont{FontCourier, 13, false, 0});
  EXPECT_EQ(canvas.TextWidth("iiii"), canvas.TextWidth("MMMM"));
  EXPECT_EQ(canvas.TextWidth(""), 0);
}

TEST_F(CanvasText, CrispTextHasOnlyTextAndBackgroundColoursInsideItsCell) {
  QImage image = Blank(200, 40);
  Canvas canvas(image);
  canvas.SetFont(tFont{FontArial, 15, false, Red});
  canvas.TextOut(10, 12, "Kelvara 47.5 °C");
  EXPECT_EQ(Colours(canvas), (std::set<tColour>{White, Red}));
  const int w = canvas.TextWidth("Kelvara 47.5 °C");
  const int h = canvas.TextHeight("K");
  EXPECT_GT(CountInk(canvas, 10, 12, 10 + w, 12 + h), 50);
  EXPECT_EQ(CountInk(canvas, 0, 0, 200, 12), 0);        // nothing above the cell's top
  EXPECT_EQ(CountInk(canvas, 0, 12 + h, 200, 40), 0);   // nor below its bottom
  EXPECT_EQ(CountInk(canvas, 0, 0, 10, 40), 0);         // nor left of its left edge
  // Capital letters reach from near the cell top: ink within the upper third of the cell.
  EXPECT_GT(CountInk(canvas, 10, 12, 10 + w, 12 + h / 3), 0);

  for (const char* name : {FontCourier, FontSmall}) {
    QImage other = Blank(120, 30);
    Canvas c(other);
    c.SetFont(tFont{name, 10, true, Blue});
    c.TextOut(2, 2, "Uptime 3 d 04:05:06 h");
    EXPECT_EQ(Colours(c), (std::set<tColour>{White, Blue})) << name;
  }
}

TEST_F(CanvasText, TextIsTransparentWhateverTheBrush) {
  QImage image = Blank(100, 20, Green);
  Canvas canvas(image);
  canvas.brushColour = Blue;
  canvas.brushStyle = tBrushStyle::Solid;
  canvas.SetFont(tFont{FontSmall, 10, false, Red});
  canvas.TextOut(0, 0, "MHz 1 core");
  EXPECT_EQ(Colours(canvas), (std::set<tColour>{Green, Red}));
}

TEST_F(CanvasText, ClippedTextStaysInsideItsRectangle) {
  QImage image = Blank(120, 60);
  Canvas canvas(image);
  canvas.SetFont(tFont{FontArial, 14, false, Blue});
  // Starts left and above the clip rectangle and runs far past its right edge.
  canvas.TextRect(10, 20, 55, 40, 4, 14, "CPU temperature long label");
  const int inside = CountInk(canvas, 10, 20, 55, 40);
  EXPECT_GT(inside, 20);
  EXPECT_EQ(CountInk(canvas, 0, 0, 120, 60) - inside, 0);
  // Later text is not clipped any more.
  canvas.TextOut(60, 42, "M");
  EXPECT_GT(CountInk(canvas, 60, 42, 120, 60), 0);
}

TEST_F(CanvasText, EmptyOrInvertedClipDrawsNothing) {
  QImage image = Blank(40, 20);
  Canvas canvas(image);
  canvas.SetFont(tFont{FontArial, 12, false, Red});
  canvas.TextRect(20, 5, 20, 15, 0, 0, "Clipped away");
  canvas.TextRect(30, 5, 10, 15, 0, 0, "Clipped away");
  canvas.TextOut(0, 0, "");
  EXPECT_EQ(CountInk(canvas, 0, 0, 40, 20), 0);
}

// The device rules written the slow, obvious way: one clipped pixel at a time, every edge of a
// polygon tried on every row. The canvas must agree with it pixel for pixel.
class SlowCanvas {
 public:
  explicit SlowCanvas(QImage& image) : image_(image) {}
  tColour penColour = 0;
  tPenStyle penStyle = tPenStyle::Solid;
  tColour brushColour = 0;
  tBrushStyle brushStyle = tBrushStyle::Solid;

  void MoveTo(int x, int y) {
    x_ = x;
    y_ = y;
    phase_ = 0;
  }
  void LineTo(int x, int y) {
    const long dx = std::labs(static_cast<long>(x) - x_), dy = std::labs(static_cast<long>(y) - y_);
    const int sx = x >= x_ ? 1 : -1, sy = y >= y_ ? 1 : -1;
    if (penStyle != tPenStyle::Clear) {
      const long n = std::max(dx, dy);
      for (long i = 0; i < n; ++i) {
        const long minor = dx >= dy ? (2 * i * dy + dx) / (2 * dx) : (2 * i * dx + dy) / (2 * dy);
        if (dx >= dy) Pen(x_ + sx * i, y_ + sy * minor);
        else Pen(x_ + sx * minor, y_ + sy * i);
      }
    }
    x_ = x;
    y_ = y;
  }
  void Rectangle(int l, int t, int r, int b) {
    if (r < l) std::swap(l, r);
    if (b < t) std::swap(t, b);
    if (penStyle == tPenStyle::Clear) {
      if (brushStyle == tBrushStyle::Solid) Fill(l, t, r - 1, b - 1);
      return;
    }
    if (r - l < 1 || b - t < 1) return;
    if (brushStyle == tBrushStyle::Solid) Fill(l + 1, t + 1, r - 1, b - 1);
    MoveTo(l, t);
    LineTo(r - 1, t);
    LineTo(r - 1, b - 1);
    LineTo(l, b - 1);
    LineTo(l, t);
    if (r - l == 1 && b - t == 1) Pen(l, t);
  }
  void Fill(int l, int t, int r, int b) {
    for (int y = std::max(t, -1); y < std::min(b, image_.height() + 1); ++y)
      for (int x = std::max(l, -1); x < std::min(r, image_.width() + 1); ++x) Plot(x, y, brushColour);
  }
  void Polygon(const std::vector<tPoint>& pts) {
    if (brushStyle == tBrushStyle::Solid && pts.size() >= 3) {
      for (int y = 0; y < image_.height(); ++y) {
        std::vector<double> xs;
        for (size_t i = 0; i < pts.size(); ++i) {
          const tPoint a = pts[i], c = pts[(i + 1) % pts.size()];
          const double cy = y + 0.5;
          if (a.y != c.y && cy >= std::min(a.y, c.y) && cy < std::max(a.y, c.y))
            xs.push_back(a.x + (cy - a.y) * (c.x - a.x) / static_cast<double>(c.y - a.y));
        }
        std::sort(xs.begin(), xs.end());
        for (size_t i = 0; i + 1 < xs.size(); i += 2)
          for (int x = static_cast<int>(std::ceil(xs[i] - 0.5)); x < std::ceil(xs[i + 1] - 0.5); ++x)
            Plot(x, y, brushColour);
      }
    }
    if (penStyle == tPenStyle::Clear) return;
    MoveTo(pts[0].x, pts[0].y);
    for (size_t i = 1; i < pts.size(); ++i) LineTo(pts[i].x, pts[i].y);
    LineTo(pts[0].x, pts[0].y);
    if (pts.size() == 1) Pen(pts[0].x, pts[0].y);
  }

 private:
  void Plot(long x, long y, tColour colour) {
    if (x >= 0 && y >= 0 && x < image_.width() && y < image_.height())
      image_.setPixel(static_cast<int>(x), static_cast<int>(y), ToQRgb(colour));
  }
  void Pen(long x, long y) {
    const bool on = penStyle == tPenStyle::Solid || (penStyle == tPenStyle::Dot && phase_ % 2 == 0);
    ++phase_;
    if (on) Plot(x, y, penColour);
  }
  QImage& image_;
  long x_ = 0, y_ = 0;
  long phase_ = 0;
};

// Random figures on a small image, half of their points off it: lines of every slope and
// direction, dotted ones whose pattern runs across joints, rectangles and polygons in every pen
// and brush combination. Seeded, so a failure repeats.
TEST(CanvasFastPaths, AgreeWithPixelByPixelDrawing) {
  std::mt19937 random(20240607);
  auto pick = [&](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(random); };
  constexpr int W = 23, H = 17;
  auto coordinate = [&](int size) {
    // Mostly near the image, now and then far off it, where only clipping keeps lines short.
    return pick(0, 9) == 0 ? pick(-100000, 100000) : pick(-12, size + 12);
  };
  const tPenStyle pens[] = {tPenStyle::Solid, tPenStyle::Dot, tPenStyle::Clear};
  for (int round = 0; round < 60; ++round) {
    QImage fast = Blank(W, H), slow = Blank(W, H);
    Canvas canvas(fast);
    SlowCanvas reference(slow);
    for (int op = 0; op < 40; ++op) {
      const tColour pen = MakeColour(pick(0, 255), op, round);
      const tColour brush = MakeColour(op, pick(0, 255), round);
      canvas.penColour = reference.penColour = pen;
      canvas.brushColour = reference.brushColour = brush;
      canvas.penStyle = reference.penStyle = pens[pick(0, 2)];
      canvas.brushStyle = reference.brushStyle = pick(0, 1) ? tBrushStyle::Solid : tBrushStyle::Clear;
      std::vector<tPoint> points(static_cast<size_t>(pick(1, 7)));
      for (tPoint& p : points) p = {coordinate(W), coordinate(H)};
      switch (pick(0, 4)) {
        case 0:  // a chain of lines; axis-parallel runs are the common case in pictures
          canvas.MoveTo(points[0].x, points[0].y);
          reference.MoveTo(points[0].x, points[0].y);
          for (size_t i = 1; i < points.size(); ++i) {
            tPoint to = points[i];
            if (pick(0, 2) == 0) to.y = points[i - 1].y;
            else if (pick(0, 2) == 0) to.x = points[i - 1].x;
            canvas.LineTo(to.x, to.y);
            reference.LineTo(to.x, to.y);
          }
          break;
        case 1:
          canvas.Polyline(points);
          reference.MoveTo(points[0].x, points[0].y);
          for (size_t i = 1; i < points.size(); ++i) reference.LineTo(points[i].x, points[i].y);
          break;
        case 2: {
          const int l = pick(-5, W + 5), t = pick(-5, H + 5);
          const int r = pick(0, 3) == 0 ? l + pick(0, 2) : pick(-5, W + 5);
          const int b = pick(0, 3) == 0 ? t + pick(0, 2) : pick(-5, H + 5);
          canvas.Rectangle(l, t, r, b);
          reference.Rectangle(l, t, r, b);
          break;
        }
        case 3: {
          const int r = coordinate(W), b = coordinate(H);
          canvas.FillRect(points[0].x, points[0].y, r, b);
          reference.Fill(points[0].x, points[0].y, r, b);  // the brush whatever its style
          break;
        }
        default:
          canvas.Polygon(points);
          reference.Polygon(points);
          break;
      }
      ASSERT_TRUE(fast == slow) << "round " << round << ", figure " << op << " differs";
    }
  }
}

// A copy taken between two drawing calls keeps its pixels: the canvas must not go on writing into
// the buffer the copy shares.
TEST(CanvasFastPaths, CopyTakenBetweenCallsKeepsItsPixels) {
  QImage image = Blank(8, 8);
  Canvas canvas(image);
  canvas.penColour = Red;
  canvas.Line(0, 0, 8, 0);
  const QImage copy = image;
  canvas.Line(0, 1, 8, 1);
  canvas.brushColour = Blue;
  canvas.FillRect(0, 2, 8, 4);
  canvas.Polygon({{0, 4}, {7, 4}, {7, 7}});
  canvas.SetPixel(7, 7, Green);
  EXPECT_EQ(FromQRgb(copy.pixel(3, 0)), Red);
  EXPECT_EQ(FromQRgb(copy.pixel(3, 1)), White);
  EXPECT_EQ(FromQRgb(copy.pixel(3, 3)), White);
  EXPECT_EQ(FromQRgb(copy.pixel(7, 7)), White);
  EXPECT_EQ(canvas.GetPixel(3, 1), Red);
  EXPECT_EQ(canvas.GetPixel(3, 3), Blue);
  EXPECT_EQ(canvas.GetPixel(7, 7), Green);
}

}  // namespace
}  // namespace kv
