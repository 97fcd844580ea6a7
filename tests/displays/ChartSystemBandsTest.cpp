// The memory, CPU, network, battery and disk bands, by pixels at fixed coordinates.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <functional>
#include <string>

#include "ChartState.h"
#include "displays/Canvas.h"
#include "displays/Chart.h"
#include "displays/ChartParts.h"
#include "displays/ChartSystemParts.h"
#include "statistics/StatStore.h"

namespace kv {
namespace {

constexpr TDateTime End = 45000.5;
constexpr double Hour = 1.0 / 24;
constexpr tColour In = MakeColour(200, 0, 0);
constexpr tColour Out = MakeColour(0, 0, 200);
constexpr tColour Mixed = MakeColour(100, 0, 100);

class SystemBands : public ChartState {
 protected:
  void SetUp() override {
    ChartState::SetUp();
    Settings.NetAuto = Settings.NetLog = Settings.MemAuto = false;
    Settings.NetSlots[0].ColourIn = In;
    Settings.NetSlots[0].ColourOut = Out;
    Stats8h = tStatStore{};
  }
  void TearDown() override {
    Stats8h = tStatStore{};
    DisplayState::TearDown();
  }

  // Break samples at the given ages in hours (oldest first); fill sets their values.
  static tStatStore Series(const std::vector<double>& ages,
                           const std::function<void(int k, tReadings&, tReadingsExtra&)>& fill = {}) {
    tStatStore s;
    for (size_t k = 0; k < ages.size(); ++k) {
      tReadings r{};
      tReadingsExtra e{};
      MakeBreakSample(End - ages[k] * Hour, r, e);
      if (fill) fill(static_cast<int>(k), r, e);
      s.Samples.push_back(r);
      s.SamplesExtra.push_back(e);
    }
    s.LastIndex = static_cast<int32_t>(ages.size()) - 1;
    return s;
  }

  ChartGeometry Draw(const tStatStore& s, double hours = 2) {
    auto g = DrawStatistics(image, Display(), s, End, hours);
    EXPECT_TRUE(g);
    return g.value_or(ChartGeometry{});
  }
  tColour At(int x, int y) const { return FromQRgb(image.pixel(x, y)); }
  // The top y0 of the first band in a section: its frame's top line lies at y0 + 5.
  int BandTop(const ChartGeometry& g, tChartSection s) const {
    for (int y = g.Rows[s].top; y < g.Rows[s].bottom; ++y)
      if (At(100, y) == Settings.cScBorder) return y - 5;
    ADD_FAILURE() << "no band in section " << s;
    return 0;
  }

