#include "platform/CpuMetrics.h"
#include "platform/KeptFiles.h"

#include <gtest/gtest.h>

#include <cstdint>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

tCpuTime Sample(uint64_t idle, uint64_t total, int id = 0) { return tCpuTime{id, idle, total}; }

TEST(CpuTimes, ParsesAggregateAndOnlineProcessors) {
  TempDir root;
  // cpu1 is offline, so its line is missing; guest and guest_nice are already inside user/nice.
  Put(root.Path(), "proc/stat",
      "cpu  400 10 200 5000 100 5 7 3 50 60\n"
      "cpu0 100 5 100 2500 50 2 3 1 25 30\n"
      "cpu2 300 5 100 2500 50 3 4 2 25 30\n"
      "intr 12345 0 1 2\n"
      "cpu9 1 1 1 1\n");
  const tCpuTimes times = ReadCpuTimes(root.Path());
  ASSERT_TRUE(times.all.has_value());
  EXPECT_EQ(times.all->idle, 5100u);
  EXPECT_EQ(times.all->total, 400u + 10 + 200 + 5000 + 100 + 5 + 7 + 3);
  ASSERT_EQ(times.cpus.size(), 2u);  // nothing taken after the cpu block
  EXPECT_EQ(times.cpus[0].id, 0);
  EXPECT_EQ(times.cpus[0].idle, 2550u);
  EXPECT_EQ(times.cpus[0].total, 100u + 5 + 100 + 2500 + 50 + 2 + 3 + 1);
  EXPECT_EQ(times.cpus[1].id, 2);
  EXPECT_EQ(CpuCount(times), 2);
}

TEST(CpuTimes, DamagedLinesAreLeftOutAndAbsentFileGivesNothing) {
  TempDir root;
  Put(root.Path(), "proc/stat",
      "cpu  1 2\n"                 // truncated: no idle
      "cpu0 10 0 10 80 0 0 0 0\n"
      "cpu1 10 x 10 80 0 0 0 0\n"  // non-numeric
      "cpuX 1 1 1 1\n"
      "cpu3 18446744073709551615 0 0 0\n"  // the largest 64-bit count
      "cpu4 10 0 10 8");                   // cut short: "8" may have been "8123"
  const tCpuTimes times = ReadCpuTimes(root.Path());
  EXPECT_FALSE(times.all.has_value());
  ASSERT_EQ(times.cpus.size(), 2u);
  EXPECT_EQ(times.cpus[0].id, 0);
  EXPECT_EQ(times.cpus[0].idle, 80u);
  EXPECT_EQ(times.cpus[1].id, 3);

  TempDir empty;
  const tCpuTimes none = ReadCpuTimes(empty.Path());
  EXPECT_FALSE(none.all.has_value());
  EXPECT_TRUE(none.cpus.empty());
  EXPECT_EQ(CpuCount(none), 1);
}

TEST(CpuLoad, ShareOfBusyTimeInHundredthsOfAPercent) {
  EXPECT_EQ(CpuLoad(Sample(1000, 2000), Sample(1075, 2100)), 2500);
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(0, 300)), 10000);
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(300, 300)), 0);
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(2, 3)), 3333);
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(1, 3)), 6667);
  // Exactly half a hundredth rounds to the even neighbour.
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(19999, 20000)), 0);
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(19997, 20000)), 2);
}

TEST(CpuLoad, NoTimeOrCountersGoingBackwardsGiveZero) {
  EXPECT_EQ(CpuLoad(Sample(100, 200), Sample(100, 200)), 0);
  EXPECT_EQ(CpuLoad(Sample(100, 200), Sample(50, 300)), 0);   // idle went back
  EXPECT_EQ(CpuLoad(Sample(100, 200), Sample(150, 100)), 0);  // total went back
  EXPECT_EQ(CpuLoad(Sample(100, 200), Sample(400, 300)), 0);  // more idle than elapsed
  // Huge deltas do not overflow on the way to 50 %.
  EXPECT_EQ(CpuLoad(Sample(0, 0), Sample(UINT64_MAX / 2, UINT64_MAX - 1)), 5000);
}

TEST(CpuLoad, ProcessorsAreMatchedByNumberAcrossSamples) {
  TempDir root;
  Put(root.Path(), "proc/stat", "cpu 0 0 0 0\ncpu0 0 0 100 100\ncpu1 0 0 100 100\n");
  const tCpuTimes first = ReadCpuTimes(root.Path());
  // cpu1 went offline, cpu2 came online between the samples.
  Put(root.Path(), "proc/stat", "cpu 0 0 0 0\ncpu0 0 0 175 125\ncpu2 0 0 500 500\n");
  const tCpuTimes second = ReadCpuTimes(root.Path());
  const std::vector<int> loads = CpuLoads(first, second);
  ASSERT_EQ(loads.size(), 2u);
  EXPECT_EQ(loads[0], 7500);
  EXPECT_EQ(loads[1], 0);
  EXPECT_EQ(CpuLoads(tCpuTimes{}, second), (std::vector<int>{0, 0}));
}

TEST(CpuClock, HighestCurrentAndHighestMaximumOverPolicies) {
  TempDir root;
  const std::string freq = "sys/devices/system/cpu/cpufreq/";
  Put(root.Path(), freq + "policy0/scaling_cur_freq", "1200000\n");
  Put(root.Path(), freq + "policy0/cpuinfo_max_freq", "3600000\n");
  Put(root.Path(), freq + "policy4/scaling_cur_freq", "2400000\n");
  Put(root.Path(), freq + "policy4/cpuinfo_max_freq", "2000000\n");
  Put(root.Path(), freq + "policy6/scaling_cur_freq", "<unsupported>\n");
  Put(root.Path(), freq + "boost", "1\n");
  const tCpuClock clock = ReadCpuClock(root.Path());
  EXPECT_EQ(clock.current, 2400000u);
  EXPECT_EQ(clock.maximum, 3600000u);
}

