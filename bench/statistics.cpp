// Sampling into full-size series, and saving and loading the full statistics files.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>

#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "BenchState.h"

namespace {

using namespace kv;

// Fills a series to its working length with samples one step apart, ending now.
void FillSeries(tReadingsState& current, tStatStore& s, const tSeriesParams& p, int count, double now) {
  s = tStatStore{};
  tReadings& r = current.Readings;
  for (int i = 0; i < count; ++i) {
    r.Time = now - (count - 1 - i) * p.step;
    for (int c = 0; c < 10; ++c) r.T[c] = static_cast<int16_t>(4000 + (i + c) % 50);
    s.Samples.push_back(r);
    s.SamplesExtra.push_back(current.ReadingsExtra);
  }
  s.LastIndex = count - 1;
  s.CropLimit = count + 100;
}

void FillAll(kvbench::tSeriesBench& b, double now) {
  ResetReadings(b.current);
  FillSeries(b.current, b.series.Stats8h, Params8h, 1540, now);
  FillSeries(b.current, b.series.Stats7d, Params7d, 2120, now);
  FillSeries(b.current, b.series.Stats1a, Params1a, 2300, now);
}

void BM_StoreSampleAllSeries(benchmark::State& state) {
  kvbench::tSeriesBench b;
  b.settings.IgnoreNonsense = true;
  double now = 46000.0;
  FillAll(b, now);
  for (auto _ : state) {
    now += 20.0 / 86400.0;
    b.current.Readings.Time = now;
    for (tSeriesRef s : b.series.AllSeries()) b.series.StoreSample(s.store, s.params, false);
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
  kvbench::tSeriesBench b;
  FillAll(b, 46000.0);
  for (auto _ : state)
    for (tSeriesRef s : b.series.AllSeries()) SaveStore(s.store, BenchDir(), s.params.baseName, false);
}
BENCHMARK(BM_SaveFullStatistics)->Unit(benchmark::kMillisecond);

void BM_LoadFullStatistics(benchmark::State& state) {
  kvbench::tSeriesBench b;
  FillAll(b, 46000.0);
  for (tSeriesRef s : b.series.AllSeries()) SaveStore(s.store, BenchDir(), s.params.baseName, false);
  for (auto _ : state)
    for (tSeriesRef s : b.series.AllSeries()) LoadStore(s.store, BenchDir(), s.params.baseName, 46000.0);
}
BENCHMARK(BM_LoadFullStatistics)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
