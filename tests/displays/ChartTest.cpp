#include "displays/Chart.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <cstdlib>
#include <string>

#include "ChartState.h"
#include "displays/Canvas.h"
#include "displays/ChartParts.h"
#include "displays/ChartView.h"
#include "support/FullHistory.h"

namespace kv {
namespace {

constexpr tColour Ink = MakeColour(200, 0, 0);
constexpr TDateTime End = 45000.5;  // noon, UTC
constexpr double Minute = 1.0 / 1440;
// Samples sit 6 seconds off the minute, so that no x lands on a rounding edge: age 60 min is at
// x = 505 - trunc(1.0017 h x 250) = 255.
constexpr double Offset = 6.0 / 86400;

class Chart : public ChartState {
 protected:
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
    return DrawStatistics(image, Display(), s, End, hours);
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
  EXPECT_FALSE(DrawStatistics(image, Display(), broken, NAN, 2));
  EXPECT_FALSE(DrawStatistics(image, Display(), broken, 1e300, 2));
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
  SetUpSecs(Current, 3 * 86400 + 4 * 3600 + 5 * 60 + 6);
  const std::string uptime = Texts()->Uptime + " 3 d 04:05:06 h";
  EXPECT_EQ(FooterMiddleText(Display(), 8), uptime);
  EXPECT_EQ(FooterMiddleText(Display(), 24), Texts()->Stats24);
  EXPECT_EQ(FooterMiddleText(Display(), 168), Texts()->Stats7);
  EXPECT_EQ(FooterMiddleText(Display(), 169), Texts()->Stats31);
  EXPECT_EQ(FooterMiddleText(Display(), 744), Texts()->Stats31);
  EXPECT_EQ(FooterMiddleText(Display(), 2400), Texts()->Stats365);
  Settings.IncludeStaticData = true;
  EXPECT_EQ(FooterMiddleText(Display(), 8760), uptime);
  Settings.ReadUpTime = false;
  EXPECT_EQ(FooterMiddleText(Display(), 8760), "");
  EXPECT_EQ(FooterMiddleText(Display(), 2), "");
}


// Ticks of a running monitor, drawn over the last chart in place, give the chart drawn afresh:
// legends changing (and back again), the series growing, the window moving on, the chart
// growing and shrinking; the same drawn from a text cache, and from one so small it evicts all
// the time.
TEST_F(Chart, DrawingOverTheLastChartEqualsDrawingAfresh) {
  kvtest::SetUpChannels(Settings, Current);
  tStatStore s = kvtest::MakeSeries(Current, 600, 20 / SecondsPerDay);
  QImage kept;
  QImage shown;
  tTextCache caches[] = {tTextCache(), tTextCache(40)};
  QImage cached[2];
  for (int tick = 0; tick < 9; ++tick) {
    Current.Readings.T[0] = static_cast<int16_t>(3000 + 370 * (tick % 3));
    Current.Readings.CPU[1] = static_cast<int16_t>(1000 * (tick % 4));
    if (tick % 3 == 2) {
      s.Samples.push_back(s.Samples.back());
      s.SamplesExtra.push_back(s.SamplesExtra.back());
      s.Samples.back().Time += 20 / SecondsPerDay;
      s.Samples.back().T[2] = static_cast<int16_t>(2000 + 500 * tick);
      s.LastIndex += 1;
    }
    Settings.THeight = tick == 5 ? 160 : tick == 7 ? 60 : 100;
    const TDateTime end = kvtest::FullEnd + tick / SecondsPerDay;
    QImage fresh;
    std::vector<tDrawnText> freshTexts, cachedTexts;
    const auto a = DrawStatistics(kept, Display(), s, end, 8);
    const auto b = DrawStatistics(fresh, Display(), s, end, 8, &freshTexts);
    ASSERT_TRUE(a && b);
    EXPECT_EQ(a->Height, b->Height) << tick;
    EXPECT_TRUE(kept == fresh) << tick;
    for (int k = 0; k < 2; ++k) {
      ASSERT_TRUE(DrawStatistics(cached[k], Display(), s, end, 8, &cachedTexts, &caches[k]));
      EXPECT_TRUE(cached[k] == fresh) << tick << " cache " << k;
      EXPECT_LE(caches[k].Size(), k == 0 ? 2048u : 40u);
      ASSERT_EQ(cachedTexts.size(), freshTexts.size());
      for (size_t i = 0; i < freshTexts.size(); ++i) {
        EXPECT_EQ(cachedTexts[i].ink, freshTexts[i].ink) << tick << " cache " << k << " " << freshTexts[i].text;
      }
    }
    // The window takes over only the changed rows, and none from a tick drawn once more.
    TakeChangedRows(shown, kept);
    EXPECT_TRUE(shown == fresh) << tick;
    ASSERT_TRUE(DrawStatistics(kept, Display(), s, end, 8));
    EXPECT_FALSE(TakeChangedRows(shown, kept)) << tick;
  }
}

class SensorBands : public Chart {
 protected:
  static void ShowChannel(tChannelCfg& cfg, tColour colour = Ink, bool bold = false) {
    cfg.Vis = 1;
    cfg.Colour = colour;
    cfg.Bold = bold;
    cfg.Name = "";
  }
  // 121 one-minute samples with channel i of kind 'T', 'V' or 'F' at value. (The packed records'
  // fields are written by name, never through a pointer.)
  static tStatStore Constant(char kind, int i, int value) {
    tStatStore s = Series(121);
    const auto v = static_cast<int16_t>(value);
    for (auto& r : s.Samples) {
      if (kind == 'T') r.T[i] = v;
      else if (kind == 'V') r.V[i] = v;
      else r.F[i] = v;
    }
    return s;
  }
};

// The bitmap is sized from the last chart; one that has grown since is still drawn whole, the
// same as when drawn again at its new size, footer at the bottom.
TEST_F(SensorBands, AChartThatOutgrowsTheLastOneIsDrawnWhole) {
  ShowChannel(Settings.TCfg[0]);
  const tStatStore s = Constant('T', 0, 5000);
  Settings.THeight = 40;
  ASSERT_TRUE(Draw(s));
  Settings.THeight = 600;
  const auto g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Height, 2 + 4 + 600 + 8 + 9 + 17);
  const QImage grown = image;
  ASSERT_TRUE(Draw(s));
  EXPECT_EQ(grown, image);

