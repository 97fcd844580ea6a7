#include <algorithm>
#include <stdexcept>

#include "platform/CpuMetrics.h"
#include "platform/KeptFiles.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

namespace {
// The previous sample, which the next load reading is measured against.
struct tCpuSample {
  tCpuTimes times;
  bool present = false;
};
}  // namespace

void ResetCpuLoad(tSourceMemory& memory) { memory.Get<tCpuSample>() = {}; }

void ReadCpuLoad(tPassContext& ctx) {
  tCpuSample& previous = ctx.Memory.Get<tCpuSample>();
  tCpuTimes current = ReadCpuTimes(ctx.SystemRoot, &ctx.Memory.Get<tKeptFiles>());
  if (current.cpus.empty()) throw std::runtime_error("No performance object");
  if (!previous.present) {
    // No earlier sample: count from boot (all counters zero) rather than show 0 for a pass.
    previous.times = {};
    for (const tCpuTime& cpu : current.cpus) previous.times.cpus.push_back({cpu.id, 0, 0});
  }
  const std::vector<int> loads = CpuLoads(previous.times, current);
  const int count = CpuCount(current);
  const int stored = std::min({count, CPUChannels, static_cast<int>(loads.size())});
  for (int i = 0; i < stored; ++i) ctx.Current.Readings.CPU[i] = static_cast<int16_t>(loads[static_cast<size_t>(i)]);
  ctx.Current.CPUCount = static_cast<uint8_t>(std::min(count, 255));
  previous.times = std::move(current);
  previous.present = true;
}

}  // namespace kv::metrics
