#include <gtest/gtest.h>

#include "readvalue/AcquisitionPass.h"
#include "readvalue/SystemSources.h"
#include "readvalue/ThermalZoneSource.h"
#include "readvalue/SystemTree.h"

namespace {

using namespace kv;

// n processors; processor i has spent `busy(i)` and `idle(i)` jiffies.
template <typename Busy, typename Idle>
std::string ProcStat(int n, Busy busy, Idle idle) {
  std::string text = "cpu  0 0 0 0 0 0 0 0 0 0\n";
  for (int i = 0; i < n; ++i)
    text += "cpu" + std::to_string(i) + " " + std::to_string(busy(i)) + " 0 0 " +
            std::to_string(idle(i)) + " 0 0 0 0 0 0\n";
  return text + "intr 0\n";
}

using SystemSourcesTest = kvtest::SystemTreeTest;

TEST_F(SystemSourcesTest, EightProcessorsCountEightAndFillTheFirstFourLoads) {
  Put("proc/stat", ProcStat(8, [](int) { return 100; }, [](int) { return 300; }));
  metrics::ReadCpuLoad(Ctx);
  EXPECT_EQ(CPUCount, 8);
  EXPECT_EQ(Readings.CPU[0], 2500);  // the first reading counts from boot

  // Processor i is busy for i tenths of the next 100 jiffies.
  Put("proc/stat", ProcStat(8, [](int i) { return 100 + 10 * i; }, [](int i) { return 400 - 10 * i; }));
  metrics::ReadCpuLoad(Ctx);
  EXPECT_EQ(CPUCount, 8);
  for (int i = 0; i < CPUChannels; ++i) EXPECT_EQ(Readings.CPU[i], 1000 * i) << i;

  Put("proc/stat", "cpu  1 2 3\n");
  EXPECT_THROW(metrics::ReadCpuLoad(Ctx), std::runtime_error);
  EXPECT_EQ(CPUCount, 8);
}

TEST_F(SystemSourcesTest, WithoutAReportedMaximumTheHighestClockSeenStandsIn) {
  kvtest::MakeFolder(Root(), "sys/devices/system/cpu/cpu0");
  Put("proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 2400.000\n\n");
  metrics::ReadCpuClock(Ctx);
  EXPECT_EQ(Readings.Freq, 2400000);
  EXPECT_EQ(FreqMax, 2400000);
  Put("proc/cpuinfo", "processor\t: 0\ncpu MHz\t\t: 1800.000\n\n");
  metrics::ReadCpuClock(Ctx);
  EXPECT_EQ(FreqMax, 2400000);

  kvtest::Remove(Root(), "proc");
  metrics::ReadCpuClock(Ctx);
  EXPECT_EQ(Readings.Freq, 0);
  EXPECT_EQ(FreqMax, 0);
}

TEST_F(SystemSourcesTest, MemoryFiguresWithCommitChargeAboveTheLimit) {
  Put("proc/meminfo",
      "MemTotal:        8000000 kB\nMemFree:          500000 kB\nMemAvailable:    3000000 kB\n"
      "Buffers:              24 kB\nCached:          1000000 kB\nSwapTotal:       2000000 kB\n"
      "SwapFree:        1500000 kB\nCommitLimit:     6000000 kB\nCommitted_AS:    9000000 kB\n");
  metrics::ReadMemory(Ctx);
  EXPECT_EQ(MemTotal, 8000000);
  EXPECT_EQ(Readings.MemFree, 3000000);
  EXPECT_EQ(Readings.MemUsed, 5000000);
  EXPECT_EQ(Readings.Cache, 1000024);
  EXPECT_EQ(PageTotal, 6000000);
  EXPECT_EQ(Readings.PageUsed, 9000000);
  EXPECT_EQ(Readings.PageFree, 0);

  Put("proc/meminfo", "MemTotal: 12");
  EXPECT_THROW(metrics::ReadMemory(Ctx), std::runtime_error);
  EXPECT_EQ(MemTotal, 8000000);
}

TEST_F(SystemSourcesTest, UptimeInWholeSecondsAndItsParts) {
  Put("proc/uptime", "93784.56 1000.00\n");
  metrics::ReadUptime(Ctx);
  EXPECT_EQ(UpSecs, 93784u);
  EXPECT_EQ(UpDays, 1);
  EXPECT_EQ(UpHours, 2);
  EXPECT_EQ(UpMins, 3);
  EXPECT_EQ(UpSecsPart, 4);
  Put("proc/uptime", "soon\n");
  EXPECT_THROW(metrics::ReadUptime(Ctx), std::runtime_error);
  EXPECT_EQ(UpSecs, 93784u);
}

TEST_F(SystemSourcesTest, ThermalZonesWithoutATemperatureAreNotCounted) {
  const std::string thermal = "sys/class/thermal/";
  Put(thermal + "thermal_zone0/type", "acpitz\n");  // no temp
  Put(thermal + "thermal_zone1/temp", "50000\n");
  Put(thermal + "thermal_zone2/temp", "N/A\n");
  Put(thermal + "thermal_zone3/temp", "45505\n");
  metrics::ReadThermalZones(Ctx);
  EXPECT_EQ(Readings.T[0], 5000);
  EXPECT_EQ(Readings.T[1], 4550);  // 45.505 °C, half to even
  EXPECT_EQ(Readings.T[2], NoValue16);
}

class BatteryTest : public kvtest::SystemTreeTest {
 protected:
  void Supply(const std::string& name, const std::string& file, const std::string& value) {
    Put("sys/class/power_supply/" + name + "/" + file, value + "\n");
  }
};

TEST_F(BatteryTest, WithoutBatteriesEveryPassClearsTheFigures) {
  Supply("AC", "type", "Mains");
  Supply("AC", "online", "1");
  metrics::FindBatteries(Ctx);
  for (int pass = 0; pass < 2; ++pass) {
    Readings.BatCap = 1234;
    Readings.BatFull = 5678;
    metrics::ReadBatteries(Ctx);
    EXPECT_EQ(Readings.BatCap, NoValue32);
    EXPECT_EQ(Readings.BatFull, 0);
  }
  EXPECT_NE(Log().find("Battery slots: 0"), std::string::npos);
}

TEST_F(BatteryTest, EnergyAndChargeBatteriesFillTheirOwnChannels) {
  Supply("AC", "type", "Mains");
  Supply("AC", "online", "0");
  Supply("BAT0", "type", "Battery");
  Supply("BAT0", "energy_now", "30000000");
  Supply("BAT0", "energy_full", "40000000");
  Supply("BAT0", "energy_full_design", "50000000");
  Supply("BAT0", "voltage_now", "12345000");
  Supply("BAT0", "temp", "250");  // tenths of a degree Celsius
  Supply("BAT0", "status", "Discharging");
  metrics::FindBatteries(Ctx);
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Readings.BatCap, 30000);
  EXPECT_EQ(Readings.BatFull, 40000);
  EXPECT_EQ(BatDesign, 50000);  // worn: the design exceeds the full charge
  EXPECT_FALSE(BatRelative);
  EXPECT_EQ(Readings.BatOnline, 0);
  EXPECT_EQ(Readings.V[0], 1234);
  EXPECT_EQ(Readings.T[5], 2500);

