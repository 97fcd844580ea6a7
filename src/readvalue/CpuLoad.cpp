#include <algorithm>
#include <stdexcept>

#include "platform/CpuMetrics.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

namespace {
tCpuTimes previousTimes;
bool havePrevious = false;
}  // namespace

void ResetCpuLoad() {
  previousTimes = {};
  havePrevious = false;
}

void ReadCpuLoad() {
  tCpuTimes current = ReadCpuTimes(SystemRoot());
  if (current.cpus.empty()) throw std::runtime_error("No performance object");
  if (!havePrevious) {
    // No earlier sample: count from boot (all counters zero) rather than show 0 for a pass.
    previousTimes = {};
    for (const tCpuTime& cpu : current.cpus) previousTimes.cpus.push_back({cpu.id, 0, 0});
  }
  const std::vector<int> loads = CpuLoads(previousTimes, current);
  const int count = CpuCount(current);
  const int stored = std::min({count, CPUChannels, static_cast<int>(loads.size())});
  for (int i = 0; i < stored; ++i) Readings.CPU[i] = static_cast<int16_t>(loads[static_cast<size_t>(i)]);
  CPUCount = static_cast<uint8_t>(std::min(count, 255));
  previousTimes = std::move(current);
  havePrevious = true;
}

}  // namespace kv::metrics
