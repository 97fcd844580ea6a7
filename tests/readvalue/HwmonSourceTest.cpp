// The hwmon mapping against a provider that hands out a fixed sensor list.
#include "readvalue/HwmonSource.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <limits>
#include <stdexcept>

#include "core/EventLog.h"
#include "platform/SharedMemory.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

tHwmonSensor Temp(const std::string& chip, const std::string& label, double celsius) {
  return {chip, label, tHwmonKind::Temperature, celsius};
}
tHwmonSensor Volt(const std::string& chip, const std::string& label, double volts) {
  return {chip, label, tHwmonKind::Voltage, volts};
}
tHwmonSensor Fan(const std::string& chip, const std::string& label, double rpm) {
  return {chip, label, tHwmonKind::Fan, rpm};
}

class HwmonSourceTest : public testing::Test, protected kvtest::FakeTime, public kvtest::PassState {
 protected:
  HwmonSourceTest() : FakeTime(1700000000000), PassState(&clock_) {}
  void SetUp() override {
    SetSharedMemoryPrefix("kvtest-hwmon-" + std::to_string(::getpid()) + "-");
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    for (tFanCfg& fan : Settings.FCfg) fan.Div = 1.0;
    Pass.ResetReadings();
    SilenceSources({tPassStep::Hwmon, tPassStep::External});
  }
  void TearDown() override {
    SetDebugMode(false);
    SetEventLogPath("");
    SetSharedMemoryPrefix("");
  }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  kvtest::TempDir dir_;
};

// ---- Discovery order (no OrderHwmon entries) ----

TEST_F(HwmonSourceTest, EachKindFillsItsOwnChannelsInDiscoveryOrderAcrossChips) {
  StoreHwmonSensors(Ctx, {Volt("nct6775-isa-0290", "Vcore", 1.2),
                     Temp("nct6775-isa-0290", "SYSTIN", 31.5),
                     Fan("nct6775-isa-0290", "fan1", 1234.4),
                     Volt("nct6775-isa-0290", "+12V", 12.05),
                     Temp("coretemp-isa-0000", "Package id 0", 45.55),
                     Fan("amdgpu-pci-0300", "fan1", 2100.6)});

  EXPECT_EQ(Readings.T[0], 3150);
  EXPECT_EQ(Readings.T[1], 4555);
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Readings.V[0], 120);
  EXPECT_EQ(Readings.V[1], 1205);
  EXPECT_EQ(Readings.V[2], NoValue16);
  EXPECT_EQ(Readings.F[0], 1234);
  EXPECT_EQ(Readings.F[1], 2101);
  EXPECT_EQ(Readings.F[2], NoValue16);
}

TEST_F(HwmonSourceTest, SensorsBeyondTheTenthOfAKindAreDropped) {
  std::vector<tHwmonSensor> sensors;
  for (int i = 1; i <= 12; ++i) sensors.push_back(Temp("drivetemp-scsi-0-0", "t" + std::to_string(i), 20 + i));
  sensors.push_back(Fan("it87-isa-0a40", "fan1", 900));
  StoreHwmonSensors(Ctx, sensors);

  for (int i = 0; i < TChannels; ++i) EXPECT_EQ(Readings.T[i], (21 + i) * 100) << "T" << i + 1;
  EXPECT_EQ(Settings.TCfg[9].Name, "drivetemp-scsi-0-0 t10");
  EXPECT_EQ(Readings.F[0], 900);  // the temperatures' overflow costs the fans nothing
}

