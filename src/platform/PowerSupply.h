#pragma once
// Batteries and mains adapters from /sys/class/power_supply.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

struct tBattery {
  // Capacities in mWh, or with `relative` in percent of the full charge (full = 100): batteries
  // that count charge in µAh, or report only a percentage, say nothing about energy.
  std::optional<uint64_t> remaining;
  std::optional<uint64_t> full;
  std::optional<uint64_t> design;
  bool relative = false;
  std::optional<uint32_t> voltageMilliVolts;
  std::optional<int32_t> temperature;  // hundredths of a degree Celsius
  std::string status;                  // "Charging", "Discharging", "Full", "Not charging", ...
};

// Names of the system's batteries under <root>/sys/class/power_supply ("BAT0"), sorted. Batteries
// of peripherals (scope "Device": mice, headsets) are left out.
std::vector<std::string> FindBatteries(const std::string& root = "/");

// nullopt when the battery is gone or reports no capacity at all.
std::optional<tBattery> ReadBattery(const std::string& root, const std::string& name);

// Whether the machine runs on external power: true when any mains or USB-C supply is online,
// false when there are such supplies and none is online, nullopt when there are none.
std::optional<bool> ReadAcOnline(const std::string& root = "/");

}  // namespace kv
