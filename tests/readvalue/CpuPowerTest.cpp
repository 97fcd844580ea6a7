#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "readvalue/SystemTree.h"

namespace {

using namespace kv;

constexpr const char* Zones = "sys/class/powercap/";

class CpuPowerTest : public kvtest::SystemTreeTest {
 protected:
  void Zone(const std::string& zone, const std::string& name, uint64_t energy, uint64_t range) {
    Put(std::string(Zones) + zone + "/name", name + "\n");
    Energy(zone, energy);
    Put(std::string(Zones) + zone + "/max_energy_range_uj", std::to_string(range) + "\n");
  }
  void Energy(const std::string& zone, uint64_t uj) { Put(std::string(Zones) + zone + "/energy_uj", std::to_string(uj) + "\n"); }
  void ReadAfter(double seconds) {
    Ctx.Now += seconds / SecondsPerDay;
    metrics::ReadCpuPower(Ctx);
  }
};

struct tSample {
  double seconds;      // since the previous read
  uint64_t e0, e1;     // the two packages' counters, µJ
  int32_t milliwatts;  // expected
};

// Two packages (the second without a range: no wrap is known for it); a core sub-zone and a
// platform zone that must not count.
TEST_F(CpuPowerTest, PackagesAddUpOverTimeAcrossAWrap) {
  Zone("intel-rapl:0", "package-0", 1'000'000, 20'000'000);
  Zone("intel-rapl:1", "package-1", 5'000'000, 0);
  Zone("intel-rapl:0:0", "core", 0, 20'000'000);
  Zone("intel-rapl:2", "psys", 0, 20'000'000);
  const tSample samples[] = {
      {0, 1'000'000, 5'000'000, NoValue32},     // one sample is no power yet
      {2, 11'000'000, 10'000'000, 7'500},       // 15 J in 2 s
      {0.1, 12'000'000, 10'000'000, 7'500},     // too soon: the figure and its base stay
      {1.9, 13'000'000, 12'000'000, 2'000},     // 4 J since the base, 2 s ago
      {1, 3'000'000, 13'000'000, 11'000},       // package 0 wrapped: 7 J + 3 J, and 1 J
      {1, 4'000'000, 1'000'000, NoValue32},     // package 1 went back with no range to wrap at
      {0.5, 4'500'000, 1'500'000, 2'000},       // counted afresh from there
      {7200, 5'000'000, 2'000'000, NoValue32},  // after a sleep: a new start, no average
  };
  for (const tSample& s : samples) {
    Energy("intel-rapl:0", s.e0);
    Energy("intel-rapl:1", s.e1);
    ReadAfter(s.seconds);
    EXPECT_EQ(Current.CPUPower, s.milliwatts) << "after " << s.seconds << " s, " << s.e0 << " " << s.e1;
  }
  EXPECT_EQ(Log().find("rv pw"), std::string::npos) << Log();
}

// Without zones, or with counters only root may read, the step says so once and stops looking
// until a settings reload.
TEST_F(CpuPowerTest, NoZonesIsSaidOnceAndLookedForAgainOnlyAfterAReload) {
  ReadAfter(1);
  ReadAfter(1);
  Zone("intel-rapl:0", "package-0", 1'000'000, 20'000'000);
  ReadAfter(1);
  ReadAfter(1);
  EXPECT_EQ(Current.CPUPower, NoValue32);
  const std::string log = Log();
  EXPECT_NE(log.find("rv pw 1 CPU package power: no RAPL package zones"), std::string::npos) << log;
  EXPECT_EQ(log.find("rv pw 1", log.find("rv pw 1") + 1), std::string::npos) << log;

  metrics::ReopenCpuPower(Ctx);
  ReadAfter(1);
  Energy("intel-rapl:0", 3'000'000);
  ReadAfter(1);
  EXPECT_EQ(Current.CPUPower, 2'000);
}

TEST_F(CpuPowerTest, CountersOnlyRootMayReadAreSaidOnceAndLeftAlone) {
  // Root reads a file whatever its mode bits, so the refusal cannot be made here.
  if (::geteuid() == 0) GTEST_SKIP() << "running as root: a mode-000 file is still readable";
  Zone("intel-rapl:0", "package-0", 1'000'000, 20'000'000);
  ASSERT_EQ(::chmod((Root() + Zones + "intel-rapl:0/energy_uj").c_str(), 0), 0);
  for (int i = 0; i < 3; ++i) ReadAfter(1);
  EXPECT_EQ(Current.CPUPower, NoValue32);
  const std::string log = Log();
  EXPECT_NE(log.find("intel-rapl:0/energy_uj is readable by root only"), std::string::npos) << log;
  EXPECT_EQ(log.find("rv pw 1", log.find("rv pw 1") + 1), std::string::npos) << log;
}

}  // namespace
