// The readers against this machine's own /proc and /sys: only plausibility, since containers and
// virtual machines lack batteries, thermal zones or cpufreq.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <thread>

#include "platform/CpuMetrics.h"
#include "platform/DiskMetrics.h"
#include "platform/MemoryMetrics.h"
#include "platform/NetMetrics.h"
#include "platform/PowerSupply.h"
#include "platform/ThermalZones.h"

namespace kv {
namespace {

TEST(SystemFiguresSmoke, RealSystemGivesPlausibleFigures) {
  const tCpuTimes first = ReadCpuTimes();
  ASSERT_TRUE(first.all.has_value());
  ASSERT_FALSE(first.cpus.empty());
  EXPECT_LE(CpuCount(first), static_cast<int>(::sysconf(_SC_NPROCESSORS_CONF)));
  EXPECT_GT(first.all->total, first.all->idle);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  for (const int load : CpuLoads(first, ReadCpuTimes())) {
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 10000);
  }

  const tCpuClock clock = ReadCpuClock();
  if (clock.current && clock.maximum) {
    EXPECT_LE(*clock.current, *clock.maximum * 2);
  }

  const tMemInfo memory = ReadMemInfo();
  EXPECT_GT(memory.total, 0u);
  EXPECT_GT(memory.available, 0u);
  EXPECT_LE(memory.available, memory.total);
  EXPECT_LE(memory.swapFree, memory.swapTotal);

  const auto uptime = ReadUptimeSeconds();
  const auto bootClock = BootClockSeconds();
  ASSERT_TRUE(uptime && bootClock);
  EXPECT_GT(*uptime, 0u);
  EXPECT_LE(*uptime > *bootClock ? *uptime - *bootClock : *bootClock - *uptime, 2u);

  for (const tMount& m : ReadMounts()) {
    EXPECT_EQ(m.mountPoint.front(), '/');
    EXPECT_NE(m.fsType, "proc");
    EXPECT_NE(m.fsType, "tmpfs");
    EXPECT_FALSE(m.label.empty());
  }
  const auto rootSpace = FreeSpace("/", 5000);
  ASSERT_TRUE(rootSpace.has_value());
  EXPECT_GT(rootSpace->totalBytes, 0u);

  std::vector<tNetInterface> interfaces = ReadNetInterfaces();
  ASSERT_FALSE(interfaces.empty());
  for (size_t i = 1; i < interfaces.size(); ++i)
    EXPECT_LT(interfaces[i - 1].index, interfaces[i].index);
  AttachIpv4Addresses(interfaces);
  for (const tNetInterface& netIf : interfaces) EXPECT_EQ(netIf.ipText.size(), 15u);

  for (const tThermalZone& zone : ReadThermalZones()) {
    EXPECT_GT(zone.temperature, -5000) << zone.type;
    EXPECT_LT(zone.temperature, 15000) << zone.type;
  }
  for (const std::string& name : FindBatteries()) {
    const auto battery = ReadBattery("/", name);
    if (battery && battery->relative) {
      EXPECT_LE(battery->remaining.value_or(0), 200u);
    }
  }
}

}  // namespace
}  // namespace kv
