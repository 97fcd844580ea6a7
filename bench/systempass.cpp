// One pass of every system-figure reader on this machine, as the acquisition runs them (the disk
// scan included, which the pass does only every tenth time).
#include <benchmark/benchmark.h>

#include "BenchState.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "readvalue/ThermalZoneSource.h"

namespace {

void SystemReaders(benchmark::State& state) {
  const bool withDisks = state.range(0) != 0;
  kvbench::tBenchState s;
  kv::tPassContext& ctx = s.ctx;
  s.pass.ResetReadings();
  kv::metrics::FindBatteries(ctx);
  for (auto _ : state) {
    kv::metrics::ReadCpuClock(ctx);
    kv::metrics::ReadCpuLoad(ctx);
    kv::metrics::ReadThermalZones(ctx);
    kv::metrics::ReadNetwork(ctx);
    kv::metrics::ReadBatteries(ctx);
    if (withDisks) kv::metrics::ReadDisks(ctx);
    kv::metrics::ReadMemory(ctx);
    kv::metrics::ReadUptime(ctx);
    ++s.current.PassCount;
    benchmark::DoNotOptimize(s.current.Readings);
  }
}
BENCHMARK(SystemReaders)->ArgName("disks")->Arg(0)->Arg(1);

}  // namespace
BENCHMARK_MAIN();
