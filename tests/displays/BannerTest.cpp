#include "displays/Banner.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "DisplayState.h"
#include "displays/Canvas.h"
#include "statistics/StatStore.h"

namespace kv {
namespace {

constexpr tColour Back = MakeColour(224, 224, 224);
constexpr tColour ScBack = MakeColour(250, 250, 240);
constexpr tColour ScBorder = MakeColour(255, 255, 255);
constexpr tColour ScBorder2 = MakeColour(120, 120, 120);
constexpr tColour Grid = MakeColour(0, 0, 200);
constexpr tColour Ink = MakeColour(200, 0, 0);
constexpr tColour Other = MakeColour(0, 150, 0);
const TDateTime Now = EncodeDateTime({2026, 3, 4, 12, 0, 0, 0});

class Banner : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    Settings.TimeInUTC = true;  // full hours on the axis whatever the test machine's zone
    Settings.cBack = Back;
    Settings.cBorder = MakeColour(0, 0, 160);
    Settings.cBorder2 = MakeColour(0, 160, 0);
    Settings.cScBack = ScBack;
    Settings.cScBorder = ScBorder;
    Settings.cScBorder2 = ScBorder2;
    Settings.cScGrid = Grid;
    Readings.Time = Now;
    Stats8h = tStatStore{};
  }
  void TearDown() override {
    Stats8h = tStatStore{};
    DisplayState::TearDown();
  }
  // A sample hoursAgo before Now holding value (or nothing) in the given channels.
  void AddSample(double hoursAgo, const std::vector<std::pair<int, int>>& values) {
    tReadings r;
    tReadingsExtra e;
    MakeBreakSample(Now - hoursAgo / 24, r, e);
    for (const auto& [channel, v] : values) r.T[channel] = static_cast<int16_t>(v);
    Stats8h.Samples.push_back(r);
    Stats8h.SamplesExtra.push_back(e);
    Stats8h.LastIndex = static_cast<int32_t>(Stats8h.Samples.size()) - 1;
  }
  void Show(int channel, int current, tColour colour, int vis = 1) {
    Settings.TCfg[channel].Vis = static_cast<uint8_t>(vis);
    Settings.TCfg[channel].Colour = colour;
    Settings.TCfg[channel].Bold = false;
    Settings.TCfg[channel].Name = "T" + std::to_string(channel + 1);
    Readings.T[channel] = static_cast<int16_t>(current);
  }
  QImage Draw() {
    QImage image;
    DrawBanner(image, Display());
    return image;
  }
  static tColour At(const QImage& image, int x, int y) { return FromQRgb(image.pixel(x, y)); }
  static int Count(const QImage& image, tColour colour, int x1, int y1, int x2, int y2) {
    int n = 0;
    for (int y = y1; y < y2; ++y)
      for (int x = x1; x < x2; ++x) n += At(image, x, y) == colour;
    return n;
  }
};

TEST_F(Banner, BandFrameBevelAndOuterFrame) {
  AddSample(1, {});
  AddSample(0, {});
  for (const int W : {530, 700}) {
    Settings.BannerWidth = W;
    const QImage image = Draw();
    SCOPED_TRACE(W);
    ASSERT_EQ(image.width(), W);
    ASSERT_EQ(image.height(), 80);
    const int x2 = W - 20, y2 = 67;
    // The frame's outline, its inner bottom and right edge, and its background.
    EXPECT_EQ(At(image, 100, 10), ScBorder);
    EXPECT_EQ(At(image, 7, 40), ScBorder);
    EXPECT_EQ(At(image, 100, y2 - 1), ScBorder2);
    EXPECT_EQ(At(image, x2 - 1, 40), ScBorder2);
    EXPECT_EQ(At(image, 60, 40), ScBack);
    EXPECT_EQ(At(image, 6, 40), Back);
    EXPECT_EQ(At(image, x2, 40), Back);
    EXPECT_EQ(At(image, 100, y2), Back);
    // The rounded corners.
    for (const auto& [x, y] : {std::pair{7, 10}, {8, 10}, {7, 11}, {x2 - 1, 10}, {x2 - 2, 10}, {x2 - 1, 11},
                               {7, y2 - 1}, {7, y2 - 2}, {8, y2 - 1}, {x2 - 1, y2 - 1}, {x2 - 2, y2 - 1}})
      EXPECT_EQ(At(image, x, y), Back) << x << "," << y;
    EXPECT_EQ(At(image, 8, 11), ScBorder);
    EXPECT_EQ(At(image, 8, y2 - 2), ScBorder);
    EXPECT_EQ(At(image, x2 - 2, 11), ScBorder2);
    EXPECT_EQ(At(image, x2 - 2, y2 - 2), ScBorder2);
    // The picture's own frame.
    EXPECT_EQ(At(image, 0, 0), Settings.cBorder2);
    EXPECT_EQ(At(image, 0, 78), Settings.cBorder2);
    EXPECT_EQ(At(image, W - 2, 0), Settings.cBorder2);
    EXPECT_EQ(At(image, W - 1, 0), Settings.cBorder);
    EXPECT_EQ(At(image, W - 1, 79), Settings.cBorder);
    EXPECT_EQ(At(image, 0, 79), Settings.cBorder);
  }
  EXPECT_NE(EventLog().find("] Drawing banner\r\n"), std::string::npos);
}

