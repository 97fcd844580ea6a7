// The chart view without a window: which series and time window each state shows, how "<", ">"
// and the wheel move between the states, what the hover hint says and where a double-click leads.
#include "displays/ChartView.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <climits>
#include <ctime>
#include <stdexcept>
#include <vector>

#include "DisplayState.h"
#include "statistics/StatStore.h"
#include "support/TimeZone.h"

namespace kv {
namespace {

constexpr double Second = 1.0 / SecondsPerDay;

TDateTime At(int y, int mo, int d, int h = 0, int mi = 0, int s = 0) { return EncodeDateTime({y, mo, d, h, mi, s, 0}); }

class ChartViewTest : public DisplayState {
 protected:
  void SetUp() override {
    DisplayState::SetUp();
    for (auto& c : Settings.VCfg) c.Vis = 0;
    for (auto& c : Settings.CPUCfg) c.Vis = 0;
    for (auto& n : Settings.NetSlots) n.Vis = false;
    Settings.visBat = false;
    Stats8h = Stats7d = Stats1a = tStatStore{};
    Readings.Time = At(2026, 1, 15, 13, 0);
  }

  static void Expect(const tViewChoice& v, const tStatStore* series, TDateTime endTime, double hours) {
    EXPECT_EQ(v.series, series);
    EXPECT_NEAR((v.endTime - endTime) * SecondsPerDay, 0.0, 1e-3) << DateTimeText(v.endTime);
    EXPECT_DOUBLE_EQ(v.hours, hours);
  }

