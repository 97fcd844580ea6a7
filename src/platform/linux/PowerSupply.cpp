#include "platform/PowerSupply.h"

#include <algorithm>

#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

std::string SupplyFolder(const std::string& root) {
  return RootPath(root, "sys/class/power_supply/");
}

bool IsDeviceScope(const std::string& base) {
  return ReadTrimmed(base + "scope").value_or("") == "Device";
}

// value × 100 / full, rounded half to even.
uint64_t PercentOf(uint64_t value, uint64_t full) {
  if (value > UINT64_MAX / 100) return 100;
  const uint64_t scaled = value * 100;
  uint64_t q = scaled / full;
  const uint64_t r = scaled % full;
  if (r > full - r || (r == full - r && (q & 1) != 0)) ++q;
  return q;
}

std::optional<uint64_t> MicroToMilli(std::optional<uint64_t> micro) {
  if (!micro) return std::nullopt;
  return *micro / 1000;
}

}  // namespace

std::vector<std::string> FindBatteries(const std::string& root) {
  std::vector<std::string> names;
  const std::string folder = SupplyFolder(root);
  for (std::string& name : ListFolder(folder)) {
    const std::string base = folder + name + "/";
    if (ReadTrimmed(base + "type").value_or("") != "Battery" || IsDeviceScope(base)) continue;
    names.push_back(std::move(name));
  }
  std::sort(names.begin(), names.end());
  return names;
}

std::optional<tBattery> ReadBattery(const std::string& root, const std::string& name) {
  const std::string base = SupplyFolder(root) + name + "/";
  // A slot that is present but empty (a removed second battery) has present = 0.
  if (ReadUnsigned(base + "present").value_or(1) == 0) return std::nullopt;

  tBattery battery;
  if (const auto energyNow = ReadUnsigned(base + "energy_now")) {
    battery.remaining = *energyNow / 1000;  // µWh → mWh
    battery.full = MicroToMilli(ReadUnsigned(base + "energy_full"));
    battery.design = MicroToMilli(ReadUnsigned(base + "energy_full_design"));
  } else if (const auto chargeNow = ReadUnsigned(base + "charge_now")) {
    // µAh without a voltage to turn it into energy: report shares of the full charge.
    const auto chargeFull = ReadUnsigned(base + "charge_full");
    if (chargeFull && *chargeFull > 0) {
      battery.relative = true;
      battery.remaining = PercentOf(*chargeNow, *chargeFull);
      battery.full = 100;
      if (const auto chargeDesign = ReadUnsigned(base + "charge_full_design"))
        battery.design = PercentOf(*chargeDesign, *chargeFull);
    }
  }
  if (!battery.remaining) {
    const auto capacity = ReadUnsigned(base + "capacity");
    if (!capacity || *capacity > 100) return std::nullopt;
    battery.relative = true;
    battery.remaining = *capacity;
    battery.full = 100;
  }

  const auto microVolts = ReadUnsigned(base + "voltage_now");
  if (microVolts && *microVolts / 1000 <= UINT32_MAX)
    battery.voltageMilliVolts = static_cast<uint32_t>(*microVolts / 1000);
  const auto tenthsCelsius = ReadSigned(base + "temp");
  if (tenthsCelsius && *tenthsCelsius > -10000 && *tenthsCelsius < 10000)
    battery.temperature = static_cast<int32_t>(*tenthsCelsius * 10);
  battery.status = ReadTrimmed(base + "status").value_or("");
  return battery;
}

std::optional<bool> ReadAcOnline(const std::string& root) {
  std::optional<bool> online;
  const std::string folder = SupplyFolder(root);
  for (const std::string& name : ListFolder(folder)) {
    const std::string base = folder + name + "/";
    const std::string type = ReadTrimmed(base + "type").value_or("");
    if ((type != "Mains" && type != "USB") || IsDeviceScope(base)) continue;
    const auto value = ReadUnsigned(base + "online");
    if (!value) continue;
    online = online.value_or(false) || *value != 0;
  }
  return online;
}

}  // namespace kv