TEST_F(HwmonSourceTest, AnUnreadableSensorKeepsItsChannelAndItsPlace) {
  Readings.T[0] = 5000;
  StoreHwmonSensors(Ctx, {Temp("k10temp-pci-00c3", "Tctl", NaN), Temp("k10temp-pci-00c3", "Tccd1", 40)});
  EXPECT_EQ(Readings.T[0], 5000);
  EXPECT_EQ(Readings.T[1], 4000);  // not moved up into T1
  EXPECT_EQ(Settings.TCfg[0].Name, "k10temp-pci-00c3 Tctl");

  StoreHwmonSensors(Ctx, {Temp("k10temp-pci-00c3", "Tctl", 55.25), Temp("k10temp-pci-00c3", "Tccd1", NaN)});
  EXPECT_EQ(Readings.T[0], 5525);
  EXPECT_EQ(Readings.T[1], 4000);
}

// ---- The order map ----

TEST_F(HwmonSourceTest, OrderMapPutsNamedSensorsIntoTheirChannelsAndNothingElse) {
  Settings.HwmonOrderT[ChannelIndex(3)] = "coretemp-isa-0000 Package id 0";
  Settings.HwmonOrderT[ChannelIndex(5)] = "CORETEMP-ISA-0000 core 1";  // letter case does not matter
  Settings.HwmonOrderT[ChannelIndex(7)] = "coretemp-isa-0000 Core 7";  // no such sensor
  Settings.HwmonOrderV[ChannelIndex(2)] = "nct6775-isa-0290 +12V";
  Settings.HwmonOrderV[ChannelIndex(9)] = "nct6775-isa-0290 +12V";  // one sensor, two channels
  Readings.T[6] = 2222;

  StoreHwmonSensors(Ctx, {Temp("coretemp-isa-0000", "Core 0", 41),
                     Temp("coretemp-isa-0000", "Core 1", 42),
                     Temp("coretemp-isa-0000", "Package id 0", 44),
                     Volt("nct6775-isa-0290", "Vcore", 1.1),
                     Volt("nct6775-isa-0290", "+12V", 12.1),
                     Fan("nct6775-isa-0290", "fan1", 800)});

  EXPECT_EQ(Readings.T[ChannelIndex(3)], 4400);
  EXPECT_EQ(Readings.T[ChannelIndex(5)], 4200);
  EXPECT_EQ(Readings.T[ChannelIndex(7)], 2222);  // a miss leaves the channel
  EXPECT_EQ(Readings.T[ChannelIndex(1)], NoValue16);  // unmapped: not filled in discovery order
  EXPECT_EQ(Readings.V[ChannelIndex(2)], 1210);
  EXPECT_EQ(Readings.V[ChannelIndex(9)], 1210);
  EXPECT_EQ(Readings.V[ChannelIndex(1)], NoValue16);
  EXPECT_EQ(Readings.F[ChannelIndex(1)], NoValue16);  // with a map, fans need entries too
  EXPECT_EQ(Settings.TCfg[ChannelIndex(3)].Name, "coretemp-isa-0000 Package id 0");
  EXPECT_EQ(Settings.TCfg[ChannelIndex(1)].Name, "T1");
  EXPECT_EQ(Settings.TCfg[ChannelIndex(7)].Name, "T7");
}

TEST_F(HwmonSourceTest, GuardAndOrderMapComeFromKVClientIni) {
  Process.SettingsDir = dir_.Path();
  ReadSettings(Settings, Process);
  EXPECT_TRUE(Settings.ReadHwmon);
  for (const tStringMap* map : {&Settings.HwmonOrderT, &Settings.HwmonOrderV, &Settings.HwmonOrderF})
    for (const std::string& entry : *map) EXPECT_EQ(entry, "");

  kvtest::WriteFile(dir_.File(ClientIniName),
                    "[Debug]\r\nReadHwmon=0\r\n"
                    "[OrderHwmon]\r\nT2=coretemp-isa-0000 Package id 0\r\nF10=it87-isa-0a40 fan3\r\n");
  ReadSettings(Settings, Process);
  EXPECT_FALSE(Settings.ReadHwmon);
  EXPECT_EQ(Settings.HwmonOrderT[ChannelIndex(2)], "coretemp-isa-0000 Package id 0");
  EXPECT_EQ(Settings.HwmonOrderF[ChannelIndex(10)], "it87-isa-0a40 fan3");
  EXPECT_EQ(Settings.HwmonOrderT[ChannelIndex(1)], "");

  Settings.ReadHwmon = true;
  WriteSettings(Settings, Process.SettingsDir, false);
  const std::string ini = kvtest::ReadFile(dir_.File(ClientIniName));
  EXPECT_NE(ini.find("ReadHwmon=1"), std::string::npos) << ini;
  EXPECT_NE(ini.find("T2=coretemp-isa-0000 Package id 0"), std::string::npos) << ini;
}

