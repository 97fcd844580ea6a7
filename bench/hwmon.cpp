// One hwmon read on this machine through libsensors (it may have no chips), and the mapping of a
// typical desktop's sensor list into the channels, in discovery order and by the order map.
#include <benchmark/benchmark.h>

#include <string>
#include <vector>

#include "BenchState.h"
#include "readvalue/HwmonLibsensors.h"
#include "readvalue/HwmonSource.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace {

using namespace kv;

void BM_ReadLibsensors(benchmark::State& state) {
  ReinitHwmon(true);  // the scan of the chips belongs to start-up, not to the pass
  size_t sensors = 0;
  for (auto _ : state) {
    const std::vector<tHwmonSensor> found = ReadLibsensors();
    sensors = found.size();
    benchmark::DoNotOptimize(found.data());
  }
  state.counters["sensors"] = static_cast<double>(sensors);
  CloseHwmon();
}
BENCHMARK(BM_ReadLibsensors);

// A board chip, the CPU's cores, a GPU and two NVMe drives: 24 sensors.
std::vector<tHwmonSensor> DesktopSensors() {
  std::vector<tHwmonSensor> sensors;
  for (int i = 0; i < 8; ++i)
    sensors.push_back({"coretemp-isa-0000", "Core " + std::to_string(i), tHwmonKind::Temperature, 40.0 + i});
  for (int i = 0; i < 7; ++i)
    sensors.push_back({"nct6775-isa-0290", "in" + std::to_string(i), tHwmonKind::Voltage, 1.0 + i});
  for (int i = 1; i <= 5; ++i)
    sensors.push_back({"nct6775-isa-0290", "fan" + std::to_string(i), tHwmonKind::Fan, 800.0 + i});
  sensors.push_back({"amdgpu-pci-0300", "edge", tHwmonKind::Temperature, 51.0});
  sensors.push_back({"amdgpu-pci-0300", "fan1", tHwmonKind::Fan, 1200.0});
  sensors.push_back({"nvme-pci-0100", "Composite", tHwmonKind::Temperature, 38.0});
  sensors.push_back({"nvme-pci-0200", "Composite", tHwmonKind::Temperature, 36.0});
  return sensors;
}

void BM_StoreHwmonSensors(benchmark::State& state) {
  const bool ordered = state.range(0) != 0;
  kvbench::tBenchState s;
  if (ordered)
    for (int i = 0; i < TempChannels; ++i) s.settings.HwmonOrderT[i] = "coretemp-isa-0000 Core " + std::to_string(7 - i);
  const std::vector<tHwmonSensor> sensors = DesktopSensors();
  s.pass.ResetReadings();
  for (auto _ : state) {
    StoreHwmonSensors(s.ctx, sensors);
    benchmark::DoNotOptimize(s.current.Readings.T[0]);
  }
}
BENCHMARK(BM_StoreHwmonSensors)->Arg(0)->Arg(1)->ArgName("ordered");

}  // namespace

BENCHMARK_MAIN();
