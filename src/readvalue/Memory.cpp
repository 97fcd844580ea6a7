#include <algorithm>
#include <stdexcept>

#include "platform/MemoryMetrics.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"

namespace kv::metrics {

namespace {
int32_t KiB(uint64_t value) { return StoreAsIs32(static_cast<double>(value)); }
}  // namespace

void ReadMemory() {
  const tMemInfo info = ReadMemInfo(SystemRoot());
  if (info.total == 0) throw std::runtime_error("/proc/meminfo could not be read");
  MemTotal = KiB(info.total);
  Readings.MemFree = KiB(info.available);
  Readings.MemUsed = KiB(info.total - std::min(info.available, info.total));
  Readings.Cache = KiB(info.cache);
  // The commit charge against the commit limit is the counterpart of the page-file figures.
  PageTotal = KiB(info.commitLimit);
  Readings.PageUsed = KiB(info.committed);
  // Overcommit lets the charge exceed the limit, which is no reason for a negative free figure.
  Readings.PageFree = KiB(info.commitLimit - std::min(info.committed, info.commitLimit));
}

}  // namespace kv::metrics
