#include "platform/PowerSupply.h"

#include <gtest/gtest.h>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

const std::string kSupply = "sys/class/power_supply/";

void Supply(const std::string& root, const std::string& name, const std::string& file,
            const std::string& value) {
  Put(root, kSupply + name + "/" + file, value + "\n");
}

TEST(Batteries, SystemBatteriesSortedPeripheralsAndAdaptersLeftOut) {
  TempDir root;
  Supply(root.Path(), "BAT1", "type", "Battery");
  Supply(root.Path(), "BAT0", "type", "Battery");
  Supply(root.Path(), "BAT0", "scope", "System");
  Supply(root.Path(), "hidpp_battery_0", "type", "Battery");
  Supply(root.Path(), "hidpp_battery_0", "scope", "Device");
  Supply(root.Path(), "AC", "type", "Mains");
  Supply(root.Path(), "odd", "capacity", "50");  // no type at all
  EXPECT_EQ(FindBatteries(root.Path()), (std::vector<std::string>{"BAT0", "BAT1"}));
  TempDir empty;
  EXPECT_TRUE(FindBatteries(empty.Path()).empty());
}

TEST(Batteries, EnergyCountingBatteryInMilliwattHours) {
  TempDir root;
  Supply(root.Path(), "BAT0", "energy_now", "45000999");
  Supply(root.Path(), "BAT0", "energy_full", "50000000");
  Supply(root.Path(), "BAT0", "energy_full_design", "57000000");
  Supply(root.Path(), "BAT0", "voltage_now", "12345678");
  Supply(root.Path(), "BAT0", "temp", "-15");
  Supply(root.Path(), "BAT0", "status", "Discharging");
  const auto battery = ReadBattery(root.Path(), "BAT0");
  ASSERT_TRUE(battery.has_value());
  EXPECT_FALSE(battery->relative);
  EXPECT_EQ(battery->remaining, 45000u);
  EXPECT_EQ(battery->full, 50000u);
  EXPECT_EQ(battery->design, 57000u);
  EXPECT_EQ(battery->voltageMilliVolts, 12345u);
  EXPECT_EQ(battery->temperature, -150);
  EXPECT_EQ(battery->status, "Discharging");
}

TEST(Batteries, ChargeCountingBatteryInSharesOfTheFullCharge) {
  TempDir root;
  Supply(root.Path(), "BAT1", "charge_now", "2500000");
  Supply(root.Path(), "BAT1", "charge_full", "5000000");
  Supply(root.Path(), "BAT1", "charge_full_design", "5625000");
  Supply(root.Path(), "BAT1", "temp", "250");
  const auto battery = ReadBattery(root.Path(), "BAT1");
  ASSERT_TRUE(battery.has_value());
  EXPECT_TRUE(battery->relative);
  EXPECT_EQ(battery->remaining, 50u);
  EXPECT_EQ(battery->full, 100u);
  EXPECT_EQ(battery->design, 112u);  // 112.5 rounds to even
  EXPECT_EQ(battery->temperature, 2500);
  EXPECT_FALSE(battery->voltageMilliVolts.has_value());
  EXPECT_EQ(battery->status, "");
}

TEST(Batteries, PercentageOnlyAndUnusableBatteries) {
  TempDir root;
  Supply(root.Path(), "BAT0", "capacity", "87");
  Supply(root.Path(), "BAT0", "charge_full", "0");  // nothing to divide by: use capacity
  Supply(root.Path(), "BAT0", "charge_now", "1");
  auto battery = ReadBattery(root.Path(), "BAT0");
  ASSERT_TRUE(battery.has_value());
  EXPECT_TRUE(battery->relative);
  EXPECT_EQ(battery->remaining, 87u);
  EXPECT_EQ(battery->full, 100u);
  EXPECT_FALSE(battery->design.has_value());

  Supply(root.Path(), "BAT1", "energy_now", "n/a");
  Supply(root.Path(), "BAT1", "capacity", "250");
  EXPECT_FALSE(ReadBattery(root.Path(), "BAT1").has_value());
  Supply(root.Path(), "BAT2", "present", "0");
  Supply(root.Path(), "BAT2", "capacity", "50");
  EXPECT_FALSE(ReadBattery(root.Path(), "BAT2").has_value());
  EXPECT_FALSE(ReadBattery(root.Path(), "BAT9").has_value());  // gone since FindBatteries
}

TEST(Batteries, ExternalPowerFromMainsAndUsbSupplies) {
  TempDir root;
  EXPECT_FALSE(ReadAcOnline(root.Path()).has_value());
  Supply(root.Path(), "AC", "type", "Mains");
  Supply(root.Path(), "AC", "online", "0");
  Supply(root.Path(), "ucsi-source-psy-1", "type", "USB");
  Supply(root.Path(), "ucsi-source-psy-1", "online", "0");
  Supply(root.Path(), "mouse-charger", "type", "USB");
  Supply(root.Path(), "mouse-charger", "scope", "Device");
  Supply(root.Path(), "mouse-charger", "online", "1");
  EXPECT_EQ(ReadAcOnline(root.Path()), false);
  Supply(root.Path(), "ucsi-source-psy-1", "online", "1");
  EXPECT_EQ(ReadAcOnline(root.Path()), true);
}

}  // namespace
}  // namespace kv
