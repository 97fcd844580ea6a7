#include "readvalue/HwmonSource.h"

#include <array>
#include <cmath>

#include "core/Text.h"
#include "readvalue/HwmonLibsensors.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr int KindCount = 3;

int KindIndex(tHwmonKind kind) { return static_cast<int>(kind); }

const tStringMap& Order(const tSettings& s, tHwmonKind kind) {
  switch (kind) {
    case tHwmonKind::Voltage: return s.HwmonOrderV;
    case tHwmonKind::Fan: return s.HwmonOrderF;
    case tHwmonKind::Temperature: break;
  }
  return s.HwmonOrderT;
}

tChannelCfg& Channel(tSettings& s, tHwmonKind kind, int index) {
  switch (kind) {
    case tHwmonKind::Voltage: return s.VCfg[index];
    case tHwmonKind::Fan: return s.FCfg[index];
    case tHwmonKind::Temperature: break;
  }
  return s.TCfg[index];
}

std::string DefaultName(tHwmonKind kind, int index) {
  const char* letter = kind == tHwmonKind::Voltage ? "V" : kind == tHwmonKind::Fan ? "F" : "T";
  return std::string(letter).append(std::to_string(index + 1));
}

// The packed record's fields are assigned by index, never through a reference.
void StoreValue(tReadings& r, tHwmonKind kind, int index, double value) {
  switch (kind) {
    case tHwmonKind::Temperature: r.T[index] = StoreTimes100(value); break;
    case tHwmonKind::Voltage: r.V[index] = StoreTimes100(value); break;
    case tHwmonKind::Fan: r.F[index] = StoreAsIs(value); break;
  }
}


void Deliver(tPassContext& ctx, const tHwmonSensor& sensor, const std::string& name, int index, bool namesPending) {
  if (std::isfinite(sensor.Value)) StoreValue(ctx.Current.Readings, sensor.Kind, index, sensor.Value);
  if (namesPending)
    ReplaceDefaultName(Channel(ctx.Settings, sensor.Kind, index).Name, DefaultName(sensor.Kind, index), name);
}

// The channels taken in discovery order so far in one pass, per kind: sensors that another
// step adds (the GPUs, the drives) continue after the hwmon ones. A pass is told by its number
// as well as its time: two passes can share a millisecond.
struct tDiscovery {
  TDateTime time = -1;
  int32_t count = -1;
  std::array<int, KindCount> next{};
};

void Store(tPassContext& ctx, const std::vector<tHwmonSensor>& sensors, bool& namesPending, bool fresh) {
  const bool ordered = OrderMapSet(ctx.Settings);
  tDiscovery& discovery = ctx.Memory.Get<tDiscovery>();
  if (fresh || discovery.time != ctx.Now || discovery.count != ctx.Current.PassCount) discovery.next = {};
  discovery.time = ctx.Now;
  discovery.count = ctx.Current.PassCount;
  // An unreadable sensor still takes its place, so the channels stay put when it comes back.
  std::array<int, KindCount>& discovered = discovery.next;
  for (const tHwmonSensor& sensor : sensors) {
    const std::string name = HwmonSensorName(sensor);
    if (ordered) {
      const tStringMap& order = Order(ctx.Settings, sensor.Kind);
      for (int i = 0; i < TempChannels; ++i)
        if (SameText(Trim(order[i]), name)) Deliver(ctx, sensor, name, i, namesPending);
    } else {
      int& next = discovered[KindIndex(sensor.Kind)];
      if (next < TempChannels) Deliver(ctx, sensor, name, next, namesPending);
      ++next;
    }
  }
  if (!sensors.empty()) namesPending = false;
}

}  // namespace

std::string HwmonSensorName(const tHwmonSensor& sensor) { return sensor.Chip + " " + sensor.Label; }

bool OrderMapSet(const tSettings& s) {
  for (const tStringMap* map : {&s.HwmonOrderT, &s.HwmonOrderV, &s.HwmonOrderF})
    for (const std::string& entry : *map)
      if (!Trim(entry).empty()) return true;
  return false;
}

void StoreHwmonSensors(tPassContext& ctx, const std::vector<tHwmonSensor>& sensors) {
  Store(ctx, sensors, ctx.Current.HwmonNamesPending, true);
}

void StoreMoreSensors(tPassContext& ctx, const std::vector<tHwmonSensor>& sensors, bool& namesPending) {
  Store(ctx, sensors, namesPending, false);
}

void ReadHwmonSensors(tPassContext& ctx) { StoreHwmonSensors(ctx, ReadLibsensors()); }

void ReopenHwmonSensors(tPassContext& ctx) { ReinitHwmon(ctx.Settings.ReadHwmon); }

void CloseHwmonSensors(tPassContext&) { CloseHwmon(); }

}  // namespace kv
