#include "readvalue/CpuidHwMonitor.h"

#include <cmath>
#include <cstdint>
#include <string>

#include "core/Text.h"
#include "readvalue/Readings.h"
#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr size_t DeviceCountOffset = 80;  // byte
constexpr size_t DevicesOffset = 84;
constexpr size_t DeviceSize = 152;
constexpr size_t DeviceNameSize = 32;
constexpr size_t KindCountOffset = 72;  // byte 72 + 8·j: sensors of kind j
constexpr int KindCount = 10;
constexpr size_t SensorSize = 48;
constexpr size_t SensorNameSize = 32;
constexpr size_t SensorValue = 36;  // float

// The kinds that feed channels; kinds 3..9 are stepped over.
struct tKindRow {
  int kind;
  tChannelGroup group;
  int lastChannel;  // V10 is never written by this source
};
const tKindRow KindTable[] = {
    {0, tChannelGroup::V, 9},
    {1, tChannelGroup::T, 10},
    {2, tChannelGroup::F, 10},
};

const tKindRow* RowOfKind(int kind) {
  for (const tKindRow& row : KindTable)
    if (row.kind == kind) return &row;
  return nullptr;
}

size_t Device(size_t d) { return DevicesOffset + DeviceSize * d; }
uint8_t SensorsOfKind(const ShmView& view, size_t d, int kind) {
  return view.Byte(Device(d) + KindCountOffset + 8 * static_cast<size_t>(kind));
}

int16_t Stored(tChannelGroup group, double v, bool acceptZero) {
  if (group == tChannelGroup::F) return StoreAsIs(v);
  const int16_t hundredths = StoreTimes100(v);
  // A temperature of 0 or below is an unused sensor.
  if (group == tChannelGroup::T && hundredths <= 0 && !acceptZero) return NoValue16;
  return hundredths;
}

void ApplyCpuid(tPassContext& ctx, const ShmView& view) {
  const size_t devices = view.Byte(DeviceCountOffset);
  // The counts must fit the block before anything is stored from it.
  size_t sensors = 0;
  view.Require(Device(devices));
  for (size_t d = 0; d < devices; ++d)
    for (int j = 0; j < KindCount; ++j) sensors += SensorsOfKind(view, d, j);
  view.Require(Device(devices) + SensorSize * sensors);

  int used[KindCount] = {};  // channels taken so far, per kind
  size_t sensor = Device(devices);
  for (size_t d = 0; d < devices; ++d) {
    const std::string device = Trim(OutsideText(view.Chars(Device(d), DeviceNameSize)));
    for (int j = 0; j < KindCount; ++j) {
      const tKindRow* row = RowOfKind(j);
      for (int s = SensorsOfKind(view, d, j); s > 0; --s, sensor += SensorSize) {
        if (!row || used[j] >= row->lastChannel) continue;
        const int channel = ++used[j];
        const double v = view.Float(sensor + SensorValue);
        if (std::isfinite(v))
          SetChannel(ctx.Current.Readings, row->group, channel, Stored(row->group, v, ctx.Settings.AcceptZeroValue));
        if (ctx.Current.HWMNamesPending)
          NameChannel(ctx.Settings, row->group, channel, device + " " + Trim(OutsideText(view.Chars(sensor, SensorNameSize))));
      }
    }
  }
  ctx.Current.HWMNamesPending = false;
}

}  // namespace

void ReadCPUID(tPassContext& ctx) {
  ReadSharedMemory("$CPUID$HWM$", tShmAccess::Read, [&ctx](const ShmView& view) { ApplyCpuid(ctx, view); },
                   {"rv1 ", "rv2 "}, ShmWatch(ctx));
}

}  // namespace kv