TEST(CpuClock, PerProcessorFoldersWithoutPolicies) {
  TempDir root;
  const std::string cpu = "sys/devices/system/cpu/";
  Put(root.Path(), cpu + "cpu0/cpufreq/scaling_cur_freq", "800000\n");
  Put(root.Path(), cpu + "cpu0/cpufreq/cpuinfo_max_freq", "3000000\n");
  Put(root.Path(), cpu + "cpu1/cpufreq/scaling_cur_freq", "2900000\n");
  Put(root.Path(), cpu + "cpuidle/x", "");
  const tCpuClock clock = ReadCpuClock(root.Path());
  EXPECT_EQ(clock.current, 2900000u);
  EXPECT_EQ(clock.maximum, 3000000u);
}

TEST(CpuClock, VirtualMachineWithoutCpufreqUsesCpuinfo) {
  TempDir root;
  kvtest::MakeFolder(root.Path(), "sys/devices/system/cpu/cpu0");
  Put(root.Path(), "proc/cpuinfo",
      "processor\t: 0\nmodel name\t: Virtual CPU @ 2.40GHz\ncpu MHz\t\t: 2399.998\n\n"
      "processor\t: 1\ncpu MHz\t\t: 2400.0006\n\n"
      "processor\t: 2\ncpu MHz\t\t: n/a\n");
  const tCpuClock clock = ReadCpuClock(root.Path());
  EXPECT_EQ(clock.current, 2400001u);
  EXPECT_FALSE(clock.maximum.has_value());

  TempDir bare;
  const tCpuClock none = ReadCpuClock(bare.Path());
  EXPECT_FALSE(none.current.has_value());
  EXPECT_FALSE(none.maximum.has_value());
}

// A file kept open between passes follows every change a fresh open would see: rewritten in
// place, replaced, removed and put back (a device unplugged and plugged in again), and a link
// planted where a no-follow read expects the file is refused.
TEST(KeptFiles, ReadWhatAFreshOpenWouldRead) {
  TempDir root;
  const std::string path = root.File("proc/stat");
  tKeptFiles kept;
  const auto read = [&] {
    const auto text = kept.Read(path, true);
    return text ? std::string(*text) : std::string("(none)");
  };
  EXPECT_EQ(read(), "(none)");
  Put(root.Path(), "proc/stat", "cpu 1 2 3 4\n");
  EXPECT_EQ(read(), "cpu 1 2 3 4\n");
  kvtest::WriteFile(path, "cpu 5 6\n");  // same file, shorter text
  EXPECT_EQ(read(), "cpu 5 6\n");
  kvtest::Remove(root.Path(), "proc/stat");
  Put(root.Path(), "proc/stat", std::string(9000, 'x'));  // a new file, longer than one read
  EXPECT_EQ(read(), std::string(9000, 'x'));
  kvtest::Remove(root.Path(), "proc/stat");
  EXPECT_EQ(read(), "(none)");
  Put(root.Path(), "proc/other", "planted\n");
  kvtest::Link(root.Path(), "proc/stat", "other");
  EXPECT_EQ(read(), "(none)");
  EXPECT_EQ(std::string(kept.Read(path, false).value_or("(none)")), "planted\n");
}

// The clock read through kept files agrees with a fresh reading after the files change; a CPU
// that goes away is noticed at the next reading, one that comes is found at the next look.
TEST(CpuClock, KeptFilesFollowTheProcessorsComingAndGoing) {
  TempDir root;
  const std::string freq = "sys/devices/system/cpu/cpufreq/";
  Put(root.Path(), freq + "policy0/scaling_cur_freq", "1200000\n");
  Put(root.Path(), freq + "policy0/cpuinfo_max_freq", "3600000\n");
  Put(root.Path(), freq + "policy4/scaling_cur_freq", "2400000\n");
  tCpuClockFiles files;
  tKeptFiles kept;
  const auto agree = [&](const char* step) {
    const tCpuClock fresh = ReadCpuClock(root.Path());
    tCpuClock clock = ReadCpuClock(root.Path(), files, kept);
    if (files.stale) clock = ReadCpuClock(root.Path(), files, kept);
    EXPECT_EQ(clock.current, fresh.current) << step;
    EXPECT_EQ(clock.maximum, fresh.maximum) << step;
  };
  agree("start");
  kvtest::WriteFile(root.File(freq + "policy4/scaling_cur_freq"), "900000\n");
  agree("clock changed");
  Put(root.Path(), freq + "policy8/scaling_cur_freq", "3000000\n");
  EXPECT_EQ(ReadCpuClock(root.Path(), files, kept).current, 1200000u);  // not looked for yet
  files.found = false;
  agree("policy added");
  kvtest::Remove(root.Path(), freq + "policy8");
  agree("policy removed");
  kvtest::Remove(root.Path(), freq + "policy0");
  kvtest::Remove(root.Path(), freq + "policy4");
  Put(root.Path(), "proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2399.998\n");
  agree("cpufreq gone");
  EXPECT_EQ(ReadCpuClock(root.Path(), files, kept).current, 2399998u);
}

}  // namespace
}  // namespace kv