// ---- Channel names ----

TEST_F(HwmonSourceTest, NamesAreSuppliedOnlyToDefaultNamedChannelsAndOnlyOnce) {
  Settings.TCfg[1].Name = "CPU";
  StoreHwmonSensors(Ctx, {});  // no chips yet: the names stay pending
  EXPECT_TRUE(HwmonNamesPending);
  StoreHwmonSensors(Ctx, {Temp("acpitz-acpi-0", "temp1", 27.8), Temp("acpitz-acpi-0", "temp2", 29.8),
                     Volt("BAT0-acpi-0", "in0", 12.6), Fan("dell_smm-isa-0000", "Processor Fan", 2000)});
  EXPECT_EQ(Settings.TCfg[0].Name, "acpitz-acpi-0 temp1");
  EXPECT_EQ(Settings.TCfg[1].Name, "CPU");
  EXPECT_EQ(Settings.VCfg[0].Name, "BAT0-acpi-0 in0");
  EXPECT_EQ(Settings.FCfg[0].Name, "dell_smm-isa-0000 Processor Fan");
  EXPECT_FALSE(HwmonNamesPending);

  // A later pass with a new chip names nothing, even a channel still called by default.
  StoreHwmonSensors(Ctx, {Temp("acpitz-acpi-0", "temp1", 27.8), Temp("acpitz-acpi-0", "temp2", 29.8),
                     Temp("nvme-pci-0100", "Composite", 38.85)});
  EXPECT_EQ(Settings.TCfg[2].Name, "T3");
  EXPECT_EQ(Readings.T[2], 3885);
}

// ---- Inside the pass ----

TEST_F(HwmonSourceTest, LaterStepsOfThePassOverrideHwmon) {
  Row(tPassStep::Hwmon).read = [](tPassContext& ctx) {
    StoreHwmonSensors(ctx, {Temp("coretemp-isa-0000", "Core 0", 50), Temp("coretemp-isa-0000", "Core 1", 51),
                            Fan("nct6775-isa-0290", "fan2", 1500)});
  };
  Row(tPassStep::SpeedFan).read = [&](kv::tPassContext&) { Readings.T[0] = 3900; };
  Row(tPassStep::Everest).read = [&](kv::tPassContext&) { Readings.F[0] = 777; };

  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 3900);
  EXPECT_EQ(Readings.T[1], 5100);
  EXPECT_EQ(Readings.F[0], 777);
}

TEST_F(HwmonSourceTest, TheGuardSwitchesTheSourceOffAndFailuresCostOnlyTheStep) {
  int calls = 0;
  Row(tPassStep::Hwmon).read = [&calls](tPassContext&) {
    ++calls;
    throw std::runtime_error("no chips today");
  };
  Settings.ReadHwmon = false;
  Pass.ReadAllValues(false);
  EXPECT_EQ(calls, 0);

  Settings.ReadHwmon = true;
  clock_.Advance(20000);
  Pass.ReadAllValues(false);
  EXPECT_EQ(calls, 1);
  EXPECT_NE(Log().find("rv hw 3 no chips today"), std::string::npos);
  EXPECT_EQ(PassCount, 2);
  EXPECT_EQ(Readings.Time, clock_.UtcNow());
}

}  // namespace
