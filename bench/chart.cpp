// The statistics chart at full load: every sensor channel shown, the system bands filled, and
// each series as long as the store ever lets it grow. Run from build/bin, where the language
// file and the band icons lie.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/DateTime.h"
#include "core/Process.h"
#include "displays/Chart.h"
#include "displays/PngFile.h"
#include "platform/System.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "statistics/StatStore.h"
#include "BenchState.h"
#include "support/FullHistory.h"

namespace {

using namespace kv;

using kvtest::FullEnd;
using kvtest::MakeSeries;

void SetUpChannels(kvbench::tSeriesBench& b) { kvtest::SetUpChannels(b.settings, b.current); }

void DrawChart(benchmark::State& state, const char* name, int samples, double step, double hours) {
  kvbench::tSeriesBench b;
  SetUpChannels(b);
  // The network legend's rates come from the two newest samples of the 8-hour series.
  b.series.Stats8h = MakeSeries(b.current, 1540, 20 / SecondsPerDay);
  const tStatStore series = MakeSeries(b.current, samples, step);
  int height = 0;
  for (auto _ : state) {
    QImage chart;
    const auto geometry = DrawStatistics(chart, b.Display(), series, FullEnd, hours);
    height = geometry ? geometry->Height : -1;
    benchmark::DoNotOptimize(chart);
  }
  state.counters["height"] = height;
  // KV_BENCH_CHART=folder keeps one picture per view there, to look at what was measured.
  if (const char* folder = std::getenv("KV_BENCH_CHART")) {
    QImage chart;
    DrawStatistics(chart, b.Display(), series, FullEnd, hours);
    chart.save(QString::fromStdString(std::string(folder) + "/" + name + ".png"));
  }
}

// The 8-hour series full (20 s steps) drawn over all its 8 hours.
void BM_Chart8h(benchmark::State& state) { DrawChart(state, "chart8h", 1540, 20 / SecondsPerDay, 8); }
BENCHMARK(BM_Chart8h)->Unit(benchmark::kMillisecond);

// The 7-day view: 2016 samples 5 minutes apart over 168 hours.
void BM_Chart7d(benchmark::State& state) { DrawChart(state, "chart7d", 2016, 5 / 1440.0, 168); }
BENCHMARK(BM_Chart7d)->Unit(benchmark::kMillisecond);

// The year series: 366 days in 4-hour steps over 8760 hours.
void BM_ChartYear(benchmark::State& state) { DrawChart(state, "chartyear", 2196, 4 / 24.0, 8760); }
BENCHMARK(BM_ChartYear)->Unit(benchmark::kMillisecond);

// What a saved chart costs: the 8-hour view drawn and encoded as the PNG file's bytes; "bytes"
// is the file's size.
void BM_Chart8hAndEncodePng(benchmark::State& state) {
  kvbench::tSeriesBench b;
  SetUpChannels(b);
  b.series.Stats8h = MakeSeries(b.current, 1540, 20 / SecondsPerDay);
  std::string file;
  std::string error;
  for (auto _ : state) {
    QImage chart;
    DrawStatistics(chart, b.Display(), b.series.Stats8h, FullEnd, 8);
    benchmark::DoNotOptimize(EncodePng(chart, file, error));
  }
  state.counters["bytes"] = static_cast<double>(file.size());
}
BENCHMARK(BM_Chart8hAndEncodePng)->Unit(benchmark::kMillisecond);

// KV_BENCH_SERIES=folder writes a settings folder for the programs' own runs (bench/vs-peers.sh):
// the three full series ending now, with every band shown (KV_BENCH_BANDS=all) or only the ten
// temperature curves, and series.csv with those ten temperatures for the grapher compared.
void WriteSeriesFolder(const std::string& folder, bool allBands) {
  kvbench::tSeriesBench b;
  SetUpChannels(b);
  if (!allBands) {
    for (auto& c : b.settings.VCfg) c.Vis = 0;
    for (auto& c : b.settings.FCfg) c.Vis = 0;
    for (auto& c : b.settings.CPUCfg) c.Vis = 0;
    for (auto& s : b.settings.NetSlots) s.Vis = false;
    for (auto& s : b.settings.DiskSlots) s.Vis = false;
    b.settings.visMem = b.settings.visCache = b.settings.Page = 0;
    b.settings.visBat = b.settings.visCPUFreq = b.settings.visUser = false;
    b.settings.ReadDisk = false;
  }
  kvtest::FillFullHistory(b.series, b.current);
  const TDateTime shift = b.clock.UtcNow() - FullEnd;
  for (tStatStore* s : {&b.series.Stats8h, &b.series.Stats7d, &b.series.Stats1a}) {
    for (auto& r : s->Samples) r.Time += shift;
    for (auto& e : s->SamplesExtra) e.Time2 += shift;
  }
  WriteSettings(b.settings, folder, false);
  SaveStore(b.series.Stats8h, folder, "Kelvara8h.log", false);
  SaveStore(b.series.Stats7d, folder, "Kelvara7d.log", false);
  SaveStore(b.series.Stats1a, folder, "Kelvara1a.log", false);
  std::string csv;
  for (int k = 0; k <= b.series.Stats8h.LastIndex; ++k) {
    const tReadings& r = b.series.Stats8h.Samples[static_cast<size_t>(k)];
    csv += std::to_string(std::llround((r.Time - 25569.0) * SecondsPerDay));
    for (int i = 0; i < 10; ++i) csv += "," + std::to_string(r.T[i] / 100.0);
    csv += "\n";
  }
  FILE* out = std::fopen((folder + "series.csv").c_str(), "w");
  if (out != nullptr) {
    std::fputs(csv.c_str(), out);
    std::fclose(out);
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  kv::tProcessFacts process;
  process.AppDir = kv::ProgramFolder();
  kv::LoadLanguage(process, kv::EnglishLanguageFile);
  kv::LoadBandIcons(process.AppDir);
  if (const char* folder = std::getenv("KV_BENCH_SERIES")) {
    const char* bands = std::getenv("KV_BENCH_BANDS");
    WriteSeriesFolder(std::string(folder) + "/", bands != nullptr && std::string(bands) == "all");
    return 0;
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
