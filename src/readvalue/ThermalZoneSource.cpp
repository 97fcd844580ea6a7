#include "readvalue/ThermalZoneSource.h"

#include "platform/ThermalZones.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"  // SystemRoot

namespace kv::metrics {

// ForceACPI has no counterpart: the kernel reads the zones afresh on every access.
void ReadThermalZones() {
  int channel = 0;
  for (const tThermalZone& zone : kv::ReadThermalZones(SystemRoot())) {
    if (channel == TChannels) break;
    Readings.T[channel++] = StoreAsIs(zone.temperature);
  }
}

}  // namespace kv::metrics
