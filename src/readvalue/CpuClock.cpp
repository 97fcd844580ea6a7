#include <algorithm>

#include "platform/CpuMetrics.h"
#include "platform/KeptFiles.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

void ReadCpuClock(tPassContext& ctx) {
  tCpuClockFiles& files = ctx.Memory.Get<tCpuClockFiles>();
  // CPUs come and go rarely: their folders are looked through again on every tenth pass.
  if (ctx.Current.PassCount % 10 == 0) files.found = false;
  const tCpuClock clock = kv::ReadCpuClock(ctx.SystemRoot, files, ctx.Memory.Get<tKeptFiles>());
  const auto kHz = [](std::optional<uint32_t> v) { return v ? StoreAsIs32(*v) : 0; };
  int32_t& freq = ctx.Current.Readings.Freq;
  int32_t& freqMax = ctx.Current.FreqMax;
  freq = kHz(clock.current);
  // Virtual machines report no maximum; then the highest clock seen stands in for it.
  freqMax = clock.maximum ? kHz(clock.maximum)
            : clock.current ? std::max(freqMax, freq)
                            : 0;
}

}  // namespace kv::metrics
