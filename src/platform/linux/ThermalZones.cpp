#include "platform/ThermalZones.h"

#include <algorithm>

#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

int32_t MilliToHundredths(int64_t milliCelsius) {
  const bool negative = milliCelsius < 0;
  // Work on the magnitude so that -5 rounds like 5 (to 0), not towards minus infinity.
  const uint64_t magnitude = negative ? 0 - static_cast<uint64_t>(milliCelsius)
                                      : static_cast<uint64_t>(milliCelsius);
  uint64_t q = magnitude / 10;
  const uint64_t r = magnitude % 10;
  if (r > 5 || (r == 5 && (q & 1) != 0)) ++q;
  const uint64_t limit = INT32_MAX;
  if (q > limit) q = limit;
  return negative ? -static_cast<int32_t>(q) : static_cast<int32_t>(q);
}

std::vector<tThermalZone> ReadThermalZones(const std::string& root) {
  std::vector<tThermalZone> zones;
  const std::string folder = RootPath(root, "sys/class/thermal/");
  for (const std::string& name : ListFolder(folder)) {
    const auto number = NumberAfter(name, "thermal_zone");
    if (!number || *number > INT32_MAX) continue;
    const std::string base = folder + name + "/";
    const auto milli = ReadSigned(base + "temp");
    if (!milli) continue;
    tThermalZone zone;
    zone.zone = static_cast<int>(*number);
    zone.temperature = MilliToHundredths(*milli);
    zone.type = ReadTrimmed(base + "type").value_or("");
    zones.push_back(std::move(zone));
  }
  std::sort(zones.begin(), zones.end(),
            [](const tThermalZone& a, const tThermalZone& b) { return a.zone < b.zone; });
  return zones;
}

}  // namespace kv