  // The first chart of a width, short or tall, is the one drawn in a bitmap of the layout's
  // full height and cut.
  for (const int height : {40, 600}) {
    Settings.THeight = height;
    Settings.StatsWidth = 600 + height;  // widths no chart of this process has had
    image = QImage();
    const auto first = Draw(s);
    const QImage firstImage = image;
    image = QImage(Settings.StatsWidth, ChartBitmapHeight, QImage::Format_RGB32);
    const auto whole = Draw(s);
    ASSERT_TRUE(first && whole);
    EXPECT_EQ(first->Height, whole->Height) << height;
    EXPECT_EQ(firstImage, image) << height;
  }
}

// The temperature band of a chart drawn from y = 2: time-axis row to 6, so y0 = 6, the plot area
// spans y 13 .. 133 and age 60 minutes is at x 255.
TEST_F(SensorBands, TemperatureAtTheTopOfTheScaleAndJustAbove) {
  ShowChannel(Settings.TCfg[0]);
  tStatStore s = Constant('T', 0, 5500);  // TMaxStats
  auto g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_EQ(At(255, 13), Ink);
  EXPECT_NE(At(255, 14), Ink);
  // The hover rows: the band with its axis row, then one legend row.
  EXPECT_EQ(g->Rows[csTemperatures].top, 2);
  EXPECT_EQ(g->Rows[csTemperatures].bottom, 2 + 4 + 120 + 8 + 9);
  EXPECT_EQ(g->Rows[csVoltages].top, g->Rows[csTemperatures].bottom);
  EXPECT_EQ(g->Rows[csFans].bottom, g->Rows[csTemperatures].bottom);
  EXPECT_EQ(g->Height, 143 + 17);

  AtAge(s, 60).T[0] = 5501;
  Draw(s);
  EXPECT_NE(At(255, 13), Ink);
  EXPECT_NE(At(252, 13), Ink);
  EXPECT_EQ(At(245, 13), Ink);
  EXPECT_EQ(At(265, 13), Ink);

  // Bold: the same line one pixel lower as well.
  Settings.TCfg[0].Bold = true;
  AtAge(s, 60).T[0] = 5500;
  Draw(s);
  EXPECT_EQ(At(255, 13), Ink);
  EXPECT_EQ(At(255, 14), Ink);
  EXPECT_NE(At(255, 15), Ink);
}

TEST_F(SensorBands, AutomaticTemperatureScale) {
  constexpr tColour Blue = MakeColour(0, 0, 200);
  Settings.TAutoStats = true;
  ShowChannel(Settings.TCfg[0]);
  ShowChannel(Settings.TCfg[1], Blue);
  tStatStore s = Constant('T', 0, 4123);
  for (auto& r : s.Samples) r.T[1] = 5800;
  Draw(s);
  EXPECT_EQ(Settings.TMinStats, 4000);
  EXPECT_EQ(Settings.TMaxStats, 6000);
  // 58.00 on 40 .. 60 over 120 pixels: 6 + 120 - 108 + 7; 41.23: round(118.62) + 7.
  EXPECT_EQ(At(255, 25), Blue);
  EXPECT_EQ(At(255, 126), Ink);

  // Without any value the scale stays unset and no band is drawn; the clamp holds the top end.
  const auto g = Draw(Series(121));
  EXPECT_EQ(Settings.TMinStats, 32767);
  EXPECT_EQ(Settings.TMaxStats, 15000);
  EXPECT_EQ(g->Rows[csTemperatures].bottom, g->Rows[csTemperatures].top);
  EXPECT_EQ(g->Height, 19);

  // The clamps apply without the automatic mode too.
  Settings.TAutoStats = false;
  Settings.TMinStats = -9000;
  Settings.TMaxStats = 20000;
  Draw(s);
  EXPECT_EQ(Settings.TMinStats, -5000);
  EXPECT_EQ(Settings.TMaxStats, 15000);
}

TEST_F(SensorBands, TimeGridOfLongWindows) {
  // End is 2023-03-15 12:00. A 7-day window marks midnights: 12 h back is x = 506 - 35.7,
  // the midnight before 71.4 further left. The grid runs dotted from y0 + 9 = 15.
  ShowChannel(Settings.TCfg[0]);
  Draw(Constant('T', 0, 4000), 168);
  EXPECT_EQ(At(470, 15), Settings.cScGrid);
  EXPECT_EQ(At(470, 16), Settings.cScBack);
  EXPECT_EQ(At(398, 15), Settings.cScGrid);
  EXPECT_EQ(At(434, 15), Settings.cScBack);

  // A year marks month starts: March 1st is 348 h back (x 486), February 1st 1020 h (x 447).
  Draw(Constant('T', 0, 4000), 8760);
  EXPECT_EQ(At(486, 15), Settings.cScGrid);
  EXPECT_EQ(At(447, 15), Settings.cScGrid);
  EXPECT_EQ(At(466, 15), Settings.cScBack);
  EXPECT_EQ(EventLog().find("ds3 "), std::string::npos);
}

TEST_F(SensorBands, VoltageScalesKeepAUnitOfMargin) {
  // 11.90 .. 12.10 V: scale 11.60 .. 12.40 over 40 pixels, so 11.90 at 6 + 25 + 7, 12.10 at 6 + 15 + 7.
  ShowChannel(Settings.VCfg[0]);
  tStatStore s = Constant('V', 0, 1190);
  for (int age = 60; age <= 120; ++age) AtAge(s, age).V[0] = 1210;
  Draw(s);
  EXPECT_EQ(At(400, 38), Ink);
  EXPECT_EQ(At(150, 28), Ink);
  EXPECT_NE(At(400, 37), Ink);
  EXPECT_NE(At(150, 29), Ink);

  // A constant 3.30 V: 3.25 .. 3.35, grid every 0.05 V at y 13, 33, 53, the curve on the middle line.
  Draw(Constant('V', 0, 330));
  EXPECT_EQ(At(400, 33), Ink);
  EXPECT_EQ(At(8, 13), Settings.cScGrid);
  EXPECT_EQ(At(8, 33), Settings.cScGrid);
  EXPECT_EQ(At(8, 53), Settings.cScGrid);
  EXPECT_EQ(At(8, 23), Settings.cScBack);
}

TEST_F(SensorBands, FanCurveAroundAGapAndAutomaticScale) {
  ShowChannel(Settings.FCfg[0]);
  Settings.FMin = 0;
  Settings.FMax = 2000;
  tStatStore s = Constant('F', 0, 1000);
  AtAge(s, 60).F[0] = NoValue16;
  Draw(s);
  // 1000 on 0 .. 2000 over 40 pixels: 6 + 20 + 7.
  EXPECT_EQ(At(300, 33), Ink);
  EXPECT_EQ(At(200, 33), Ink);
  EXPECT_NE(At(255, 33), Ink);

  // Automatic: 1000 .. 1800 rpm gives 750 .. 2250.
  Settings.FAuto = true;
  for (int age = 0; age <= 120; ++age) AtAge(s, age).F[0] = static_cast<int16_t>(age < 60 ? 1000 : 1800);
  Draw(s);
  EXPECT_EQ(Settings.FMin, 750);
  EXPECT_EQ(Settings.FMax, 2250);

  // A stored 0 counts toward the mean only, so it cannot pull the scale's lower end down.
  AtAge(s, 5).F[0] = 0;
  Draw(s);
  EXPECT_EQ(Settings.FMin, 750);

  // A flow of 2.5 .. 4 l/h alone: 0 .. 10 in whole units.
  for (int age = 0; age <= 120; ++age) AtAge(s, age).F[0] = static_cast<int16_t>(age < 60 ? -250 : -400);
  Draw(s);
  EXPECT_EQ(Settings.FMin, 0);
  EXPECT_EQ(Settings.FMax, 10);
}

TEST_F(SensorBands, DegenerateScalesWidenAndReversedOnesDrawNoCurve) {
  ShowChannel(Settings.TCfg[0]);
  Settings.TMinStats = Settings.TMaxStats = 5000;
  const tStatStore s = Constant('T', 0, 5000);
  auto g = Draw(s);
  ASSERT_TRUE(g);
  // Drawn on 45 .. 55 °C: the middle of the 120-pixel band.
  EXPECT_EQ(At(255, 6 + 60 + 7), Ink);
  EXPECT_EQ(Settings.TMaxStats, 5000);  // the widening is the drawing's, not the setting's

  Settings.TMinStats = 6000;
  g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_GT(g->Rows[csTemperatures].bottom, g->Rows[csTemperatures].top);  // frame and legend
  for (int y = 13; y <= 134; ++y) EXPECT_NE(At(255, y), Ink) << y;
}

TEST_F(SensorBands, BandHeightsFromAHandEditedFileStayInsideThePicture) {
  ShowChannel(Settings.TCfg[0]);
  ShowChannel(Settings.FCfg[0]);
  Settings.FMin = 0;
  Settings.FMax = 2000;
  tStatStore s = Constant('T', 0, 4000);
  for (auto& r : s.Samples) r.F[0] = 1000;

  // Too tall for the bitmap: the temperature band is left out (its legend row stays), the fan
  // band still comes: axis row, frame, the curve at 1000 of 0 .. 2000 in the middle.
  Settings.THeight = 100000;
  auto g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Rows[csTemperatures].bottom - g->Rows[csTemperatures].top, 9);
  EXPECT_EQ(At(300, g->Rows[csFans].top + 8 + 27), Ink);

