#include "readvalue/ThermalZoneSource.h"

#include "platform/ThermalZones.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"

namespace kv::metrics {

// ForceACPI has no counterpart: the kernel reads the zones afresh on every access.
void ReadThermalZones(tPassContext& ctx) {
  int channel = 0;
  for (const tThermalZone& zone : kv::ReadThermalZones(ctx.SystemRoot)) {
    if (channel == TChannels) break;
    ctx.Current.Readings.T[channel++] = StoreAsIs(zone.temperature);
  }
}

}  // namespace kv::metrics
