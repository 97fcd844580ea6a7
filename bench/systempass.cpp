// One pass of every system-figure reader on this machine, as the acquisition runs them (the disk
// scan included, which the pass does only every tenth time).
#include <benchmark/benchmark.h>

#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "readvalue/ThermalZoneSource.h"

namespace {

void SystemReaders(benchmark::State& state) {
  const bool withDisks = state.range(0) != 0;
  kv::ResetReadings();
  kv::metrics::FindBatteries();
  for (auto _ : state) {
    kv::metrics::ReadCpuClock();
    kv::metrics::ReadCpuLoad();
    kv::metrics::ReadThermalZones();
    kv::metrics::ReadNetwork();
    kv::metrics::ReadBatteries();
    if (withDisks) kv::metrics::ReadDisks();
    kv::metrics::ReadMemory();
    kv::metrics::ReadUptime();
    ++kv::PassCount;
    benchmark::DoNotOptimize(kv::Readings);
  }
}
BENCHMARK(SystemReaders)->ArgName("disks")->Arg(0)->Arg(1);

}  // namespace
BENCHMARK_MAIN();
