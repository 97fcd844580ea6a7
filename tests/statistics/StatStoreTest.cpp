#include "statistics/StatStore.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QEventLoop>
#include <QTimer>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "statistics/StatFixture.h"
#include "support/RecordingUi.h"

namespace kv {
namespace {

constexpr double Sec = 1.0 / 86400.0;

class StatStoreTest : public StatFixture {
 protected:
  // One main-cycle tick after the given seconds.
  void Tick(int seconds) {
    clock_.Advance(seconds * 1000LL);
    Series.SampleAndAcquire(false);
  }
};

TEST_F(StatStoreTest, TwentySecondTicksOpenASampleEachTenSecondTicksEverySecond) {
  Series.SampleAndAcquire(true);
  ASSERT_EQ(Stats8h.LastIndex, 2);
  for (int i = 0; i < 5; ++i) Tick(20);
  int before = Stats8h.LastIndex;
  for (int i = 0; i < 6; ++i) Tick(20);
  EXPECT_EQ(Stats8h.LastIndex, before + 6);

  Series.ClearStatistics();
  Series.SampleAndAcquire(true);
  for (int i = 0; i < 5; ++i) Tick(10);
  before = Stats8h.LastIndex;
  for (int i = 0; i < 12; ++i) Tick(10);
  EXPECT_EQ(Stats8h.LastIndex, before + 6);
  // Fixed samples stand about 20 s apart.
  for (int i = 3; i < Stats8h.LastIndex; ++i)
    EXPECT_NEAR((Stats8h.Samples[i].Time - Stats8h.Samples[i - 1].Time) / Sec, 20.0, 0.01) << i;
  // The coarser series only refreshed their live sample.
  EXPECT_EQ(Stats7d.LastIndex, 2);
}

TEST_F(StatStoreTest, FirstTwoSamplingsAlwaysOpenAndStartWithoutFilesGivesThree) {
  Readings.Time = clock_.UtcNow();
  Series.StoreSample(Stats7d, Params7d, false);
  Series.StoreSample(Stats7d, Params7d, false);
  EXPECT_EQ(Stats7d.LastIndex, 1);
  Series.StoreSample(Stats7d, Params7d, false);
  EXPECT_EQ(Stats7d.LastIndex, 1);

  Series.ClearStatistics();
  Series.LoadStatistics();
  for (tSeriesRef s : Series.AllSeries()) {
    ASSERT_EQ(s.store.LastIndex, 2);
    EXPECT_EQ(+s.store.Samples[0].T[0], NoValue16);
    EXPECT_EQ(+s.store.SamplesExtra[0].UserSecs, NoValue32);
    EXPECT_EQ(+s.store.Samples[1].T[0], 4500);
    EXPECT_EQ(+s.store.Samples[2].T[0], 4500);
  }
  EXPECT_TRUE(Logged("Inserting break value"));
}

TEST_F(StatStoreTest, NoSecondPassRightAfterOneButEveryOneSecondTickReads) {
  Series.SampleAndAcquire(true);
  int before = passes;
  clock_.Advance(500);  // a tick right after a forced pass
  Series.SampleAndAcquire(false);
  clock_.Advance(399);
  Series.SampleAndAcquire(false);
  EXPECT_EQ(passes, before);
  clock_.Advance(1);
  Series.SampleAndAcquire(false);
  EXPECT_EQ(passes, before + 1);

  // A pass stamps its readings a few milliseconds after its tick; the next one-second tick
  // must read all the same.
  Acquire = [this](bool) {
    clock_.Advance(7);
    Readings.Time = clock_.UtcNow();
    ++passes;
  };
  before = passes;
  for (int i = 0; i < 10; ++i) {
    clock_.Advance(1000 - 7);
    Series.SampleAndAcquire(false);
  }
  EXPECT_EQ(passes, before + 10);
}

// The main cycle's way: a single-shot timer re-armed after each tick, on the real clock.
TEST_F(StatStoreTest, RealOneSecondTimerReadsOnEveryTick) {
  kvtest::SeriesState real;  // on the system's clock
  real.Process.SettingsDir = dir.Path();
  real.Acquire = [&real, this](bool) {
    usleep(3000);  // a pass takes a little while before it stamps the readings
    real.Readings.Time = SystemTime().UtcNow();
    ++passes;
  };
  real.Series.SampleAndAcquire(true);
  const int before = passes;
  QTimer tick;
  tick.setSingleShot(true);
  QObject::connect(&tick, &QTimer::timeout, [&] {
    real.Series.SampleAndAcquire(false);
    tick.start(1000);
  });
  tick.start(1000);
  QEventLoop loop;
  QTimer::singleShot(5300, &loop, &QEventLoop::quit);
  loop.exec();
  EXPECT_GE(passes - before, 4);
}

TEST_F(StatStoreTest, FaultBandAndSpikeReplacement) {
  Series.SampleAndAcquire(true);
  Tick(20);
  temperature = 9500;  // a jump of 50 degrees
  Tick(20);
  Tick(20);  // samples the jump
  EXPECT_EQ(+Stats8h.Samples[Stats8h.LastIndex].T[0], NoValue16);
  EXPECT_TRUE(Logged("Removed faulty T1: 9500 (4500)")) << Log();

  Series.ClearStatistics();
  temperature = 4500;
  Series.SampleAndAcquire(true);
  Tick(20);
  temperature = 6500;  // exactly 20 degrees stays
  Tick(20);
  Tick(20);
  EXPECT_EQ(+Stats8h.Samples[Stats8h.LastIndex].T[0], 6500);

  Series.ClearStatistics();
  temperature = 4000;
  Series.SampleAndAcquire(true);
  Tick(20);
  temperature = 6000;
  Tick(20);
  temperature = 4000;
  Tick(20);
  Tick(20);  // the spike now stands between two 40 degree samples
  EXPECT_EQ(+Stats8h.Samples[Stats8h.LastIndex - 1].T[0], 4000);
  EXPECT_TRUE(Logged("Removed gap T1: 6000")) << Log();
}

TEST_F(StatStoreTest, ZeroVoltageGivesAZeroBandAndFewerThanThreeSamplesAreNotFiltered) {
  Readings.Time = clock_.UtcNow();
  Readings.T[0] = 2000;
  Series.StoreSample(Stats8h, Params8h, true);
  Readings.T[0] = 9000;
  Series.StoreSample(Stats8h, Params8h, true);
  EXPECT_EQ(+Stats8h.Samples[1].T[0], 9000);  // only two samples

  Readings.V[0] = 0;
  Series.StoreSample(Stats8h, Params8h, true);
  Readings.V[0] = 1;
  Readings.T[0] = 9000;
  Series.StoreSample(Stats8h, Params8h, true);
  EXPECT_EQ(+Stats8h.Samples[3].V[0], NoValue16);
  EXPECT_TRUE(Logged("Removed faulty V1: 1 (0)"));

  Settings.IgnoreNonsense = false;
  Readings.T[0] = 500;
  Series.StoreSample(Stats8h, Params8h, true);
  EXPECT_EQ(+Stats8h.Samples[4].T[0], 500);
}

TEST_F(StatStoreTest, LongGapInsertsABreak) {
  Series.SampleAndAcquire(true);
  for (int i = 0; i < 5; ++i) Tick(20);
  const int before = Stats8h.LastIndex;
  Tick(300);  // a tick that came far too late
  Tick(20);
  Tick(20);
  // The late sample is followed by a break before the next fixed point.
  int breaks = 0;
  for (int i = before; i <= Stats8h.LastIndex; ++i)
    if (Stats8h.Samples[i].T[0] == NoValue16) ++breaks;
  EXPECT_EQ(breaks, 1);
  EXPECT_TRUE(Logged("Discarding too old value."));
}

TEST_F(StatStoreTest, CroppingKeepsTheTwoNewestSamplesOlderThanTheSpan) {
  const double now = clock_.UtcNow();
  int n = 0;
  for (int i = 0; i < 102; ++i) {  // one sample every 50 minutes
    Readings.Time = now + i * 50 * 60 * Sec;
    Series.StoreSample(Stats8h, true, 1e9, Params8h.step, Params8h.span);  // no breaks in between
    n = Stats8h.LastIndex;
  }
  // The 102nd sample passed the limit of 100.
  ASSERT_TRUE(Logged("Cropping log"));
  EXPECT_TRUE(Log().find("] Deleting data up to ") != std::string::npos);
  EXPECT_EQ(Stats8h.CropLimit, n + 100);
  int older = 0;
  for (int i = 0; i <= n; ++i)
    if (Readings.Time - Stats8h.Samples[i].Time > Params8h.span) ++older;
  EXPECT_EQ(older, 2);
  EXPECT_EQ(Stats8h.Samples.size(), static_cast<size_t>(n + 1));
  EXPECT_EQ(Stats8h.SamplesExtra.size(), static_cast<size_t>(n + 1));

  // Nothing aged: nothing dropped, the limit still rises.
  Series.ClearStatistics();
  Stats7d.CropLimit = 2;
  for (int i = 0; i < 4; ++i) {
    Readings.Time = now + i * Sec;
    Series.StoreSample(Stats7d, Params7d, true);
  }
  EXPECT_EQ(Stats7d.LastIndex, 3);
  EXPECT_EQ(Stats7d.CropLimit, 103);
}

TEST_F(StatStoreTest, UptimeRecordFollowsTheLongestUptime) {
  Settings.ReadUpTime = true;
  Settings.upRecTime = 100;
  SetUpSecs(Current, 90061);  // 1 d 01:01:01
  Series.SampleAndAcquire(true);
  EXPECT_EQ(Settings.upRecTime, 90061u);
  EXPECT_EQ(Settings.UpRecDays, 1);
  EXPECT_EQ(Settings.UpRecSecs, 1);
  SetUpSecs(Current, 50);
  Tick(20);
  EXPECT_EQ(Settings.upRecTime, 90061u);
}

TEST_F(StatStoreTest, ResetLeavesOneSamplePerSeriesInMemoryAndFiles) {
  kvtest::RecordingUi ui;
  ui.answer = true;
  Series.SampleAndAcquire(true);
  for (int i = 0; i < 5; ++i) Tick(20);
  const int before = Stats8h.LastIndex;
  ui.answer = false;
  EXPECT_FALSE(Series.ResetStatistics(ui));
  EXPECT_EQ(Stats8h.LastIndex, before);
  ui.answer = true;
  EXPECT_TRUE(Series.ResetStatistics(ui));
  for (tSeriesRef s : Series.AllSeries()) {
    EXPECT_EQ(s.store.LastIndex, 0);
    EXPECT_EQ(kvtest::ReadFile(dir.File(std::string(s.params.baseName) + "6")).size(), sizeof(tReadings));
    EXPECT_EQ(kvtest::ReadFile(dir.File(std::string(s.params.baseName) + "7")).size(), sizeof(tReadingsExtra));
  }
  EXPECT_EQ(ui.asked, 2);
}

}  // namespace
}  // namespace kv
