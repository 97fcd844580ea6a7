#include "readvalue/SystemSources.h"

#include "platform/IdleTime.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"

namespace kv {

namespace metrics {

namespace {
std::string systemRoot = "/";
}

void SetSystemRoot(const std::string& root) { systemRoot = root.empty() ? "/" : root; }

const std::string& SystemRoot() { return systemRoot; }

std::string InRoot(const std::string& path) {
  if (systemRoot == "/") return path;
  std::string base = systemRoot;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return path.empty() || path.front() != '/' ? base + "/" + path : base + path;
}

}  // namespace metrics

void InstallSystemSources() {
  const std::pair<tPassStep, void (*)()> readers[] = {
      {tPassStep::Freq, metrics::ReadCpuClock},
      {tPassStep::CPULoad, metrics::ReadCpuLoad},
      {tPassStep::ThermalZones, metrics::ReadThermalZones},
      {tPassStep::Net, metrics::ReadNetwork},
      {tPassStep::Battery, metrics::ReadBatteries},
      {tPassStep::Disks, metrics::ReadDisks},
      {tPassStep::Mem, metrics::ReadMemory},
      {tPassStep::UpTime, metrics::ReadUptime},
  };
  for (const auto& [step, reader] : readers) SetSourceReader(step, reader);
  SetBatteryEnumeration(metrics::FindBatteries);
  SetIdleSecondsSource([] { return ReadIdleSeconds(); });
}

}  // namespace kv
