// The banner over a full fine series: the drawing alone, and drawing plus the PNG file of a
// timed save. Run from build/bin, where the language file lies.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "core/DateTime.h"
#include "core/Process.h"
#include "displays/Banner.h"
#include "displays/Canvas.h"
#include "displays/PngFile.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "BenchState.h"

namespace {

constexpr int Samples = 1540;

// Eight hours and a bit at 20-second steps, ten channels of wandering temperatures, all shown,
// the clock mark, the date and the uptime lines: everything the banner can draw.
void SetUpFullSeries(kvbench::tSeriesBench& b) {
  using namespace kv;
  b.process.SettingsDir = "/nonexistent/";
  LoadLanguage(b.process, "English.lng");
  ResetReadings(b.current);
  SetUpSecs(b.current, 300000);
  b.current.CPUCount = 8;
  b.settings.DisplayDateTime = true;
  b.settings.ReadUpTime = true;
  b.settings.BannerWidth = 530;
  b.settings.SpanBanner = 6;
  b.settings.Alpha = 0.3;
  const TDateTime now = EncodeDateTime({2026, 12, 9, 12, 0, 0, 0});
  b.series.Stats8h = tStatStore{};
  for (int k = 0; k < Samples; ++k) {
    tReadings r;
    tReadingsExtra e;
    MakeBreakSample(now - (Samples - 1 - k) * 20.0 / 86400, r, e);
    for (int i = 0; i < TChannels; ++i)
      r.T[i] = static_cast<int16_t>(3500 + 300 * i + 400 * std::sin((k + 37 * i) / 90.0));
    b.series.Stats8h.Samples.push_back(r);
    b.series.Stats8h.SamplesExtra.push_back(e);
  }
  b.series.Stats8h.LastIndex = Samples - 1;
  for (int i = 0; i < TChannels; ++i) {
    b.settings.TCfg[i] = {1, MakeColour(25 * i, 200 - 20 * i, 100), i % 2 == 0, "T" + std::to_string(i + 1)};
    b.current.Readings.T[i] = b.series.Stats8h.Samples.back().T[i];
  }
  b.current.Readings.Freq = 3400000;
  b.current.Readings.Time = now;
}

void BM_DrawBanner(benchmark::State& state) {
  kvbench::tSeriesBench b;
  SetUpFullSeries(b);
  for (auto _ : state) {
    QImage banner;
    kv::DrawBanner(banner, b.Display());
    benchmark::DoNotOptimize(banner);
  }
}
BENCHMARK(BM_DrawBanner)->Unit(benchmark::kMillisecond);

void BM_DrawBannerAndSavePng(benchmark::State& state) {
  kvbench::tSeriesBench b;
  SetUpFullSeries(b);
  const std::string path = "/tmp/kv-bench-banner-" + std::to_string(::getpid()) + ".png";
  std::string error;
  for (auto _ : state) {
    QImage banner;
    kv::DrawBanner(banner, b.Display());
    benchmark::DoNotOptimize(kv::WritePng(banner, path, error));
  }
  state.counters["bytes"] = kvbench::FileBytes(path);
  std::remove(path.c_str());
}
BENCHMARK(BM_DrawBannerAndSavePng)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
