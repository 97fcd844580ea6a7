#include "displays/Chart.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <string>

#include "DisplayState.h"
#include "displays/Canvas.h"
#include "displays/ChartParts.h"

namespace kv {
namespace {

constexpr tColour Ink = MakeColour(200, 0, 0);
constexpr TDateTime End = 45000.5;  // noon, UTC
constexpr double Minute = 1.0 / 1440;
// Samples sit 6 seconds off the minute, so that no x lands on a rounding edge: age 60 min is at
// x = 505 - trunc(1.0017 h x 250) = 255.
constexpr double Offset = 6.0 / 86400;

class Chart : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Settings.TimeInUTC = true;
    Settings.TAutoStats = false;
    Settings.FAuto = false;
    Settings.cBack = MakeColour(224, 224, 224);
    Settings.cScBack = MakeColour(240, 240, 240);
    Settings.cScBorder = MakeColour(255, 255, 250);
    Settings.cScBorder2 = MakeColour(0, 0, 180);
    Settings.cScGrid = MakeColour(0, 180, 0);
    for (auto& c : VCfg) c.Vis = 0;
    for (auto& c : CPUCfg) c.Vis = 0;
    for (auto& s : NetSlots) s.Vis = false;
    for (auto& d : DiskSlots) d.Vis = false;
    Settings.Page = Settings.visMem = Settings.visCache = 0;
    Settings.visCPUFreq = Settings.visUser = Settings.visBat = false;
    Settings.ReadDisk = false;
  }

  // n samples one `step` apart, the newest at End - newestAge, every value a no-value marker.
  static tStatStore Series(int n, double step = Minute, double newestAge = Offset) {
    tStatStore s;
    for (int k = 0; k < n; ++k) {
      tReadings r{};
      tReadingsExtra e{};
      MakeBreakSample(End - newestAge - (n - 1 - k) * step, r, e);
      s.Samples.push_back(r);
      s.SamplesExtra.push_back(e);
    }
    s.LastIndex = n - 1;
    return s;
  }
  // The sample whose age is `minutes` in a Series with one-minute steps.
  static tReadings& AtAge(tStatStore& s, int minutes) { return s.Samples[s.LastIndex - minutes]; }

  std::optional<ChartGeometry> Draw(const tStatStore& s, double hours = 2) {
    return DrawStatistics(image, s, End, hours);
  }
  tColour At(int x, int y) const { return FromQRgb(image.pixel(x, y)); }

  QImage image;
};

TEST_F(Chart, EmptySeriesLeavesTheImageAlone) {
  image = QImage(30, 40, QImage::Format_RGB32);
  image.fill(Qt::red);
  const QImage before = image.copy();
  EXPECT_FALSE(Draw(tStatStore{}));
  EXPECT_EQ(image, before);
  EXPECT_EQ(EventLog().find("Drawing statistics"), std::string::npos);

  // A window without width and a series whose LastIndex points past its samples draw nothing either.
  tStatStore broken = Series(3);
  EXPECT_FALSE(Draw(broken, 0));
  broken.Samples.clear();
  EXPECT_FALSE(Draw(broken));
  EXPECT_EQ(image, before);
}

TEST_F(Chart, GeometryOfAChartWithoutBands) {
  const auto g = Draw(Series(5));
  ASSERT_TRUE(g);
  EXPECT_DOUBLE_EQ(g->PxPerHour, 250);
  EXPECT_DOUBLE_EQ(g->HalfPixelHours, 0.002);
  EXPECT_DOUBLE_EQ(g->EndTime, End);
  // Only the footer: 3 + 14 pixels below the start at 2.
  EXPECT_EQ(g->Height, 19);
  EXPECT_EQ(image.height(), 19);
  EXPECT_EQ(image.width(), 550);
  for (const tRowRange& r : g->Rows) {
    EXPECT_EQ(r.top, 2);
    EXPECT_EQ(r.bottom, 2);
  }
  // The outer frame: left and top in cBorder2, right and bottom in cBorder.
  EXPECT_EQ(At(0, 10), Settings.cBorder2);
  EXPECT_EQ(At(300, 0), Settings.cBorder2);
  EXPECT_EQ(At(549, 10), Settings.cBorder);
  EXPECT_EQ(At(300, 18), Settings.cBorder);
  EXPECT_NE(EventLog().find("Drawing statistics"), std::string::npos);
}

TEST_F(Chart, FooterNamesTheSpanOnlyForLongWindows) {
  Settings.ReadUpTime = true;
  SetUpSecs(3 * 86400 + 4 * 3600 + 5 * 60 + 6);
  const std::string uptime = Texts()->Uptime + " 3 d 04:05:06 h";
  EXPECT_EQ(FooterMiddleText(8), uptime);
  EXPECT_EQ(FooterMiddleText(24), Texts()->Stats24);
  EXPECT_EQ(FooterMiddleText(168), Texts()->Stats7);
  EXPECT_EQ(FooterMiddleText(169), Texts()->Stats31);
  EXPECT_EQ(FooterMiddleText(744), Texts()->Stats31);
  EXPECT_EQ(FooterMiddleText(2400), Texts()->Stats365);
  Settings.IncludeStaticData = true;
  EXPECT_EQ(FooterMiddleText(8760), uptime);
  Settings.ReadUpTime = false;
  EXPECT_EQ(FooterMiddleText(8760), "");
  EXPECT_EQ(FooterMiddleText(2), "");
}

