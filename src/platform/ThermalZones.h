#pragma once
// Kernel thermal zones (ACPI zones, the CPU package sensor, ...) from /sys/class/thermal.
#include <cstdint>
#include <string>
#include <vector>

namespace kv {

struct tThermalZone {
  int zone = 0;             // N of thermal_zoneN
  std::string type;         // "acpitz", "x86_pkg_temp", ...; empty when unreadable
  int32_t temperature = 0;  // hundredths of a degree Celsius
};

// Zones that report a temperature, in zone-number order (thermal_zone10 after thermal_zone9).
// Zones whose temp cannot be read (a sensor that is switched off answers an error) are left out.
std::vector<tThermalZone> ReadThermalZones(const std::string& root = "/");

// Millidegrees → hundredths of a degree, rounded half to even like every stored measurement.
int32_t MilliToHundredths(int64_t milliCelsius);

}  // namespace kv