  Supply("AC", "online", "1");
  Supply("BAT1", "type", "Battery");
  Supply("BAT1", "charge_now", "2000000");
  Supply("BAT1", "charge_full", "4000000");
  Supply("BAT1", "voltage_now", "11100000");
  metrics::FindBatteries(Ctx);
  Settings.ReadBat = false;
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Readings.BatCap, NoValue32);
  EXPECT_EQ(Readings.V[1], NoValue16);

  Settings.ReadBat = true;
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Readings.V[0], 1234);
  EXPECT_EQ(Readings.V[1], 1110);
  EXPECT_EQ(Readings.T[6], NoValue16);
  EXPECT_EQ(Readings.BatCap, 50);  // the last battery's figures, as percent
  EXPECT_EQ(Readings.BatFull, 100);
  EXPECT_TRUE(BatRelative);
  EXPECT_EQ(Readings.BatOnline, 1);
  EXPECT_NE(Log().find("Found battery: /sys/class/power_supply/BAT1"), std::string::npos);

  kvtest::Remove(Root(), "sys/class/power_supply/BAT1");
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Readings.BatCap, 30000);
  EXPECT_NE(Log().find("ERROR during CreateFile: /sys/class/power_supply/BAT1"), std::string::npos);
}

// Without an installed enumeration, a reset of the readings touches no file; the battery reader
// looks for the folders at its next reading, once per reset.
TEST_F(BatteryTest, BatteriesAreLookedForOnceAfterEachReset) {
  Pass.Sources.ResetBatteries = metrics::ForgetBatteries;  // the real one
  Settings.ReadBat = true;
  Supply("BAT0", "type", "Battery");
  Supply("BAT0", "capacity", "40");
  Pass.ResetReadings();
  EXPECT_EQ(Log().find("Battery slots"), std::string::npos);
  metrics::ReadBatteries(Ctx);
  EXPECT_NE(Log().find("Battery slots: 1"), std::string::npos);

  Supply("BAT1", "type", "Battery");
  Supply("BAT1", "capacity", "60");
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Pass.Memory().Get<metrics::tBatteryMemory>().paths.size(), 1u);
  Pass.ResetReadings();
  metrics::ReadBatteries(Ctx);
  EXPECT_EQ(Pass.Memory().Get<metrics::tBatteryMemory>().paths.size(), 2u);
  EXPECT_NE(Log().find("Battery slots: 2"), std::string::npos);
}