  // Negative: a band without height.
  Settings.THeight = -50;
  g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_EQ(g->Rows[csTemperatures].bottom, 2 + 4 + 0 + 8 + 9);

  // Ten tall voltage bands: those that fit, and the footer still at the bottom.
  Settings.THeight = 120;
  Settings.VHeight = 700;
  for (auto& c : Settings.VCfg) ShowChannel(c);
  for (auto& r : s.Samples) for (int k = 0; k < VChannels; ++k) r.V[k] = 1200;
  g = Draw(s);
  ASSERT_TRUE(g);
  EXPECT_LE(g->Height, 2000);
  EXPECT_EQ(image.height(), g->Height);
  EXPECT_EQ(g->Rows[csVoltages].bottom - g->Rows[csVoltages].top, 2 * (700 + 8 + 9));
  EXPECT_EQ(At(300, g->Height - 1), Settings.cBorder);
}

TEST_F(SensorBands, HostileSeriesEndInBoundedTime) {
  ShowChannel(Settings.TCfg[0]);
  ShowChannel(Settings.VCfg[0]);
  ShowChannel(Settings.FCfg[0]);
  Settings.TAutoStats = true;
  Settings.FAuto = true;
  // 100 000 samples of 0.2 seconds, a third of them breaks, the newest ten minutes in the future,
  // and one sample whose time is no number.
  tStatStore s = Series(100000, 0.2 / 86400, -600.0 / 86400);
  for (int i = 0; i < 100000; ++i) {
    if (i % 3 == 0) continue;
    s.Samples[i].T[0] = static_cast<int16_t>(3000 + i % 1000);
    s.Samples[i].V[0] = static_cast<int16_t>(1200 + i % 7);
    s.Samples[i].F[0] = static_cast<int16_t>(900 + i % 300);
  }
  s.Samples[99990].Time = NAN;
  const auto start = std::chrono::steady_clock::now();
  const auto g = Draw(s, 2);
  ASSERT_TRUE(g);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
  EXPECT_GT(g->Rows[csFans].bottom, g->Rows[csFans].top);
  // Nothing right of age 0 inside the plot areas: future samples are not drawn.
  const int areas[][2] = {{13, 133}, {g->Rows[csVoltages].top + 7, g->Rows[csVoltages].top + 47},
                          {g->Rows[csFans].top + 7, g->Rows[csFans].top + 47}};
  for (const auto& a : areas) {
    for (int y = a[0]; y <= a[1]; ++y) EXPECT_NE(At(506, y), Ink) << y;
  }

  // Only breaks: no band at all.
  const auto empty = Draw(Series(500));
  ASSERT_TRUE(empty);
  EXPECT_EQ(empty->Height, 19);
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
    tChartContext ctx(canvas, Display(), s);
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

namespace kv {
namespace {

// Not a check: writes a chart to look at when KV_CHART_PNG names a file.
TEST_F(SensorBands, WritesAPictureToLookAt) {
  const char* out = std::getenv("KV_CHART_PNG");
  if (!out) GTEST_SKIP();
  const tColour colours[] = {MakeColour(200, 0, 0), MakeColour(0, 120, 0), MakeColour(0, 0, 200)};
  for (int i = 0; i < 3; ++i) {
    ShowChannel(Settings.TCfg[i], colours[i], i == 0);
    Settings.TCfg[i].Name = "Temp " + std::to_string(i + 1);
    ShowChannel(Settings.FCfg[i], colours[i]);
    Settings.FCfg[i].Name = "Fan " + std::to_string(i + 1);
  }
  ShowChannel(Settings.VCfg[0], colours[2]);
  Settings.VCfg[0].Name = "+12V";
  Settings.VCfg[1].Vis = 2;
  Settings.VCfg[1].Name = "+3.3V";
  Settings.TAutoStats = Settings.FAuto = true;
  Settings.ReadUpTime = Settings.DisplayDateTime = true;
  Readings.Freq = 2400000;
  CPUCount = 4;
  tStatStore s = Series(1440, 20.0 / 86400);
  for (int k = 0; k < 1440; ++k) {
    tReadings& r = s.Samples[k];
    if (k == 700) continue;  // a break
    for (int i = 0; i < 3; ++i) {
      r.T[i] = static_cast<int16_t>(4000 + 600 * i + 500 * std::sin(k / 100.0 + i));
      r.F[i] = static_cast<int16_t>(1200 + 300 * i + 200 * std::cos(k / 80.0 + i));
    }
    r.V[0] = static_cast<int16_t>(1195 + (k % 17) / 2);
    r.V[1] = 330;
  }
  Readings.T[0] = 4512;
  Readings.V[1] = 331;
  Readings.Time = End;
  Draw(s, 8);
  ASSERT_TRUE(image.save(out));
}

}  // namespace
}  // namespace kv