  kvtest::Zone zone{"Europe/Berlin"};
  ChartView view;
};

// ---- Navigation ---------------------------------------------------------------------------

TEST_F(ChartViewTest, BackStepsByDayThenByWeek) {
  TDateTime now = At(2026, 1, 15, 14, 30);  // winter: local = UTC + 1 h
  Expect(view.CurrentView(Display(), now), &Stats8h, Readings.Time, 2.0);

  view.Back1Day(now);
  EXPECT_FALSE(view.Checked());
  Expect(view.CurrentView(Display(), now), &Stats7d, At(2026, 1, 14, 22, 59, 59), 24);
  EXPECT_NEAR(view.CurrentView(Display(), now).endTime, LocalToUtc(At(2026, 1, 15) - Second), 1e-9);

  // Pressing takes time; each further press is a second later.
  for (int press = 2; press <= 6; ++press) view.Back1Day(now += Second);
  Expect(view.CurrentView(Display(), now), &Stats7d, LocalToUtc(At(2026, 1, 9, 23, 59, 59)), 24);

  view.Back1Day(now += Second);
  Expect(view.CurrentView(Display(), now), &Stats1a, LocalToUtc(At(2026, 1, 8, 23, 59, 59)), 168);
  view.Back1Day(now += Second);
  Expect(view.CurrentView(Display(), now), &Stats1a, LocalToUtc(At(2026, 1, 1, 23, 59, 59)), 168);

  // Forward from 13 days back: a week, then (no longer more than 7 days back) a day.
  view.Forward1Day(now);
  Expect(view.CurrentView(Display(), now), &Stats1a, LocalToUtc(At(2026, 1, 8, 23, 59, 59)), 168);
  view.Forward1Day(now);
  Expect(view.CurrentView(Display(), now), &Stats7d, LocalToUtc(At(2026, 1, 9, 23, 59, 59)), 24);
  EXPECT_FALSE(view.Checked());
}

TEST_F(ChartViewTest, ADayExactlySixDaysBackTurnsIntoAWeekAsTimePasses) {
  const TDateTime now = At(2026, 1, 15, 14, 30);
  for (int press = 1; press <= 7; ++press) view.Back1Day(now);
  Expect(view.CurrentView(Display(), now), &Stats7d, LocalToUtc(At(2026, 1, 8, 23, 59, 59)), 24);
  Expect(view.CurrentView(Display(), now + 60 * Second), &Stats1a, LocalToUtc(At(2026, 1, 8, 23, 59, 59)), 168);
}

TEST_F(ChartViewTest, ForwardReturnsToTheLiveBasicView) {
  TDateTime now = At(2026, 1, 15, 9, 0);
  view.SelectView(tStatsView::Day24);
  view.Back1Day(now);
  view.Forward1Day(now += Second);  // one day past the first press: not in the past
  EXPECT_EQ(view.NavDate, 0);
  EXPECT_EQ(view.Checked(), tStatsView::Basic);
  Expect(view.CurrentView(Display(), now), &Stats8h, Readings.Time, 2.0);

  view.Back1Day(now += Second);
  view.Back1Day(now += Second);
  view.Forward1Day(now += Second);
  EXPECT_FALSE(view.Checked());
  Expect(view.CurrentView(Display(), now), &Stats7d, LocalToUtc(At(2026, 1, 14, 23, 59, 59)), 24);

  // In a live view ">" only returns to the basic entry.
  view.SelectView(tStatsView::Week7);
  EXPECT_EQ(view.NavDate, 0);
  Expect(view.CurrentView(Display(), now), &Stats7d, Readings.Time, 168);
  view.Forward1Day(now);
  EXPECT_EQ(view.Checked(), tStatsView::Basic);
  EXPECT_EQ(view.NavDate, 0);
}

TEST_F(ChartViewTest, APositionInTheFutureShowsTheBasicSpan) {
  Settings.SpanStats = 4.5;
  const TDateTime now = At(2026, 1, 15, 9, 0);
  view.Back1Day(now);
  // The clock was set back by two days.
  Expect(view.CurrentView(Display(), now - 2), &Stats8h, Readings.Time, 4.5);
}

TEST_F(ChartViewTest, YesterdayEndsAtLocalMidnightAcrossDaylightSavingChanges) {
  // The day of the spring change: yesterday ended in winter time.
  view.Back1Day(At(2026, 3, 29, 12, 0));
  Expect(view.CurrentView(Display(), At(2026, 3, 29, 12, 0)), &Stats7d, At(2026, 3, 28, 22, 59, 59), 24);
  // The day after: yesterday (the change day) ended in summer time.
  view.SelectView(tStatsView::Basic);
  view.Back1Day(At(2026, 3, 30, 10, 0));
  Expect(view.CurrentView(Display(), At(2026, 3, 30, 10, 0)), &Stats7d, At(2026, 3, 29, 21, 59, 59), 24);
  // The day after the autumn change: winter time again.
  view.SelectView(tStatsView::Basic);
  view.Back1Day(At(2026, 10, 26, 10, 0));
  Expect(view.CurrentView(Display(), At(2026, 10, 26, 10, 0)), &Stats7d, At(2026, 10, 25, 22, 59, 59), 24);
}

TEST_F(ChartViewTest, WheelWalksTheLiveEntriesAndStopsAtTheEnds) {
  EXPECT_TRUE(view.Wheel(false));
  EXPECT_EQ(view.Checked(), tStatsView::Day24);
  EXPECT_TRUE(view.Wheel(false));
  EXPECT_EQ(view.Checked(), tStatsView::Week7);
  EXPECT_FALSE(view.Wheel(false));
  EXPECT_EQ(view.Checked(), tStatsView::Week7);
  EXPECT_TRUE(view.Wheel(true));
  EXPECT_EQ(view.Checked(), tStatsView::Day24);
  EXPECT_TRUE(view.Wheel(true));
  EXPECT_EQ(view.Checked(), tStatsView::Basic);
  EXPECT_FALSE(view.Wheel(true));
  EXPECT_EQ(view.Checked(), tStatsView::Basic);

  const TDateTime now = At(2026, 1, 15, 9, 0);
  view.Back1Day(now);
  const TDateTime position = view.NavDate;
  EXPECT_FALSE(view.Wheel(true));
  EXPECT_FALSE(view.Wheel(false));
  EXPECT_FALSE(view.Checked());
  EXPECT_EQ(view.NavDate, position);
}

// ---- Hover --------------------------------------------------------------------------------

class HoverTest : public ChartViewTest {
 protected:
  void SetUp() override {
    ChartViewTest::SetUp();
    geometry.EndTime = At(2026, 1, 15, 12, 0);
    geometry.PxPerHour = 250;  // W = 550, 2 hours
    geometry.HalfPixelHours = 2.0 / 500 / 2;
    int y = 2;
    for (int r = 0; r < ChartSections; ++r) {
      geometry.Rows[r] = {y, y + (r == csBattery ? 0 : 50)};
      y = geometry.Rows[r].bottom;
    }
  }

