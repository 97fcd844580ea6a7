#include <optional>

#include "core/EventLog.h"
#include "platform/PowerSupply.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "settings/Settings.h"

namespace kv::metrics {

namespace {

constexpr const char* SupplyFolder = "/sys/class/power_supply/";

std::string NameOf(const std::string& path) { return path.substr(path.rfind('/') + 1); }

int32_t Capacity(uint64_t value) { return StoreAsIs32(static_cast<double>(value)); }

// Battery i (0-based) feeds V[i+1] and T[6+i]; the shared figures come from the last one read.
void StoreBattery(tReadingsState& current, const tBattery& battery, size_t i, std::optional<bool> acOnline) {
  tReadings& r = current.Readings;
  r.BatOnline = acOnline.value_or(battery.status != "Discharging") ? 1 : 0;
  if (battery.remaining) r.BatCap = Capacity(*battery.remaining);
  if (battery.voltageMilliVolts && i < static_cast<size_t>(VChannels))
    r.V[i] = StoreAsIs(*battery.voltageMilliVolts / 10);
  if (battery.temperature && 5 + i < static_cast<size_t>(TChannels))
    r.T[5 + i] = StoreAsIs(*battery.temperature);
  if (battery.design) {
    r.BatFull = Capacity(*battery.design);
    if (battery.full && *battery.design > *battery.full) current.BatDesign = Capacity(*battery.design);
  }
  if (battery.full) r.BatFull = Capacity(*battery.full);
  current.BatRelative = battery.relative;
}

}  // namespace

void FindBatteries(tPassContext& ctx) {
  tBatteryMemory& batteries = ctx.Memory.Get<tBatteryMemory>();
  batteries.enumerated = true;
  batteries.paths.clear();
  for (const std::string& name : kv::FindBatteries(ctx.SystemRoot)) {
    batteries.paths.push_back(SupplyFolder + name);
    LogEvent("Found battery: " + batteries.paths.back());
  }
  LogEvent("Battery slots: " + std::to_string(batteries.paths.size()));
}

void ForgetBatteries(tPassContext& ctx) { ctx.Memory.Get<tBatteryMemory>().enumerated = false; }

void ReadBatteries(tPassContext& ctx) {
  tReadingsState& current = ctx.Current;
  current.Readings.BatCap = NoValue32;
  current.Readings.BatFull = 0;
  current.BatDesign = 0;
  current.BatRelative = false;
  if (!ctx.Settings.ReadBat) return;
  // The folders are looked for once after each reset of the readings, at the first reading.
  tBatteryMemory& batteries = ctx.Memory.Get<tBatteryMemory>();
  if (!batteries.enumerated) FindBatteries(ctx);
  if (batteries.paths.empty()) return;
  const std::optional<bool> acOnline = ReadAcOnline(ctx.SystemRoot);
  for (size_t i = 0; i < batteries.paths.size(); ++i) {
    try {
      const std::optional<tBattery> battery = ReadBattery(ctx.SystemRoot, NameOf(batteries.paths[i]));
      if (!battery) {
        LogEvent("ERROR during CreateFile: " + batteries.paths[i] + " is gone or reports no capacity");
        continue;
      }
      StoreBattery(current, *battery, i, acOnline);
    } catch (const std::exception& e) {
      LogError("gbd1 ", e);
    }
  }
}

}  // namespace kv::metrics