TEST_F(Banner, AutomaticScaleWithAFiveDegreeGrid) {
  Show(0, 4200, Ink);
  for (int k = 0; k <= 20; ++k) AddSample(1.0 - k * 0.05, {{0, k % 2 ? 4010 : 4490}});
  Settings.TMinBanner = 1500;
  Settings.TMaxBanner = 5500;
  const QImage image = Draw();
  EXPECT_EQ(Settings.TMinBanner, 3800);
  EXPECT_EQ(Settings.TMaxBanner, 4800);
  // Lines at 38, 43 and 48 degrees: y 65, 38 (38.5 to even) and 12; dotted from x = 10.
  for (const int y : {38, 65}) {
    SCOPED_TRACE(y);
    EXPECT_EQ(At(image, 10, y), Grid);
    EXPECT_EQ(At(image, 11, y), ScBack);
    EXPECT_EQ(At(image, 12, y), Grid);
    EXPECT_EQ(At(image, 200, y), Grid);
  }
  EXPECT_EQ(At(image, 10, 12), Grid);
  // No line at 40 or 42 degrees (a 2-degree step), nor beside the one at 43.
  for (const int y : {54, 43, 37, 39}) EXPECT_EQ(At(image, 10, y), ScBack) << y;
  // The second newest point (40.10 at 3 minutes ago) ends a line; the newest is at x = W - 23.
  EXPECT_EQ(At(image, 507 - 4, Nearest(65 - 210 * 53 / 1000.0)), Ink);

  // Off again, the configured scale stays even where the values leave it.
  Settings.TAutoBanner = false;
  Settings.TMinBanner = 4100;
  Settings.TMaxBanner = 4300;
  Draw();
  EXPECT_EQ(Settings.TMinBanner, 4100);
  EXPECT_EQ(Settings.TMaxBanner, 4300);
}

TEST_F(Banner, BreaksSplitTheCurveAndALoneSampleIsOnePixel) {
  Settings.TAutoBanner = false;
  Settings.TMinBanner = 0;
  Settings.TMaxBanner = 5300;  // y = 65 - v / 100; grid lines at 0, 20 and 40 degrees
  Show(0, 3000, Ink);
  for (double a = 2.0; a > 1.49; a -= 0.05) AddSample(a, {{0, 3000}});
  AddSample(1.45, {});               // break
  AddSample(1.40, {{0, 2500}});      // alone, at x = 507 - 116 = 391, y = 40
  AddSample(1.35, {});               // break
  for (double a = 1.30; a > -0.01; a -= 0.05) AddSample(std::max(a, 0.0), {{0, 3000}});
  const QImage image = Draw();
  EXPECT_EQ(At(image, 345, 35), Ink);  // first part: x 341 .. 382
  EXPECT_EQ(At(image, 381, 35), Ink);
  for (const int x : {383, 386, 390, 392, 396}) EXPECT_NE(At(image, x, 35), Ink) << x;
  EXPECT_EQ(At(image, 391, 40), Ink);
  EXPECT_EQ(Count(image, Ink, 385, 30, 399, 50), 1);
  EXPECT_EQ(At(image, 400, 35), Ink);  // second part: x 399 .. 507
  EXPECT_EQ(At(image, 505, 35), Ink);
  EXPECT_NE(At(image, 400, 36), Ink);

  // Bold: a second pass one pixel lower, the lone sample too.
  Settings.TCfg[0].Bold = true;
  const QImage bold = Draw();
  EXPECT_EQ(At(bold, 400, 36), Ink);
  EXPECT_EQ(At(bold, 391, 41), Ink);
  EXPECT_EQ(Count(bold, Ink, 385, 30, 399, 50), 2);
}

TEST_F(Banner, SecondLevelChannelIsInTheLegendOnly) {
  Show(0, 4200, Ink);
  Show(1, 9000, Other, 2);
  for (int k = 0; k <= 10; ++k) AddSample(1.0 - k * 0.1, {{0, 4200}, {1, 9000}});
  const QImage image = Draw();
  EXPECT_EQ(Settings.TMinBanner, 4000);
  EXPECT_EQ(Settings.TMaxBanner, 4400);
  EXPECT_EQ(Count(image, Other, 0, 12, image.width(), 67), 0);
  EXPECT_GT(Count(image, Other, 0, 0, image.width(), 10), 0);
  EXPECT_GT(Count(image, Ink, 0, 0, image.width(), 10), 0);
  EXPECT_GT(Count(image, Ink, 8, 12, 510, 67), 50);
}