  // A sample at t with every value a marker; tests fill in what they need.
  tReadings& Add(tStatStore& s, TDateTime t) {
    s.Samples.emplace_back();
    s.SamplesExtra.emplace_back();
    MakeBreakSample(t, s.Samples.back(), s.SamplesExtra.back());
    s.LastIndex = static_cast<int32_t>(s.Samples.size()) - 1;
    return s.Samples.back();
  }

  std::string TimeLine(TDateTime sampleUtc) const {
    const TDateTime local = UtcToLocal(sampleUtc);
    return ShortDateText(local) + " " + LongTimeText(local);
  }

  std::string Text(tChartSection section, TDateTime t) { return ValuesText(Display(), series, section, t, geometry); }

  static constexpr int W = 550;
  ChartGeometry geometry;
  tStatStore series;
};

TEST_F(HoverTest, PointerColumnsMapBackToTimeAndSection) {
  EXPECT_NEAR((geometry.EndTime - HoverTime(geometry, W, 300)) * 24 * 60, 49.2, 1e-6);
  EXPECT_DOUBLE_EQ(HoverTime(geometry, W, W - 45), geometry.EndTime);

  EXPECT_EQ(SectionAt(geometry, W, 300, 3), csTemperatures);
  EXPECT_EQ(SectionAt(geometry, W, 6, 60), csVoltages);
  EXPECT_EQ(SectionAt(geometry, W, W - 46, 330), csCPU);
  EXPECT_FALSE(SectionAt(geometry, W, 5, 60));
  EXPECT_FALSE(SectionAt(geometry, W, W - 45, 60));
  EXPECT_FALSE(SectionAt(geometry, W, 300, 52));  // the line between two sections
  EXPECT_FALSE(SectionAt(geometry, W, 300, 2));
  EXPECT_FALSE(SectionAt(geometry, W, 300, 500));
  // The battery section drew nothing: its single line belongs to nobody.
  EXPECT_FALSE(SectionAt(geometry, W, 300, geometry.Rows[csBattery].top));
}

TEST_F(HoverTest, HintShowsTheNewestSampleAtOrBeforeThePointer) {
  // A 20-second series up to EndTime.
  for (int i = 360; i >= 0; --i) {
    tReadings& r = Add(Stats8h, geometry.EndTime - i * 20 * Second);
    r.T[0] = static_cast<int16_t>(4000 + i);
  }
  Settings.TCfg[0].Vis = 1;
  const auto hint = HoverHint(view, Display(), geometry, W, 300, 10, At(2026, 1, 15, 13, 0));
  ASSERT_TRUE(hint);
  // 49.2 minutes back is 2952 s: the sample 2940 s back is later, the one 2960 s back is shown.
  const TDateTime shown = geometry.EndTime - 2960 * Second;
  EXPECT_EQ(*hint, TimeLine(shown) + "\r\nT1: 41.5 °C");

  Settings.TimeInUTC = true;
  EXPECT_EQ(*HoverHint(view, Display(), geometry, W, 300, 10, At(2026, 1, 15, 13, 0)),
            ShortDateText(shown) + " " + LongTimeText(shown) + "\r\nT1: 41.5 °C");

  EXPECT_FALSE(HoverHint(view, Display(), geometry, W, 5, 10, 0));    // left margin: the hint stays
  EXPECT_FALSE(HoverHint(view, Display(), geometry, W, 300, 52, 0));  // section boundary
  Settings.DisplayHint = false;
  EXPECT_FALSE(HoverHint(view, Display(), geometry, W, 300, 10, 0));
}

TEST_F(HoverTest, GapsAndTheTimeBeforeTheFirstSampleShowNothing) {
  const TDateTime first = geometry.EndTime - 1.0 / 24;
  Add(series, first);
  Add(series, first + 600 * Second);
  // Twelve columns at 250 pixels an hour are 172.8 seconds.
  EXPECT_EQ(Text(csDisks, first + 172 * Second), TimeLine(first));
  EXPECT_EQ(Text(csDisks, first + 173 * Second), "");
  EXPECT_EQ(Text(csDisks, first + 599 * Second), "");
  EXPECT_EQ(Text(csDisks, first + 600 * Second), TimeLine(first + 600 * Second));
  EXPECT_EQ(Text(csDisks, first - Second), "");
}

TEST_F(HoverTest, SensorSectionsListVisibleChannelsWithValues) {
  tReadings& s = Add(series, geometry.EndTime);
  s.T[0] = 4750;
  s.T[1] = NoValue16;  // visible, no value
  s.T[2] = 3000;       // value, hidden
  s.V[0] = 1234;
  s.V[3] = 500;
  s.F[0] = -155;
  s.F[1] = 2400;
  s.CPU[1] = 5025;
  s.Freq = 1800000;
  FreqMax = 3600000;
  Settings.TCfg[0].Vis = Settings.TCfg[1].Vis = 1;
  Settings.TCfg[0].Name = "CPU %date%";
  Settings.VCfg[0].Vis = Settings.VCfg[3].Vis = 1;
  Settings.FCfg[0].Vis = Settings.FCfg[1].Vis = 1;
  Settings.FCfg[0].Name = "Pump";
  Settings.CPUCfg[0].Vis = Settings.CPUCfg[1].Vis = 1;
  const std::string head = TimeLine(s.Time);

  // Channel names take their placeholders at the pointer's time.
  EXPECT_EQ(Text(csTemperatures, s.Time), head + "\r\nCPU 20260115: 47.5 °C");
  EXPECT_EQ(Text(csVoltages, s.Time), head + "\r\nV1: 12.34 V\r\nV4: 5 V");
  EXPECT_EQ(Text(csFans, s.Time), head + "\r\nPump: 1.6 l/h\r\nF2: 2400 rpm");
  EXPECT_EQ(Text(csCPU, s.Time), head + "\r\nCore2: 50.3 %");
  Settings.visCPUFreq = true;
  EXPECT_EQ(Text(csCPU, s.Time), head + "\r\nClock (max. 3600 MHz): 1800 MHz\r\nCore2: 50.3 %");
  EXPECT_EQ(Text(csDisks, s.Time), head);

  // GPU slots from the sample's second record; a shown slot without figures has no line.
  Current.Gpus.resize(2);
  Current.Gpus[0].Name = "Fake GeForce";
  Current.Gpus[0].Power = 120500;
  Current.Gpus[0].Load = 8730;
  Current.Gpus[1].Load = 500;
  StoreGpuHistory(series.SamplesExtra.back(), Current.Gpus);
  Current.Gpus[0].Load = 0;  // the text is the sample's, not the current reading's
  Settings.visGPU1 = Settings.visGPU2 = Settings.visGPU3 = true;
  EXPECT_EQ(Text(csGPU, s.Time), head + "\r\nGPU1 Fake GeForce: 87.3 % / 120.5 W\r\nGPU2: 5 %");
}

TEST_F(HoverTest, MemoryLinesFollowTheFreeOrUsedSetting) {
  MemTotal = 1048576;   // shown as 1024 MB
  PageTotal = 2097152;  // shown as 2 GB
  tReadings& s = Add(series, geometry.EndTime);
  s.MemUsed = 262144;
  s.MemFree = 786432;
  s.PageUsed = 524288;
  s.PageFree = 1572864;
  s.Cache = 131072;  // 12.5 % rounds up
  const std::string head = TimeLine(s.Time);

  EXPECT_EQ(Text(csMemory, s.Time), head +
                                        "\r\nMemory used"
                                        "\r\nPage file (2 GB) 512 MB (25 %)"
                                        "\r\nPhysical memory (1024 MB) 256 MB (25 %)"
                                        "\r\nFile cache (1024 MB) 128 MB (13 %)");
  Settings.MemFree = true;
  EXPECT_EQ(Text(csMemory, s.Time), head +
                                        "\r\nMemory free"
                                        "\r\nPage file (2 GB) 1536 MB (75 %)"
                                        "\r\nPhysical memory (1024 MB) 768 MB (75 %)"
                                        "\r\nFile cache (1024 MB) 128 MB (13 %)");

  // A total nothing can be divided by, or a figure the sample lacks, leaves its line out.
  PageTotal = 0;
  s.Cache = NoValue32;
  EXPECT_EQ(Text(csMemory, s.Time), head + "\r\nMemory free\r\nPhysical memory (1024 MB) 768 MB (75 %)");
  MemTotal = 0;
  EXPECT_EQ(Text(csMemory, s.Time), head);
  MemTotal = 1048576;
  s.MemUsed = NoValue32;
  EXPECT_EQ(Text(csMemory, s.Time), head);
}

TEST_F(HoverTest, NetworkRatesNeedAnEarlierSample) {
  const TDateTime t0 = geometry.EndTime - 40 * Second;
  Add(series, t0);
  Add(series, t0 + 20 * Second);
  tReadings& p = series.Samples[0];
  tReadings& s = series.Samples[1];
  p.NetIn[0] = 1000;
  p.NetOut[0] = 2000;
  p.NetIn[1] = 0;
  p.NetOut[1] = 0;
  s.NetIn[0] = 1400;
  s.NetOut[0] = 2100;
  s.NetIn[1] = 100;
  s.NetOut[1] = NoValue32;  // slot 2 has no rate
  Settings.NetSlots[0].Vis = Settings.NetSlots[1].Vis = true;
  Settings.NetSlots[0].Name = "eth0 %date%";  // written as it is

  EXPECT_EQ(Text(csNetwork, t0), TimeLine(t0));
  EXPECT_EQ(Text(csNetwork, t0 + 20 * Second), TimeLine(t0 + 20 * Second) + "\r\neth0 %date%: Down 20 KB/s / Up 5 KB/s");
  Settings.NetSlots[0].Vis = false;
  EXPECT_EQ(Text(csNetwork, t0 + 20 * Second), TimeLine(t0 + 20 * Second));

  // Two samples with one time stamp give no rate.
  Settings.NetSlots[0].Vis = true;
  series.Samples[1].Time = t0;
  EXPECT_EQ(Text(csNetwork, t0), TimeLine(t0));
}

TEST_F(HoverTest, BatteryAndBreakSamples) {
  tReadings& s = Add(series, geometry.EndTime);
  s.BatCap = 30000;
  s.BatFull = 40000;
  const std::string head = TimeLine(s.Time);
  EXPECT_EQ(Text(csBattery, s.Time), head);
  Settings.visBat = true;
  EXPECT_EQ(Text(csBattery, s.Time), head + "\r\nBattery: 75.0 % (30000 of 40000 mWh)");
  s.BatCap = NoValue32;  // never printed as a figure
  EXPECT_EQ(Text(csBattery, s.Time), head);

  // A break sample: every section shows the time alone, whatever is switched on.
  Add(series, geometry.EndTime + Second);
  for (auto& c : Settings.TCfg) c.Vis = 1;
  for (auto& c : Settings.VCfg) c.Vis = 1;
  for (auto& c : Settings.FCfg) c.Vis = 1;
  for (auto& c : Settings.CPUCfg) c.Vis = 1;
  for (auto& n : Settings.NetSlots) n.Vis = true;
  Settings.visCPUFreq = Settings.visGPU1 = true;
  MemTotal = PageTotal = 1048576;
  for (int r = 0; r < ChartSections; ++r)
    EXPECT_EQ(Text(static_cast<tChartSection>(r), geometry.EndTime + Second), TimeLine(geometry.EndTime + Second))
        << "section " << r;
}

TEST_F(HoverTest, HostileGeometryAndSeriesNeverCrash) {
  // An empty drawing: no time axis, no hint.
  ChartGeometry empty;
  EXPECT_DOUBLE_EQ(HoverTime(empty, W, 300), 0);
  EXPECT_EQ(ValuesText(Display(), series, csTemperatures, 0, empty), "");
  EXPECT_FALSE(HoverHint(view, Display(), empty, W, 300, 0, 0));

  // An empty series, huge coordinates, a width smaller than the margins.
  EXPECT_EQ(Text(csTemperatures, geometry.EndTime), "");
  EXPECT_FALSE(HoverHint(view, Display(), geometry, W, INT_MAX, INT_MAX, 0));
  EXPECT_FALSE(HoverHint(view, Display(), geometry, W, INT_MIN, INT_MIN, 0));
  EXPECT_FALSE(SectionAt(geometry, INT_MIN, 300, 10));
  EXPECT_FALSE(SectionAt(geometry, 10, 7, 10));
  EXPECT_TRUE(std::isfinite(HoverTime(geometry, INT_MAX, INT_MIN)));

  // LastIndex beyond the stored samples: the newest stored one is used; -1 means empty.
  Add(series, geometry.EndTime);
  series.LastIndex = 1000;
  EXPECT_EQ(Text(csDisks, geometry.EndTime), TimeLine(geometry.EndTime));
  series.LastIndex = -1;
  EXPECT_EQ(Text(csDisks, geometry.EndTime), "");

  geometry.PxPerHour = -1;
  EXPECT_EQ(Text(csDisks, geometry.EndTime), "");
}

// ---- Double-click and resize --------------------------------------------------------------

TEST_F(HoverTest, DoubleClickOpensTheSectionsPageOrTheColours) {
  std::vector<int> opened;
  auto open = [&](int page) { opened.push_back(page); };
  const std::vector<int> pages{4, 5, 6, 7, 8, 9, 7};  // the battery and GPU sections are empty here
  for (int r = 0, k = 0; r < ChartSections; ++r) {
    if (r == csBattery || r == csGPU) continue;
    EXPECT_EQ(DoubleClickPage(geometry, W, 300, geometry.Rows[r].top + 1, open), pages[k++]) << "section " << r;
  }
  geometry.Rows[csBattery] = {geometry.Rows[csBattery].top, geometry.Rows[csBattery].top + 10};
  EXPECT_EQ(DoubleClickPage(geometry, W, 300, geometry.Rows[csBattery].top + 5, open), 13);
  geometry.Rows[csGPU] = {geometry.Rows[csGPU].top, geometry.Rows[csGPU].top + 10};
  EXPECT_EQ(DoubleClickPage(geometry, W, 300, geometry.Rows[csGPU].top + 5, open), 7);

  opened.clear();
  EXPECT_EQ(DoubleClickPage(geometry, W, 5, 10, open), 3);
  EXPECT_EQ(DoubleClickPage(geometry, W, W - 45, 10, open), 3);
  EXPECT_EQ(DoubleClickPage(geometry, W, 300, geometry.Rows[csVoltages].top, open), 3);
  EXPECT_EQ(opened, (std::vector<int>{3, 3, 3}));
}

TEST_F(HoverTest, AFailedSectionPageFallsBackToTheColours) {
  std::vector<int> tried;
  auto failing = [&](int page) {
    tried.push_back(page);
    if (page != 3) throw std::runtime_error("no options program");
  };
  EXPECT_EQ(DoubleClickPage(geometry, W, 300, 10, failing), 3);
  EXPECT_EQ(tried, (std::vector<int>{4, 3}));
  EXPECT_NE(EventLog().find("ismd1 no options program"), std::string::npos);

  auto broken = [](int) { throw std::runtime_error("gone"); };
  EXPECT_EQ(DoubleClickPage(geometry, W, 300, 10, broken), 0);
}

TEST(ChartResize, WidthFitsTheChartAndHeightNeverExceedsIt) {
  // Window 570 x 400 around a 550 x 320 scroll box; the chart is 550 x 900.
  const tWindowSize window{570, 400}, box{550, 320};
  // No change proposed: nothing to correct.
  EXPECT_EQ(CorrectResize(window, window, box, 550, 900, 17).width, 570);
  // Wider and shorter than the chart: the width snaps back, plus the vertical scroll bar.
  tWindowSize r = CorrectResize(window, {800, 500}, box, 550, 900, 17);
  EXPECT_EQ(r.width, 570 + 17);
  EXPECT_EQ(r.height, 500);
  // Taller than the chart: cut to the chart; no scroll bar.
  r = CorrectResize(window, {570, 1200}, box, 550, 900, 17);
  EXPECT_EQ(r.width, 570);
  EXPECT_EQ(r.height, 980);
  // Exactly the chart's height: neither.
  r = CorrectResize(window, {570, 980}, box, 550, 900, 17);
  EXPECT_EQ(r.width, 570);
  EXPECT_EQ(r.height, 980);
  // A zero-height chart and an enormous one.
  r = CorrectResize(window, {570, 500}, box, 550, 0, 17);
  EXPECT_EQ(r.height, 80);
  r = CorrectResize(window, {INT_MAX, INT_MAX}, box, INT_MAX, INT_MAX, INT_MAX);
  EXPECT_EQ(r.width, INT_MAX);
  EXPECT_GE(r.height, 0);
}

}  // namespace
}  // namespace kv
