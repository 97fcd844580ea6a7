#include "readvalue/HwmonSource.h"

#include <array>
#include <cmath>

#include "core/Text.h"
#include "readvalue/HwmonLibsensors.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"

namespace kv {

namespace {

constexpr int KindCount = 3;

int KindIndex(tHwmonKind kind) { return static_cast<int>(kind); }

const tStringMap& Order(tHwmonKind kind) {
  switch (kind) {
    case tHwmonKind::Voltage: return HwmonOrderV;
    case tHwmonKind::Fan: return HwmonOrderF;
    case tHwmonKind::Temperature: break;
  }
  return HwmonOrderT;
}

tChannelCfg& Channel(tHwmonKind kind, int index) {
  switch (kind) {
    case tHwmonKind::Voltage: return VCfg[index];
    case tHwmonKind::Fan: return FCfg[index];
    case tHwmonKind::Temperature: break;
  }
  return TCfg[index];
}

std::string DefaultName(tHwmonKind kind, int index) {
  const char* letter = kind == tHwmonKind::Voltage ? "V" : kind == tHwmonKind::Fan ? "F" : "T";
  return letter + std::to_string(index + 1);
}

// The packed record's fields are assigned by index, never through a reference.
void StoreValue(tHwmonKind kind, int index, double value) {
  switch (kind) {
    case tHwmonKind::Temperature: Readings.T[index] = StoreTimes100(value); break;
    case tHwmonKind::Voltage: Readings.V[index] = StoreTimes100(value); break;
    case tHwmonKind::Fan: Readings.F[index] = StoreAsIs(value); break;
  }
}

// A map with no entry at all means the user has not ordered anything: discovery order.
bool OrderMapSet() {
  for (const tStringMap* map : {&HwmonOrderT, &HwmonOrderV, &HwmonOrderF})
    for (const std::string& entry : *map)
      if (!Trim(entry).empty()) return true;
  return false;
}

void Deliver(const tHwmonSensor& sensor, const std::string& name, int index) {
  if (std::isfinite(sensor.Value)) StoreValue(sensor.Kind, index, sensor.Value);
  if (HwmonNamesPending)
    ReplaceDefaultName(Channel(sensor.Kind, index).Name, DefaultName(sensor.Kind, index), name);
}

}  // namespace

std::string HwmonSensorName(const tHwmonSensor& sensor) { return sensor.Chip + " " + sensor.Label; }

void StoreHwmonSensors(const std::vector<tHwmonSensor>& sensors) {
  const bool ordered = OrderMapSet();
  // An unreadable sensor still takes its place, so the channels stay put when it comes back.
  std::array<int, KindCount> discovered{};
  for (const tHwmonSensor& sensor : sensors) {
    const std::string name = HwmonSensorName(sensor);
    if (ordered) {
      const tStringMap& order = Order(sensor.Kind);
      for (int i = 0; i < TempChannels; ++i)
        if (SameText(Trim(order[i]), name)) Deliver(sensor, name, i);
    } else {
      int& next = discovered[KindIndex(sensor.Kind)];
      if (next < TempChannels) Deliver(sensor, name, next);
      ++next;
    }
  }
  if (!sensors.empty()) HwmonNamesPending = false;
}

namespace {
tHwmonProvider hwmonProvider;  // empty: libsensors
}

void ReadHwmonSensors() { StoreHwmonSensors(hwmonProvider ? hwmonProvider() : ReadLibsensors()); }

void SetHwmonProviderForTest(tHwmonProvider provider) { hwmonProvider = std::move(provider); }

}  // namespace kv