TEST_F(Banner, ChannelsWithoutValuesLeaveOnlyFrameAxisAndFooter) {
  Show(0, NoValue16, Ink);
  for (int k = 0; k <= 10; ++k) AddSample(1.0 - k * 0.1, {{0, 4200}});
  const QImage image = Draw();
  EXPECT_EQ(Settings.TMinBanner, NoValue16);
  EXPECT_EQ(Settings.TMaxBanner, NoValue16);
  EXPECT_EQ(Count(image, Ink, 0, 0, image.width(), 80), 0);  // no curve, no legend
  EXPECT_EQ(Count(image, Grid, 20, 12, 80, 67), 0);          // no value grid
  EXPECT_GT(Count(image, Grid, 80, 14, 100, 64), 10);        // the time grid at x = 91

  // With the scale fixed, grid and legend are drawn, still without a curve.
  Settings.TAutoBanner = false;
  Settings.TMinBanner = 1500;
  Settings.TMaxBanner = 5500;  // 10-degree step: y 65, 52 (51.75), 38.5 ...
  const QImage fixed = Draw();
  EXPECT_EQ(At(fixed, 20, 52), Grid);
  EXPECT_EQ(At(fixed, 21, 52), ScBack);
  EXPECT_GT(Count(fixed, Ink, 0, 0, fixed.width(), 10), 0);
  EXPECT_EQ(Count(fixed, Ink, 0, 12, fixed.width(), 67), 0);
}

TEST_F(Banner, TooFewSamplesLeaveThePreviousPicture) {
  QImage image(50, 20, QImage::Format_RGB32);
  image.fill(qRgb(1, 2, 3));
  for (const int samples : {0, 1}) {
    Stats8h = tStatStore{};
    for (int k = 0; k < samples; ++k) AddSample(0, {});
    DrawBanner(image, Display());
    EXPECT_EQ(image.size(), QSize(50, 20));
    EXPECT_EQ(image.pixel(10, 10), qRgb(1, 2, 3));
  }
  EXPECT_EQ(EventLog().find("Drawing banner"), std::string::npos);
}

TEST_F(Banner, HandEditedLimitsNeitherDivideByZeroNorLeaveThePicture) {
  Show(0, 4200, Ink);
  for (int k = 0; k <= 20; ++k) AddSample(1.0 - k * 0.05, {{0, 4200}});
  // Widths out of range are held at 480 .. 3072.
  for (const auto& [setting, drawn] : {std::pair{0, 480}, {-7, 480}, {100000, 3072}}) {
    Settings.BannerWidth = setting;
    const QImage image = Draw();
    EXPECT_EQ(image.width(), drawn) << setting;
    EXPECT_EQ(image.height(), 80);
  }
  Settings.BannerWidth = 530;
  // Spans out of range still give a curve inside the band.
  for (const double span : {0.0, -3.0, 1e12, std::numeric_limits<double>::quiet_NaN(),
                            std::numeric_limits<double>::infinity()}) {
    Settings.SpanBanner = span;
    const QImage image = Draw();
    ASSERT_EQ(image.width(), 530) << span;
    EXPECT_GT(Count(image, Ink, 8, 12, 510, 67), 0) << span;
  }
  Settings.SpanBanner = 6;

  // Equal limits: no scale, so no grid and no curve; reversed limits draw no curve either.
  Settings.TAutoBanner = false;
  for (const auto& [lo, hi] : {std::pair{4000, 4000}, {5000, 3000}}) {
    Settings.TMinBanner = lo;
    Settings.TMaxBanner = hi;
    const QImage image = Draw();
    EXPECT_EQ(Count(image, Ink, 0, 12, 530, 67), 0) << lo;
    EXPECT_EQ(Count(image, Grid, 20, 12, 80, 67), 0) << lo;
  }
  // Limits far beyond any reading: a few grid lines, quickly.
  Settings.TMinBanner = -2000000000;
  Settings.TMaxBanner = 2000000000;
  const auto start = std::chrono::steady_clock::now();
  const QImage wide = Draw();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
  EXPECT_GT(Count(wide, Grid, 10, 12, 11, 67), 0);
  // A series whose count claims more samples than it holds.
  Stats8h.LastIndex = 1000;
  EXPECT_EQ(Draw().height(), 80);
  EXPECT_EQ(EventLog().find("db21 "), std::string::npos);
}

}  // namespace
}  // namespace kv
