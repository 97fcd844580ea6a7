#include <stdexcept>

#include "platform/MemoryMetrics.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

// QPCFix has nothing to fix here: both Linux clocks count seconds since boot without wrapping.
void ReadUptime() {
  std::optional<uint64_t> seconds = ReadUptimeSeconds(SystemRoot());
  if (!seconds && SystemRoot() == "/") seconds = BootClockSeconds();
  if (!seconds) throw std::runtime_error("uptime not available");
  SetUpSecs(static_cast<uint32_t>(*seconds));
}

}  // namespace kv::metrics
