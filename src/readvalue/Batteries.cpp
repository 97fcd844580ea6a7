#include <optional>

#include "core/EventLog.h"
#include "platform/PowerSupply.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "settings/Settings.h"

namespace kv::metrics {

std::vector<std::string> BatteryPaths;

namespace {

constexpr const char* SupplyFolder = "/sys/class/power_supply/";
bool enumerated = false;

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

int32_t Capacity(uint64_t value) { return StoreAsIs32(static_cast<double>(value)); }

// Battery i (0-based) feeds V[i+1] and T[6+i]; the shared figures come from the last one read.
void StoreBattery(const tBattery& battery, size_t i, std::optional<bool> acOnline) {
  Readings.BatOnline = acOnline.value_or(battery.status != "Discharging") ? 1 : 0;
  if (battery.remaining) Readings.BatCap = Capacity(*battery.remaining);
  if (battery.voltageMilliVolts && i < static_cast<size_t>(VChannels))
    Readings.V[i] = StoreAsIs(*battery.voltageMilliVolts / 10);
  if (battery.temperature && 5 + i < static_cast<size_t>(TChannels))
    Readings.T[5 + i] = StoreAsIs(*battery.temperature);
  if (battery.design) {
    Readings.BatFull = Capacity(*battery.design);
    if (battery.full && *battery.design > *battery.full) BatDesign = Capacity(*battery.design);
  }
  if (battery.full) Readings.BatFull = Capacity(*battery.full);
  BatRelative = battery.relative;
}

}  // namespace

void FindBatteries() {
  enumerated = true;
  BatteryPaths.clear();
  for (const std::string& name : kv::FindBatteries(SystemRoot())) {
    BatteryPaths.push_back(SupplyFolder + name);
    LogEvent("Found battery: " + BatteryPaths.back());
  }
  LogEvent("Battery slots: " + std::to_string(BatteryPaths.size()));
}

void ForgetBatteries() { enumerated = false; }

void ReadBatteries() {
  Readings.BatCap = NoValue32;
  Readings.BatFull = 0;
  BatDesign = 0;
  BatRelative = false;
  if (!Settings.ReadBat) return;
  // The folders are looked for once after each reset of the readings, at the first reading.
  if (!enumerated) FindBatteries();
  if (BatteryPaths.empty()) return;
  const std::optional<bool> acOnline = ReadAcOnline(SystemRoot());
  for (size_t i = 0; i < BatteryPaths.size(); ++i) {
    try {
      const std::optional<tBattery> battery = ReadBattery(SystemRoot(), NameOf(BatteryPaths[i]));
      if (!battery) {
        LogEvent("ERROR during CreateFile: " + BatteryPaths[i] + " is gone or reports no capacity");
        continue;
      }
      StoreBattery(*battery, i, acOnline);
    } catch (const std::exception& e) {
      LogError("gbd1 ", e);
    }
  }
}

}  // namespace kv::metrics
