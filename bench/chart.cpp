// The statistics chart at full load: every sensor channel shown, the system bands filled, and
// each series as long as the store ever lets it grow. Run from build/bin, where the language
// file and the band icons lie.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/DateTime.h"
#include "core/Process.h"
#include "displays/Chart.h"
#include "platform/System.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "BenchState.h"

namespace {

using namespace kv;

constexpr TDateTime End = 46000.5;  // a fixed UTC end, so every run draws the same picture

// Ten temperatures, voltages and fans, memory, four CPU loads, two network slots, a battery
// and four disks, all visible.
void SetUpChannels(kvbench::tSeriesBench& b) {
  SetDefaultChannelSettings(b.settings);
  b.settings.StatsWidth = 550;
  b.settings.visBat = true;
  b.settings.visMem = 1;
  for (int i = 0; i < TempChannels; ++i) b.settings.TCfg[i].Vis = 1;
  for (int i = 0; i < VoltChannels; ++i) b.settings.VCfg[i].Vis = 1;
  for (int i = 0; i < FanChannels; ++i) b.settings.FCfg[i].Vis = 1;
  for (int i = 0; i < CpuChannels; ++i) b.settings.CPUCfg[i].Vis = 1;
  for (int i = 0; i < NetSlotCount; ++i) b.settings.NetSlots[i].Vis = i < 2;
  for (int i = 0; i < DiskSlotCount; ++i) {
    b.settings.DiskSlots[i].Vis = i < 4;
    SetDiskDrive(b.settings.DiskSlots[i], i < 4 ? "/mnt/d" + std::to_string(i) : "");
    b.settings.DiskSlots[i].TotalKB = i < 4 ? 500000000 : 0;
    b.settings.DiskSlots[i].FreeKB = i < 4 ? 100000000 + 50000000 * i : 0;
  }
  b.current.MemTotal = 16 * 1024 * 1024;
  b.current.BatDesign = 50000;
  b.current.CPUCount = 4;
}

// Sample k of n, step days apart and ending at End: smooth curves with some noise, running
// network counters, a battery that discharges and charges.
void FillSample(int k, int n, double step, tReadings& r, tReadingsExtra& e) {
  const double t = End - (n - 1 - k) * step;
  const double w = k / 37.0;
  r = {};
  r.Time = t;
  for (int i = 0; i < TChannels; ++i) r.T[i] = static_cast<int16_t>(3500 + 300 * i + 800 * std::sin(w + i));
  for (int i = 0; i < VChannels; ++i)
    r.V[i] = static_cast<int16_t>((i % 3 == 0 ? 1200 : i % 3 == 1 ? 500 : 330) + 5 * std::sin(3 * w + i));
  for (int i = 0; i < FChannels; ++i)
    r.F[i] = static_cast<int16_t>(i == 9 ? -(12000 + 500 * std::sin(w)) : 900 + 100 * i + 200 * std::sin(2 * w + i));
  for (int i = 0; i < CPUChannels; ++i)
    r.CPU[i] = static_cast<int16_t>(5000 + 4500 * std::sin(5 * w + i));
  for (int i = 0; i < NetChannels; ++i) {
    r.NetIn[i] = i < 2 ? 1000 + 40 * k + (k % 7) * 10 : NoValue32;
    r.NetOut[i] = i < 2 ? 500 + 15 * k : NoValue32;
  }
  r.MemUsed = static_cast<int32_t>(8000000 + 2000000 * std::sin(w));
  r.MemFree = 16 * 1024 * 1024 - r.MemUsed;
  r.PageUsed = r.MemUsed + 1000000;
  r.PageFree = 4000000;
  r.Cache = 3000000;
  r.Freq = static_cast<int32_t>(2400000 + 800000 * std::sin(w));
  r.BatFull = 45000;
  r.BatCap = static_cast<int32_t>(22500 + 22000 * std::sin(w / 3));
  r.BatOnline = (k / 50) % 2;
  e = {};
  e.Time2 = t;
  e.UserSecs = k * 10;
}

tStatStore MakeSeries(kvbench::tSeriesBench& b, int n, double step) {
  tStatStore s;
  s.Samples.resize(static_cast<size_t>(n));
  s.SamplesExtra.resize(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) FillSample(k, n, step, s.Samples[static_cast<size_t>(k)], s.SamplesExtra[static_cast<size_t>(k)]);
  s.LastIndex = n - 1;
  s.CropLimit = n + 100;
  b.current.Readings = s.Samples.back();
  b.current.ReadingsExtra = s.SamplesExtra.back();
  return s;
}

void DrawChart(benchmark::State& state, const char* name, int samples, double step, double hours) {
  kvbench::tSeriesBench b;
  SetUpChannels(b);
  // The network legend's rates come from the two newest samples of the 8-hour series.
  b.series.Stats8h = MakeSeries(b, 1540, 20 / SecondsPerDay);
  const tStatStore series = MakeSeries(b, samples, step);
  int height = 0;
  for (auto _ : state) {
    QImage chart;
    const auto geometry = DrawStatistics(chart, b.Display(), series, End, hours);
    height = geometry ? geometry->Height : -1;
    benchmark::DoNotOptimize(chart);
  }
  state.counters["height"] = height;
  // KV_BENCH_CHART=folder keeps one picture per view there, to look at what was measured.
  if (const char* folder = std::getenv("KV_BENCH_CHART")) {
    QImage chart;
    DrawStatistics(chart, b.Display(), series, End, hours);
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

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  kv::tProcessFacts process;
  process.AppDir = kv::ProgramFolder();
  kv::LoadLanguage(process, kv::EnglishLanguageFile);
  kv::LoadBandIcons(process.AppDir);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