// The common machinery on its own canvas, at the coordinates every band uses.
class ChartParts : public Chart {
 protected:
  void SetUp() override {
    Chart::SetUp();
    image = QImage(550, 300, QImage::Format_RGB32);
    image.fill(Qt::white);
  }
  tChartContext Context(const tStatStore& s) {
    tChartContext ctx(canvas, s);
    ctx.W = 550;
    ctx.endTime = End;
    ctx.hours = 2;
    SetUpChart(ctx);
    ctx.axisDrawn = true;
    ctx.y = 20;
    return ctx;
  }
  tCurveSpec Curve(int offset = 7) {
    tCurveSpec spec;
    spec.lo = 0;
    spec.hi = 2000;
    spec.y0 = 20;
    spec.H = 40;
    spec.offset = offset;
    spec.colour = Ink;
    spec.value = [](const tReadings& r, const tReadingsExtra&) {
      return r.F[0] == NoValue16 ? NAN : double(r.F[0]);
    };
    return spec;
  }
  Canvas canvas{image};
};

TEST_F(ChartParts, BandFrameAndBevel) {
  const tStatStore s = Series(3);
  tChartContext ctx = Context(s);
  DrawBandFrame(ctx, 40, false);
  // Frame (5, 25) - (508, 69), right and bottom exclusive.
  EXPECT_EQ(At(5, 25), Settings.cBack);
  EXPECT_EQ(At(6, 25), Settings.cBack);
  EXPECT_EQ(At(5, 26), Settings.cBack);
  EXPECT_EQ(At(6, 26), Settings.cScBorder);
  EXPECT_EQ(At(7, 25), Settings.cScBorder);     // top edge
  EXPECT_EQ(At(5, 40), Settings.cScBorder);     // left edge
  EXPECT_EQ(At(507, 25), Settings.cBack);
  EXPECT_EQ(At(506, 26), Settings.cScBorder2);
  EXPECT_EQ(At(507, 40), Settings.cScBorder2);  // bevel's right line
  EXPECT_EQ(At(100, 68), Settings.cScBorder2);  // bevel's bottom line
  EXPECT_EQ(At(5, 68), Settings.cBack);
  EXPECT_EQ(At(6, 67), Settings.cScBorder);
  EXPECT_EQ(At(506, 67), Settings.cScBorder2);
  EXPECT_EQ(At(507, 68), Settings.cBack);
  EXPECT_EQ(At(508, 40), tColour(0xFFFFFF));   // outside
  EXPECT_EQ(At(20, 40), Settings.cScBack);
  // The dotted time grid: a line every 15 minutes from noon back, x = 506 - 62.5 k, y 29 .. 65.
  EXPECT_EQ(At(443, 29), Settings.cScGrid);
  EXPECT_EQ(At(443, 30), Settings.cScBack);
  EXPECT_EQ(At(443, 31), Settings.cScGrid);
  EXPECT_EQ(At(443, 65), Settings.cScGrid);
  EXPECT_EQ(At(443, 66), Settings.cScBack);
  EXPECT_EQ(At(444, 29), Settings.cScBack);
}

TEST_F(ChartParts, CurvesBreakAtGapsAndKeepLonePoints) {
  tStatStore s = Series(121);
  for (int age = 0; age <= 120; ++age) AtAge(s, age).F[0] = 1000;
  AtAge(s, 60).F[0] = NoValue16;
  tChartContext ctx = Context(s);
  DrawCurve(ctx, Curve());
  // 1000 on 0 .. 2000 lies at 20 + 20 + 7. Age 60 min would be at x 255.
  EXPECT_EQ(At(300, 47), Ink);
  EXPECT_EQ(At(200, 47), Ink);
  EXPECT_NE(At(255, 47), Ink);
  EXPECT_EQ(At(300, 48), tColour(0xFFFFFF));

  // A single valid sample between two gaps is one pixel.
  image.fill(Qt::white);
  tStatStore lone = Series(121);
  AtAge(lone, 60).F[0] = 1000;
  AtAge(lone, 61).F[0] = 2001;  // above the scale
  tChartContext ctx2 = Context(lone);
  DrawCurve(ctx2, Curve());
  EXPECT_EQ(At(255, 47), Ink);
  EXPECT_NE(At(254, 47), Ink);
  EXPECT_NE(At(256, 47), Ink);
  EXPECT_NE(At(255, 46), Ink);
  EXPECT_NE(At(255, 48), Ink);

  // Bold: the same curve again one pixel lower.
  DrawCurve(ctx2, Curve(8));
  EXPECT_EQ(At(255, 48), Ink);
}

}  // namespace
}  // namespace kv
