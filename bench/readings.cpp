// One acquisition pass as it runs today (the external area opened, mapped, read and closed),
// and the slot rules alone on a block already in memory.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <string>

#include "readvalue/AcquisitionPass.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"

namespace {

using namespace kv;

void BM_PassWithExternalArea(benchmark::State& state) {
  SetSharedMemoryPrefix("kvbench-" + std::to_string(::getpid()) + "-");
  ResetReadings();
  CreateExternalValueArea();
  for (auto _ : state) {
    ReadAllValues(false);
    benchmark::DoNotOptimize(Readings.Time);
  }
  CloseExternalValueArea();
  SetSharedMemoryPrefix("");
}
BENCHMARK(BM_PassWithExternalArea);

void BM_ApplyExternalValues(benchmark::State& state) {
  std::array<std::byte, ExternalAreaSize> block{};
  for (size_t at = 0; at + 8 <= block.size(); at += 8) {
    const double v = 40.0 + static_cast<double>(at) / 8.0;
    std::memcpy(block.data() + at, &v, 8);
  }
  const ShmView view(block);
  ResetReadings();
  for (auto _ : state) {
    ApplyExternalValues(view);
    benchmark::DoNotOptimize(Readings.T[0]);
  }
}
BENCHMARK(BM_ApplyExternalValues);

}  // namespace

BENCHMARK_MAIN();
