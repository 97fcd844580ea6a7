// Sampling into full-size series, and saving and loading the full statistics files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "core/Process.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"

namespace {

using namespace kv;

// Fills a series to its working length with samples one step apart, ending now.
void FillSeries(tStatStore& s, const tSeriesParams& p, int count, double now) {
  s = tStatStore{};
  for (int i = 0; i < count; ++i) {
    Readings.Time = now - (count - 1 - i) * p.step;
    for (int c = 0; c < 10; ++c) Readings.T[c] = static_cast<int16_t>(4000 + (i + c) % 50);
    s.Samples.push_back(Readings);
    s.SamplesExtra.push_back(ReadingsExtra);
  }
  s.LastIndex = count - 1;
  s.CropLimit = count + 100;
}

void FillAll(double now) {
  FillSeries(Stats8h, Params8h, 1540, now);
  FillSeries(Stats7d, Params7d, 2120, now);
  FillSeries(Stats1a, Params1a, 2300, now);
}

void BM_StoreSampleAllSeries(benchmark::State& state) {
  ResetReadings();
  Settings.IgnoreNonsense = true;
  double now = 46000.0;
  FillAll(now);
  for (auto _ : state) {
    now += 20.0 / 86400.0;
    Readings.Time = now;
    for (tSeriesRef s : AllSeries()) StoreSample(s.store, s.params, false);
  }
}
BENCHMARK(BM_StoreSampleAllSeries);

std::string BenchDir() {
  static const std::string dir = [] {
    std::string pattern = (std::filesystem::temp_directory_path() / "kvbench-XXXXXX").string();
    return std::string(mkdtemp(pattern.data())) + "/";
  }();
  return dir;
}

void BM_SaveFullStatistics(benchmark::State& state) {
  SettingsDir = BenchDir();
  ResetReadings();
  FillAll(46000.0);
  for (auto _ : state)
    for (tSeriesRef s : AllSeries()) SaveStore(s.store, s.params.baseName, false);
}
BENCHMARK(BM_SaveFullStatistics)->Unit(benchmark::kMillisecond);

void BM_LoadFullStatistics(benchmark::State& state) {
  SettingsDir = BenchDir();
  ResetReadings();
  FillAll(46000.0);
  for (tSeriesRef s : AllSeries()) SaveStore(s.store, s.params.baseName, false);
  for (auto _ : state)
    for (tSeriesRef s : AllSeries()) LoadStore(s.store, s.params.baseName);
}
BENCHMARK(BM_LoadFullStatistics)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
