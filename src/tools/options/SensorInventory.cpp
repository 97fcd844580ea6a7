#include "tools/options/SensorInventory.h"

#include <cmath>
#include <cstdio>

#include "platform/SharedMemory.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/GpuSource.h"
#include "readvalue/HwmonLibsensors.h"
#include "readvalue/HwmonSource.h"
#include "readvalue/Readings.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// The monitoring programs whose shared-memory blocks the passes read.
struct tProgramBlock {
  const char* program;
  const char* block;
};
const tProgramBlock ProgramBlocks[] = {
    {"SpeedFan", "SFSharedMemory_ALM"},
    {"CPUID Hardware Monitor", "$CPUID$HWM$"},
    {"Motherboard Monitor 5.1.9", "$M$B$M$5$S$D$"},
    {"Motherboard Monitor 5.1.0.7", "$M$B$M$5$D$"},
};

std::string Fixed(double v, int decimals, const char* unit) {
  if (std::isnan(v)) return {};
  char buf[48];
  std::snprintf(buf, sizeof buf, "%.*f %s", decimals, v, unit);
  return buf;
}

std::string Hundredths(int16_t v, const char* unit) {
  return v == NoValue16 ? std::string() : Fixed(v / 100.0, 2, unit);
}

tHwmonKind KindOfPage(int page) {
  return page == 5 ? tHwmonKind::Voltage : page == 6 ? tHwmonKind::Fan : tHwmonKind::Temperature;
}

}  // namespace

void RefreshInventoryReadings(tAcquisition& pass) {
  pass.ResetReadings();
  pass.ReadAllValues(true);
}

namespace {
// The readings keep addresses padded to three places a part ("127.  0.  0.  1"); people read
// them plain.
std::string Unpadded(const std::string& address) {
  std::string out;
  for (char c : address)
    if (c != ' ') out += c;
  return out;
}
}  // namespace

std::vector<tInventoryItem> SensorInventory(const tSettings& settings, const tReadingsState& current, int page) {
  std::vector<tInventoryItem> items;
  if (page >= 4 && page <= 6) {
    const tHwmonKind kind = KindOfPage(page);
    const char* unit = kind == tHwmonKind::Voltage ? "V" : kind == tHwmonKind::Fan ? "RPM" : "°C";
    const int decimals = kind == tHwmonKind::Fan ? 0 : kind == tHwmonKind::Voltage ? 3 : 1;
    if (settings.ReadHwmon)
      for (const tHwmonSensor& s : ReadLibsensors())
        if (s.Kind == kind) items.push_back({"hwmon", HwmonSensorName(s), Fixed(s.Value, decimals, unit)});
    // NVML's GPUs from the pass just run, named like hwmon sensors and ordered by the same map.
    if (settings.ReadGPU)
      for (const tHwmonSensor& s : GpuSensors(current.Gpus))
        if (s.Kind == kind) items.push_back({"hwmon", HwmonSensorName(s), Fixed(s.Value, decimals, unit)});
    // Drives from udisks2 at the pass just run, named and ordered like hwmon sensors.
    if (settings.ReadUDisks && kind == tHwmonKind::Temperature)
      for (const auto& d : current.Drives)
        items.push_back({"udisks2", HwmonSensorName({"udisks2", d.Label, kind, d.Celsius}), Fixed(d.Celsius, decimals, unit)});
    for (const tProgramBlock& p : ProgramBlocks)
      if (SharedMemoryExists(p.block)) items.push_back({"shared memory", p.program, ""});
    if (SharedMemoryExists(ExternalAreaName())) items.push_back({"shared memory", ExternalAreaName(), ""});
  } else if (page == 8) {
    for (const tNetMon& n : current.NetMons) items.push_back({"network", n.Description, Unpadded(n.Ip) + " " + n.Mac});
  } else if (page == 9) {
    for (const tDiskMon& d : current.DiskMons) items.push_back({"disks", d.Root, d.Label});
  }
  return items;
}

std::string ChannelValueText(const tReadingsState& current, int page, int channel) {
  const tReadings& r = current.Readings;
  const int x = channel - 1;
  if (x < 0) return {};
  switch (page) {
    case 4: return x < TChannels ? Hundredths(r.T[x], "°C") : "";
    case 5: return x < VChannels ? Hundredths(r.V[x], "V") : "";
    case 6:
      if (x >= FChannels || r.F[x] == NoValue16) return {};
      return r.F[x] < 0 ? Fixed(-r.F[x] / 100.0, 2, "l/h") : Fixed(r.F[x], 0, "RPM");
    case 7: return x < CPUChannels ? Hundredths(r.CPU[x], "%") : "";
    default: return {};
  }
}

}  // namespace kv
