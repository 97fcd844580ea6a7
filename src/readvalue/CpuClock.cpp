#include <algorithm>

#include "platform/CpuMetrics.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

void ReadCpuClock() {
  const tCpuClock clock = kv::ReadCpuClock(SystemRoot());
  const auto kHz = [](std::optional<uint32_t> v) { return v ? StoreAsIs32(*v) : 0; };
  Readings.Freq = kHz(clock.current);
  // Virtual machines report no maximum; then the highest clock seen stands in for it.
  FreqMax = clock.maximum ? kHz(clock.maximum)
            : clock.current ? std::max(FreqMax, Readings.Freq)
                            : 0;
}

}  // namespace kv::metrics
