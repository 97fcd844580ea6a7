#include <algorithm>
#include <stdexcept>

#include "platform/MemoryMetrics.h"
#include "platform/KeptFiles.h"
#include "readvalue/PassContext.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

namespace {
int32_t KiB(uint64_t value) { return StoreAsIs32(static_cast<double>(value)); }
}  // namespace

void ReadMemory(tPassContext& ctx) {
  const tMemInfo info = ReadMemInfo(ctx.SystemRoot, &ctx.Memory.Get<tKeptFiles>());
  if (info.total == 0) throw std::runtime_error("/proc/meminfo could not be read");
  tReadings& r = ctx.Current.Readings;
  ctx.Current.MemTotal = KiB(info.total);
  r.MemFree = KiB(info.available);
  r.MemUsed = KiB(info.total - std::min(info.available, info.total));
  r.Cache = KiB(info.cache);
  // The commit charge against the commit limit is the counterpart of the page-file figures.
  ctx.Current.PageTotal = KiB(info.commitLimit);
  r.PageUsed = KiB(info.committed);
  // Overcommit lets the charge exceed the limit, which is no reason for a negative free figure.
  r.PageFree = KiB(info.commitLimit - std::min(info.committed, info.commitLimit));
}

}  // namespace kv::metrics