// Drive letters become mount points: "D: Data disk" is "/data Data disk" here.
TEST_F(SystemSourcesTest, DisksKeepNamedSlotsAndFillEmptyOnesWithRootRootLabel) {
  kvtest::Put(Root(), "dev/sdb1", "");
  kvtest::Link(Root(), "dev/disk/by-label/Backup", "../../sdb1");
  for (const char* folder : {"data", "backup", "mnt/My Disk"}) kvtest::MakeFolder(Root(), folder);
  Put("proc/self/mountinfo",
      "21 26 0:20 / /proc rw - proc proc rw\n"
      "29 26 8:3 / /data rw - ext4 /dev/sda3 rw\n"
      "30 26 8:17 / /backup rw - ext4 /dev/sdb1 rw\n"
      "31 26 11:0 / /media/u/DVD ro - iso9660 /dev/sr0 ro\n"
      "32 26 0:50 / /net/share rw - nfs4 nas:/export rw\n"
      "33 26 8:33 / /mnt/My\\040Disk rw - xfs /dev/sdc1 rw\n");
  Settings.DiskSlots[0].Drive = "/data Data disk";
  Settings.DiskSlots[6].Drive = "C:";  // left over from another system
  Settings.DiskSlots[7].Drive = "/net/share Share";
  metrics::ReadDisks(Ctx);
  metrics::ReadDisks(Ctx);

  ASSERT_EQ(DiskMons.size(), 4u);  // no optical disc
  EXPECT_EQ(DiskMons[1].Root, "/backup");
  EXPECT_EQ(DiskMons[1].Label, "Backup");
  EXPECT_EQ(DiskMons[2].Root, "/net/share");
  EXPECT_EQ(DiskMons[3].Root, "/mnt/My\\040Disk");

  EXPECT_EQ(Settings.DiskSlots[0].Drive, "/data Data disk");
  EXPECT_EQ(Settings.DiskSlots[0].Label, " Data disk");
  EXPECT_EQ(Settings.DiskSlots[1].Drive, "/backup /backup Backup");
  EXPECT_EQ(Settings.DiskSlots[1].Label, " /backup Backup");
  // The network share only counts because slot 8 names it; the blank in a mount point is escaped.
  EXPECT_EQ(Settings.DiskSlots[2].Drive, "/mnt/My\\040Disk /mnt/My\\040Disk /dev/sdc1");
  EXPECT_EQ(Settings.DiskSlots[3].Drive, "");
  for (int slot : {0, 1, 2}) {
    EXPECT_GT(Settings.DiskSlots[slot].TotalKB, 0) << slot;
    EXPECT_LE(Settings.DiskSlots[slot].FreeKB, Settings.DiskSlots[slot].TotalKB) << slot;
  }
  EXPECT_EQ(Settings.DiskSlots[6].Label, "");
  EXPECT_EQ(Settings.DiskSlots[6].TotalKB, 0);
  EXPECT_EQ(Settings.DiskSlots[7].TotalKB, 0);  // not mounted in the fake tree
  EXPECT_NE(Log().find("ERROR during GetDiskFreeSpaceEx on \"/net/share\": "), std::string::npos);
  EXPECT_NE(Log().find("ERROR during GetDiskFreeSpaceEx on \"C:\": "), std::string::npos);
}

// The readers inside a real pass: a tree with only a processor table, so the others fail and
// report with their tags while the pass goes on.
TEST_F(SystemSourcesTest, APassOverABareTreeReportsAndGoesOn) {
  Put("proc/stat", ProcStat(8, [](int) { return 1; }, [](int) { return 3; }));
  SilenceSources({tPassStep::Freq, tPassStep::CPULoad, tPassStep::ThermalZones, tPassStep::Net,
                  tPassStep::Battery, tPassStep::Disks, tPassStep::Mem, tPassStep::UpTime});
  Pass.ReadAllValues(true);

  EXPECT_EQ(CPUCount, 8);
  EXPECT_EQ(Readings.CPU[3], 2500);
  EXPECT_EQ(Readings.Freq, 0);
  EXPECT_EQ(Readings.BatCap, NoValue32);
  EXPECT_EQ(Readings.MemUsed, NoValue32);
  EXPECT_EQ(PassCount, 1);
  const std::string log = Log();
  EXPECT_NE(log.find("rv32 /proc/meminfo could not be read"), std::string::npos) << log;
  EXPECT_NE(log.find("rv27 uptime not available"), std::string::npos) << log;
}

}  // namespace
