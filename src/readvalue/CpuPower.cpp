#include <cmath>

#include "core/EventLog.h"
#include "platform/KeptFiles.h"
#include "platform/Powercap.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

namespace {

constexpr double MinSeconds = 0.2;   // closer samples give more noise than figure
constexpr double MaxSeconds = 3600;  // beyond this (standby, a clock change) start afresh

}  // namespace

void ReadCpuPower(tPassContext& ctx) {
  tCpuPowerMemory& m = ctx.Memory.Get<tCpuPowerMemory>();
  if (m.state == tCpuPowerMemory::Off) return;
  if (m.state == tCpuPowerMemory::Unknown) {
    const tRaplPackages found = FindRaplPackages(ctx.SystemRoot);
    if (found.access != tRaplAccess::Readable) {
      m.state = tCpuPowerMemory::Off;
      LogEvent(found.access == tRaplAccess::RootOnly
                   ? "rv pw 1 CPU package power: " + found.refusedPath +
                         " is readable by root only; package power is not shown"
                   : std::string("rv pw 1 CPU package power: no RAPL package zones in /sys/class/powercap"));
      return;
    }
    m.packages = found.packages;
    m.state = tCpuPowerMemory::Reading;
    m.energy.clear();
  }
  tKeptFiles& kept = ctx.Memory.Get<tKeptFiles>();
  std::vector<uint64_t> energy;
  energy.reserve(m.packages.size());
  for (const tRaplPackage& p : m.packages) {
    const std::optional<uint64_t> e = ReadRaplEnergy(p, kept);
    if (!e) {
      // A package gone (a CPU taken offline): look for the zones again at the next pass.
      m.state = tCpuPowerMemory::Unknown;
      ctx.Current.CPUPower = NoValue32;
      throw std::runtime_error("cannot read " + p.energyPath);
    }
    energy.push_back(*e);
  }
  const double seconds = (ctx.Now - m.time) * SecondsPerDay;
  if (!m.energy.empty() && seconds >= 0 && seconds < MinSeconds) return;  // wait for a longer span
  double microjoules = 0;
  bool valid = !m.energy.empty() && seconds >= MinSeconds && seconds <= MaxSeconds;
  for (size_t i = 0; valid && i < energy.size(); ++i) {
    const std::optional<uint64_t> d = RaplEnergyDelta(m.energy[i], energy[i], m.packages[i].range);
    if (d) microjoules += static_cast<double>(*d);
    else valid = false;
  }
  ctx.Current.CPUPower = valid ? StoreAsIs32(microjoules / seconds / 1000.0) : NoValue32;
  m.energy = std::move(energy);
  m.time = ctx.Now;
}

void ReopenCpuPower(tPassContext& ctx) {
  ctx.Memory.Get<tCpuPowerMemory>() = {};
  ctx.Current.CPUPower = NoValue32;
}

}  // namespace kv::metrics
