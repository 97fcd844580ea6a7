#include "readvalue/CoreTemp.h"

#include <algorithm>
#include <cmath>
#include <cstdint>

#include "readvalue/Readings.h"
#include "readvalue/SourceFields.h"

namespace kv {

namespace {

constexpr size_t TjMaxOffset = 1024;       // uint32 per processor
constexpr size_t CoresOffset = 1536;       // uint32, cores per processor
constexpr size_t ProcessorsOffset = 1540;  // uint32
constexpr size_t TempsOffset = 1544;       // float per core, processors one after another
constexpr size_t VoltageOffset = 2568;     // float
constexpr size_t ClockOffset = 2572;       // float, MHz
constexpr size_t FahrenheitOffset = 2684;  // byte, 1 = Fahrenheit
constexpr size_t DistanceOffset = 2685;    // byte, 1 = distances to TjMax
constexpr size_t BlockSize = 2686;

// One core's temperature in hundredths of °C; NoValue16 when it does not fit.
int16_t CoreTemperature(const ShmView& view, size_t n, size_t processor) {
  double t = RoundHalfEven(static_cast<double>(view.Float(TempsOffset + 4 * n)) * 100.0);
  if (view.Byte(DistanceOffset) == 1) t = view.UInt32(TjMaxOffset + 4 * processor) * 100.0 - t;
  if (view.Byte(FahrenheitOffset) == 1) t = (t - 3200.0) * 5.0 / 9.0;
  return StoreAsIs(t);
}

void ApplyCoreTemp(tPassContext& ctx, const ShmView& view) {
  view.Require(BlockSize);
  const uint64_t cores = view.UInt32(CoresOffset);
  const uint64_t processors = view.UInt32(ProcessorsOffset);
  // Only the first ten cores are read, so large counts never reach past the block.
  const uint64_t used = std::min<uint64_t>(cores * processors, TempChannels);
  for (uint64_t n = 0; n < used; ++n) {
    if (!std::isfinite(view.Float(TempsOffset + 4 * n))) continue;
    SetChannel(ctx.Current.Readings, tChannelGroup::T, static_cast<int>(n) + 1, CoreTemperature(view, n, n / cores));
  }
  StoreChecked(ctx, tChannelGroup::V, 10, view.Float(VoltageOffset), AnyValue, tScale::Times100);
  const double mhz = view.Float(ClockOffset);
  if (std::isfinite(mhz)) ctx.Current.Readings.Freq = StoreAsIs32(mhz * 1000.0);
}

}  // namespace

void ReadCoreTemp(tPassContext& ctx) {
  ReadSharedMemoryStepErrors("CoreTempMappingObject", tShmAccess::Read,
                             [&ctx](const ShmView& view) { ApplyCoreTemp(ctx, view); }, {"rv ct 1 ", "rv ct 2 "}, ShmWatch(ctx));
}

}  // namespace kv