  QImage image;
};

// ---- Network ----

// Counter values (KiB) that give the rates in KiB/s over 0.1-hour intervals (360 s).
void SetCounters(tReadings& r, int slot, double in, double out) {
  r.NetIn[slot] = static_cast<int32_t>(in);
  r.NetOut[slot] = static_cast<int32_t>(out);
}

TEST_F(SystemBands, NetworkBarsShowTheLargerRateAboveTheMixedColour) {
  Settings.NetSlots[0].Vis = true;
  Settings.NetMin = 0;
  Settings.NetMax = 96;
  // Ages 0.35 .. 0.05 h: interval A (0.05..0.15) received 48, sent 24 KiB/s; interval B
  // (0.15..0.25) received 12, sent 72; interval C (0.25..0.35) the counters restart.
  const double in[] = {1000000, 5000, 5000 + 12 * 360, 5000 + 12 * 360 + 48 * 360};
  const double out[] = {2000000, 7000, 7000 + 72 * 360, 7000 + 72 * 360 + 24 * 360};
  const tStatStore s = Series({0.35, 0.25, 0.15, 0.05}, [&](int k, tReadings& r, tReadingsExtra&) {
    SetCounters(r, 0, in[k], out[k]);
  });
  const ChartGeometry g = Draw(s);
  const int y0 = BandTop(g, csNetwork);
  const int bottom = y0 + 87;  // last plot row
  // A spans x 468..492: received (larger) from y0 + 48, the mixed colour from y0 + 68.
  EXPECT_EQ(At(480, y0 + 46), Settings.cScBack);  // y0 + 47 is a grid line
  EXPECT_EQ(At(480, y0 + 50), In);
  EXPECT_EQ(At(480, y0 + 66), In);
  EXPECT_EQ(At(480, y0 + 69), Mixed);
  EXPECT_EQ(At(480, bottom), Mixed);
  // B spans x 443..467: sent (larger) from y0 + 28, mixed below the received rate at y0 + 78.
  EXPECT_EQ(At(455, y0 + 26), Settings.cScBack);
  EXPECT_EQ(At(455, y0 + 30), Out);
  EXPECT_EQ(At(455, y0 + 76), Out);
  EXPECT_EQ(At(455, y0 + 79), Mixed);
  // C: a counter that went back has no rate, so no bar.
  EXPECT_EQ(At(430, y0 + 80), Settings.cScBack);
  EXPECT_EQ(At(430, bottom - 2), Settings.cScBack);
}

TEST_F(SystemBands, ARestartingCounterAddsNoTrafficAndNoRate) {
  Settings.NetSlots[0].Vis = true;
  Settings.NetAuto = true;
  // The only interval has counters that went back: no totals, so no band at all.
  const tStatStore restart = Series({0.15, 0.05}, [](int k, tReadings& r, tReadingsExtra&) {
    SetCounters(r, 0, k == 0 ? 900000 : 10, k == 0 ? 900000 : 10);
  });
  ChartGeometry g = Draw(restart);
  EXPECT_EQ(g.Rows[csNetwork].top, g.Rows[csNetwork].bottom);

  // Next to a real interval, the restart leaves the automatic scale at that interval's rates.
  const tStatStore mixed = Series({0.25, 0.15, 0.05}, [](int k, tReadings& r, tReadingsExtra&) {
    const double v[] = {900000, 10, 10 + 40 * 360};
    SetCounters(r, 0, v[k], v[k]);
  });
  g = Draw(mixed);
  EXPECT_LT(g.Rows[csNetwork].top, g.Rows[csNetwork].bottom);
  EXPECT_EQ(Settings.NetMin, 0);
  EXPECT_EQ(Settings.NetMax, 40);
}

TEST_F(SystemBands, OfflineTimeIsPaintedInTheBackgroundColour) {
  Settings.NetSlots[0].Vis = true;
  Settings.NetMin = 0;
  Settings.NetMax = 96;
  // A break sample at age 0.25 h between traffic on both sides.
  const tStatStore s = Series({0.45, 0.35, 0.25, 0.15, 0.05}, [](int k, tReadings& r, tReadingsExtra&) {
    if (k != 2) SetCounters(r, 0, k * 20000, k * 20000);
  });
  Settings.ShowOfflineTime = true;
  ChartGeometry g = Draw(s);
  int y0 = BandTop(g, csNetwork);
  // Intervals 0.15..0.25 and 0.25..0.35 h: x 443..467 and 418..442.
  EXPECT_EQ(At(455, y0 + 40), Settings.cBack);
  EXPECT_EQ(At(430, y0 + 40), Settings.cBack);
  EXPECT_EQ(At(455, y0 + 6), Settings.cBack);
  EXPECT_EQ(At(455, y0 + 87), Settings.cBack);
  EXPECT_NE(At(480, y0 + 40), Settings.cBack);

  Settings.ShowOfflineTime = false;
  g = Draw(s);
  y0 = BandTop(g, csNetwork);
  EXPECT_EQ(At(455, y0 + 40), Settings.cScBack);
}

TEST_F(SystemBands, LogarithmicScaleStartsAtOneWhenNetMinIsZero) {
  Settings.NetSlots[0].Vis = true;
  Settings.NetLog = true;
  Settings.NetMin = 0;
  Settings.NetMax = 1024;
  // Received 32 KiB/s (half way between ln 1 and ln 1024), nothing sent.
  const tStatStore s = Series({0.15, 0.05}, [](int k, tReadings& r, tReadingsExtra&) {
    SetCounters(r, 0, k * 32 * 360, 0);
  });
  const ChartGeometry g = Draw(s);
  const int y0 = BandTop(g, csNetwork);
  EXPECT_EQ(At(480, y0 + 46), Settings.cScBack);
  EXPECT_EQ(At(480, y0 + 49), In);
  EXPECT_EQ(At(480, y0 + 87), In);  // a zero rate sits on the scale's bottom: no mixed part
  EXPECT_EQ(Settings.NetMin, 0);
}

TEST_F(SystemBands, NetworkScaleFallsBackWhenItsEndsMeet) {
  Settings.NetSlots[0].Vis = true;
  const tStatStore s = Series({0.15, 0.05}, [](int k, tReadings& r, tReadingsExtra&) {
    SetCounters(r, 0, k * 1000, k * 1000);
  });
  Settings.NetMin = 50;
  Settings.NetMax = 50;
  Draw(s);
  EXPECT_EQ(Settings.NetMin, 0);
  EXPECT_EQ(Settings.NetMax, 96);
  Settings.NetMin = -5;
  Settings.NetMax = 900000;
  Settings.NetLog = true;
  Draw(s);
  EXPECT_EQ(Settings.NetMin, 0);
  EXPECT_EQ(Settings.NetMax, 131072);
}

// ---- Battery ----

class BatteryBands : public SystemBands {
 protected:
  void SetUp() override {
    SystemBands::SetUp();
    Settings.visBat = true;
    Settings.colBat = MakeColour(128, 0, 128);
    Settings.BatHeight = 40;
    Readings.Time = End;
    Readings.BatCap = 25000;
    Readings.BatFull = 50000;
    BatDesign = 60000;
  }
  // Half charged, 50000 of a 60000 design capacity, one sample an hour over 200 hours.
  tStatStore HalfCharged() const {
    std::vector<double> ages;
    for (int h = 200; h >= 1; --h) ages.push_back(h - 0.5);
    return Series(ages, [](int, tReadings& r, tReadingsExtra&) {
      r.BatCap = 25000;
      r.BatFull = 50000;
    });
  }
};

TEST_F(BatteryBands, ChargeBandBelow240HoursWearBandFrom240On) {
  const tStatStore s = HalfCharged();
  // 168 hours: the charge band, filled to half of H = 40: from y0 + 27 down.
  ChartGeometry g = Draw(s, 168);
  int y0 = BandTop(g, csBattery);
  EXPECT_EQ(At(300, y0 + 22), Settings.cScBack);
  EXPECT_EQ(At(300, y0 + 30), Settings.colBat);
  EXPECT_EQ(At(300, y0 + 46), Settings.colBat);

  // 240 hours: the wear band, filled to 50000 / 60000 of H: from y0 + 14 down, and only one band.
  g = Draw(s, 240);
  y0 = BandTop(g, csBattery);
  EXPECT_EQ(At(300, y0 + 12), Settings.cScBack);
  EXPECT_EQ(At(300, y0 + 22), Settings.colBat);
  EXPECT_EQ(g.Rows[csBattery].bottom - g.Rows[csBattery].top, 4 + 40 + 8 + 9);

  // No worn battery, no wear band; no full capacity, no charge band.
  BatDesign = 0;
  g = Draw(s, 240);
  EXPECT_EQ(g.Rows[csBattery].top, g.Rows[csBattery].bottom);
  Readings.BatFull = 0;
  g = Draw(s, 2);
  EXPECT_EQ(g.Rows[csBattery].top, g.Rows[csBattery].bottom);
}

TEST_F(BatteryBands, SamplesWithoutAFullCapacityLeaveAGap) {
  tStatStore s = HalfCharged();
  for (int k = 100; k < 150; ++k) s.Samples[k].BatFull = 0;  // ages 100.5 .. 51.5 h
  for (int k = 150; k < 155; ++k) s.Samples[k].BatFull = -7;
  const ChartGeometry g = Draw(s, 168);
  const int y0 = BandTop(g, csBattery);
  const int x75 = 505 - static_cast<int>(75 * 500.0 / 168);
  EXPECT_EQ(At(x75, y0 + 40), Settings.cScBack);
  EXPECT_EQ(At(x75 - 80, y0 + 40), Settings.colBat);
  EXPECT_EQ(At(x75 + 42, y0 + 40), Settings.cScBack);  // age 61 h
  EXPECT_EQ(At(505 - static_cast<int>(30 * 500.0 / 168), y0 + 40), Settings.colBat);
}

// ---- Disks ----

TEST_F(SystemBands, DiskBoxFrameBarAndBevel) {
  Settings.ReadDisk = true;
  const tColour bar = MakeColour(10, 120, 10);
  Settings.DiskSlots[0].Vis = true;  // unreadable: no box
  Settings.DiskSlots[0].TotalKB = 0;
  Settings.DiskSlots[0].FreeKB = 0;
  const ChartGeometry none = Draw(Series({0.1}));
  EXPECT_EQ(none.Rows[csDisks].top, none.Rows[csDisks].bottom);

  Settings.DiskSlots[1].Vis = true;
  Settings.DiskSlots[1].Colour = bar;
  Settings.DiskSlots[1].TotalKB = 2000;
  Settings.DiskSlots[1].FreeKB = 1000;  // half used: b = 4 + trunc(535 / 2) = 271
  Settings.DiskSlots[2].Vis = true;
  Settings.DiskSlots[2].Colour = bar;
  Settings.DiskSlots[2].TotalKB = 2000;
  Settings.DiskSlots[2].FreeKB = 5000;  // more free than the drive holds: nothing used, no bar
  const ChartGeometry g = Draw(Series({0.1}));
  const int Y = g.Rows[csDisks].top;
  EXPECT_EQ(g.Rows[csDisks].bottom, Y + 16 + 16 + 4);
  EXPECT_EQ(At(250, Y + 7), Settings.cScBorder);   // frame top
  EXPECT_EQ(At(250, Y + 20), Settings.cScBorder2); // bevel bottom
  EXPECT_EQ(At(539, Y + 14), Settings.cScBorder2); // bevel right
  EXPECT_EQ(At(5, Y + 7), Settings.cBack);         // rounded corners
  EXPECT_EQ(At(539, Y + 20), Settings.cBack);
  EXPECT_EQ(At(6, Y + 8), Settings.cScBorder);
  EXPECT_EQ(At(538, Y + 19), Settings.cScBorder2);
  EXPECT_EQ(At(250, Y + 12), bar);
  EXPECT_EQ(At(269, Y + 8), bar);
  EXPECT_EQ(At(270, Y + 12), bar);
  EXPECT_EQ(At(270, Y + 8), Settings.cScBack);  // the bar's rounded end
  EXPECT_EQ(At(270, Y + 19), Settings.cScBack);
  EXPECT_EQ(At(271, Y + 12), Settings.cScBack);
  // The second box has no bar and paints nothing left of its frame.
  EXPECT_EQ(At(300, Y + 16 + 12), Settings.cScBack);
  EXPECT_EQ(At(3, Y + 16 + 8), Settings.cBack);
}

// ---- Memory ----

TEST_F(SystemBands, MemFreeDrawsNoCacheArea) {
  Settings.visCache = 1;
  Settings.MemMin = 0;
  Settings.MemMax = 1048576;
  Settings.colMemCache = MakeColour(0, 48, 96);
  MemTotal = 2000000;
  const tStatStore s = Series({1.5, 1.0, 0.5, 0.1}, [](int, tReadings& r, tReadingsExtra&) {
    r.Cache = 524288;
    r.MemFree = 100000;
    r.MemUsed = 900000;
  });
  ChartGeometry g = Draw(s);
  int y0 = BandTop(g, csMemory);
  EXPECT_EQ(At(300, y0 + 50), Settings.colMemCache);  // half of H = 60: from y0 + 37 down
  EXPECT_EQ(At(300, y0 + 30), Settings.cScBack);

  Settings.MemFree = true;
  g = Draw(s);
  y0 = BandTop(g, csMemory);
  EXPECT_NE(At(300, y0 + 50), Settings.colMemCache);
}

// Scale labels reach left into the plot; a full area must not paint over their first digits.
TEST_F(SystemBands, MemoryScaleLabelsStayAboveTheAreas) {
  Settings.visMem = 1;
  Settings.MemMin = 0;
  Settings.MemMax = 400 * 1048576 + 50000;  // labels such as "200.02 GB", wider than the 38 px margin
  Settings.colMem = MakeColour(0, 48, 96);
  Settings.cScDesc = MakeColour(250, 0, 250);
  MemTotal = 480 * 1048576;
  const ChartGeometry g = Draw(Series({1.9, 1.5, 1.0, 0.5, 0.1, 0.05, 0.0}, [&](int, tReadings& r, tReadingsExtra&) {
    r.MemUsed = Settings.MemMax;
  }));
  const int y0 = BandTop(g, csMemory);
  int ink = 0;  // label pixels left of the margin, where the area lies under them
  for (int x = 550 - 70; x < 550 - 55; ++x)
    for (int y = y0 + 8; y < y0 + 7 + Settings.MemHeight; ++y) ink += At(x, y) == Settings.cScDesc;
  EXPECT_GT(ink, 10);
}

TEST_F(SystemBands, MemoryAutomaticScaleIsWrittenBack) {
  Settings.MemAuto = true;
  Settings.visMem = 1;
  Settings.visCache = 1;
  Readings.MemUsed = 200000;
  Readings.Cache = 60000;
  const tStatStore s = Series({1.5, 1.0, 0.5}, [](int k, tReadings& r, tReadingsExtra&) {
    r.MemUsed = 100000 + 100000 * k;
    r.Cache = 50000;
  });
  Draw(s);
  EXPECT_EQ(Settings.MemMin, 2 * 16384);   // the cache's floor(50000 / 16384 - 1)
  EXPECT_EQ(Settings.MemMax, 20 * 16384);  // ceil(300000 / 16384 + 1)

  // Without data the scale stays unset and the band draws no values (and does not fail).
  const ChartGeometry g = Draw(Series({0.5}));
  EXPECT_LT(g.Rows[csMemory].top, g.Rows[csMemory].bottom);
  EXPECT_EQ(EventLog().find("ds3"), std::string::npos);
  Settings.MemAuto = false;
  Settings.MemMin = Settings.MemMax = 4096;  // ends that meet
  Settings.MemHeight = -30;
  Draw(s);
  EXPECT_EQ(EventLog().find("ds3"), std::string::npos);
}

// ---- CPU ----

TEST_F(SystemBands, UserActivityLineAndActiveSeconds) {
  Settings.visUser = true;
  Settings.colUser = MakeColour(250, 150, 0);
  // Oldest to newest: 300, 350 (+50), 10 (a restart: 0), 70 (+60).
  const int secs[] = {300, 350, 10, 70};
  const tStatStore s = Series({0.35, 0.25, 0.15, 0.05}, [&](int k, tReadings&, tReadingsExtra& e) {
    e.UserSecs = secs[k];
  });
  const ChartGeometry g = Draw(s);
  const int y0 = BandTop(g, csCPU);
  const int H = Settings.CPUHeight;
  // x of the curve points: ages 0.05, 0.15, 0.25, 0.35 at 493, 468, 443, 418.
  EXPECT_EQ(At(480, y0 + H + 6), Settings.colUser);
  EXPECT_EQ(At(480, y0 + H + 7), Settings.colUser);
  EXPECT_EQ(At(430, y0 + H + 6), Settings.colUser);
  EXPECT_EQ(At(455, y0 + H + 6), Settings.cScGrid);
  EXPECT_EQ(At(455, y0 + H + 7), Settings.cScBack);

  QImage scratch(600, 600, QImage::Format_RGB32);
  Canvas c(scratch);
  tChartContext ctx(c, Display(), s);
  ctx.W = 550;
  ctx.endTime = End;
  ctx.hours = 2;
  SetUpChart(ctx);
  EXPECT_EQ(DrawUserActivity(ctx, 0, 60, false), 110);
  ctx.hours = 0.2;  // only the newest interval lies in the window
  SetUpChart(ctx);
  EXPECT_EQ(DrawUserActivity(ctx, 0, 60, false), 60);
}

TEST_F(SystemBands, ClockAreaWithoutAMaximumIsLeftOut) {
  Settings.visCPUFreq = true;
  Settings.cFreq = MakeColour(0, 0, 200);
  const tStatStore s = Series({1.0, 0.5, 0.1}, [](int, tReadings& r, tReadingsExtra&) { r.Freq = 2000000; });
  FreqMax = 0;
  ChartGeometry g = Draw(s);
  int y0 = BandTop(g, csCPU);
  EXPECT_EQ(At(300, y0 + 60), Settings.cScBack);
  FreqMax = 4000000;  // half the band, in the mean of cFreq and cScBack
  g = Draw(s);
  y0 = BandTop(g, csCPU);
  EXPECT_EQ(At(300, y0 + 60), MeanColour(Settings.cFreq, Settings.cScBack));
  EXPECT_EQ(At(300, y0 + 30), Settings.cScBack);
}

// ---- GPU ----

TEST_F(SystemBands, GpuBandDrawsLoadAndPowerFromTheHistoryWhenSwitchedOn) {
  const tColour load = MakeColour(0, 160, 0), power = MeanColour(load, MakeColour(0, 0, 0));
  Settings.GPUPowerMax = 200;
  auto series = [](bool withHistory) {
    return Series({0.35, 0.25, 0.15, 0.05}, [withHistory](int, tReadings&, tReadingsExtra& e) {
      std::vector<tGpu> gpus(1);
      gpus[0].Load = 5000;
      gpus[0].Power = 150000;  // 75 % of 200 W
      if (withHistory) StoreGpuHistory(e, gpus);
    });
  };
  // The y of the first pixel of colour c in column 455 of the band, or -1.
  auto find = [this](const ChartGeometry& g, tColour c) {
    for (int y = g.Rows[csGPU].top; y < g.Rows[csGPU].bottom; ++y)
      if (At(455, y) == c) return y;
    return -1;
  };
  ChartGeometry g = Draw(series(true));
  EXPECT_EQ(g.Rows[csGPU].top, g.Rows[csGPU].bottom) << "off by default";

  Settings.visGPU1 = true;
  g = Draw(series(true));
  const int y0 = BandTop(g, csGPU), H = Settings.GPUHeight;
  const int yLoad = find(g, load), yPower = find(g, power);
  ASSERT_GE(yLoad, 0);
  ASSERT_GE(yPower, 0);
  EXPECT_NEAR(yLoad, y0 + 6 + H / 2, 2);
  EXPECT_NEAR(yPower, y0 + 6 + H / 4, 2);
  EXPECT_EQ(At(455, yLoad + 1), load) << "the load is bold";

  g = Draw(series(false));  // a file from before the GPU history
  EXPECT_EQ(find(g, load), -1);
  EXPECT_EQ(find(g, power), -1);

  // Its icon in the band's lower left corner: the board's colour, which nothing else draws.
  LoadBandIcons(KV_BIN_DIR "/");
  const QRgb board = BandIcon(biGpu).pixel(3, 6);
  g = Draw(series(true));
  LoadBandIcons("");  // the other tests draw without icons
  int boardPixels = 0;
  for (int y = g.Rows[csGPU].top; y < g.Rows[csGPU].bottom; ++y)
    for (int x = 8; x < 24; ++x) boardPixels += image.pixel(x, y) == board;
  EXPECT_GT(boardPixels, 50);
}

// Not a check: writes every system band at once for a look (KV_CHART_LOOK=file.png).
TEST_F(BatteryBands, AllSystemBandsForALook) {
  const char* file = std::getenv("KV_CHART_LOOK");
  if (!file) GTEST_SKIP();
  Settings.Page = Settings.visMem = Settings.visCache = 1;
  Settings.visUser = Settings.visCPUFreq = true;
  Settings.ReadDisk = true;
  Settings.MemAuto = Settings.NetAuto = true;
  Settings.NetSlots[0].Vis = true;
  Settings.CPUCfg[0].Vis = 1;
  Settings.CPUCfg[0].Colour = MakeColour(0, 150, 0);
  Settings.DiskSlots[0] = {true, false, MakeColour(0, 120, 200), "/", "root", 2000000, 700000};
  MemTotal = PageTotal = 4000000;
  FreqMax = 3000000;
  Readings.Freq = 2000000;
  std::vector<double> ages;
  for (int m = 118; m >= 1; --m) ages.push_back(m / 60.0);
  tStatStore s = Series(ages, [](int k, tReadings& r, tReadingsExtra& e) {
    r.MemUsed = 1500000 + 10000 * (k % 20);
    r.PageUsed = 2500000;
    r.Cache = 600000;
    r.CPU[0] = static_cast<int16_t>(3000 + 50 * (k % 40));
    r.Freq = 1000000 + 20000 * k;
    r.NetIn[0] = k * k * 300;
    r.NetOut[0] = k * 5000;
    r.BatCap = 20000 + 100 * k;
    r.BatFull = 50000;
    e.UserSecs = k * 20 - (k > 60 ? 1000 : 0);
  });
  for (int k = 0; k < static_cast<int>(s.Samples.size()); ++k) {
    std::vector<tGpu> gpus(2);
    gpus[0].Load = static_cast<int32_t>(5000 + 4000 * std::sin(k / 8.0));
    gpus[0].Power = 60000 + 900 * (k % 50);
    gpus[1].Load = 1000 + 60 * k;
    gpus[1].Power = 20000 + 300 * k;
    StoreGpuHistory(s.SamplesExtra[k], gpus);
    if (k + 1 == static_cast<int>(s.Samples.size())) Current.Gpus = gpus;
  }
  Current.Gpus[0].Name = "Fake GeForce A";
  Current.Gpus[1].Name = "card0 amdgpu";
  Settings.visGPU1 = Settings.visGPU2 = true;
  MakeBreakSample(s.Samples[50].Time, s.Samples[50], s.SamplesExtra[50]);
  Stats8h = s;
  Draw(s);
  image.save(file);
}

}  // namespace
}  // namespace kv
