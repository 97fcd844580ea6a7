#include "platform/ThermalZones.h"

#include <gtest/gtest.h>

#include "platform/FakeTree.h"

namespace kv {
namespace {

using kvtest::Put;
using kvtest::TempDir;

TEST(ThermalZones, ReadableZonesInNumberOrder) {
  TempDir root;
  const std::string thermal = "sys/class/thermal/";
  Put(root.Path(), thermal + "thermal_zone10/temp", "61000\n");
  Put(root.Path(), thermal + "thermal_zone10/type", "iwlwifi_1\n");
  Put(root.Path(), thermal + "thermal_zone9/temp", "-5500\n");
  Put(root.Path(), thermal + "thermal_zone2/temp", "45005\n");
  Put(root.Path(), thermal + "thermal_zone2/type", "x86_pkg_temp\n");
  Put(root.Path(), thermal + "thermal_zone0/type", "acpitz\n");  // no temp file
  Put(root.Path(), thermal + "thermal_zone1/temp", "N/A\n");
  Put(root.Path(), thermal + "thermal_zone3/temp", "");
  Put(root.Path(), thermal + "cooling_device0/cur_state", "0\n");
  Put(root.Path(), thermal + "thermal_zoneX/temp", "1000\n");

  const std::vector<tThermalZone> zones = ReadThermalZones(root.Path());
  ASSERT_EQ(zones.size(), 3u);
  EXPECT_EQ(zones[0].zone, 2);
  EXPECT_EQ(zones[0].type, "x86_pkg_temp");
  EXPECT_EQ(zones[0].temperature, 4500);
  EXPECT_EQ(zones[1].zone, 9);
  EXPECT_EQ(zones[1].temperature, -550);
  EXPECT_EQ(zones[1].type, "");
  EXPECT_EQ(zones[2].zone, 10);
  EXPECT_EQ(zones[2].temperature, 6100);

  TempDir empty;
  EXPECT_TRUE(ReadThermalZones(empty.Path()).empty());
}

TEST(ThermalZones, MillidegreesRoundHalfToEvenSymmetrically) {
  EXPECT_EQ(MilliToHundredths(45005), 4500);
  EXPECT_EQ(MilliToHundredths(45015), 4502);
  EXPECT_EQ(MilliToHundredths(45006), 4501);
  EXPECT_EQ(MilliToHundredths(45004), 4500);
  EXPECT_EQ(MilliToHundredths(-45015), -4502);
  EXPECT_EQ(MilliToHundredths(-5), 0);
  EXPECT_EQ(MilliToHundredths(-16), -2);
  EXPECT_EQ(MilliToHundredths(INT64_MIN), -INT32_MAX);
}

}  // namespace
}  // namespace kv
