#include <stdexcept>

#include "platform/MemoryMetrics.h"
#include "platform/KeptFiles.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

// QPCFix has nothing to fix here: both Linux clocks count seconds since boot without wrapping.
void ReadUptime(tPassContext& ctx) {
  std::optional<uint64_t> seconds = ReadUptimeSeconds(ctx.SystemRoot, &ctx.Memory.Get<tKeptFiles>());
  if (!seconds && ctx.SystemRoot == "/") seconds = BootClockSeconds();
  if (!seconds) throw std::runtime_error("uptime not available");
  SetUpSecs(ctx.Current, static_cast<uint32_t>(*seconds));
}

}  // namespace kv::metrics
