// The HTTP server's handler alone, per kind of request: what each answer costs before the
// engine writes it. The pictures and the pass's text are the hot paths (monitoring scrapes and
// page reloads); a www file and the generated index page are for comparison.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "BenchState.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "publishing/http/HttpServer.h"
#include "publishing/http/Metrics.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace {

struct Served {
  std::string root;
  kv::THttpServer server;
  kv::THttpServer guarded;  // the same, with a user name and password on /metrics

  Served() {
    char pattern[] = "/tmp/kvbench-http-XXXXXX";
    root = std::string(mkdtemp(pattern)) + "/";
    std::filesystem::create_directories(root + "app/www");
    std::filesystem::create_directories(root + "pics");
    std::ofstream(root + "app/www/chart.png") << std::string(20000, 'c');
    std::ofstream(root + "pics/kvwide.png") << std::string(3000, 'w');
    kv::tSettings settings;
    settings.HTTPServerActive = false;
    const kv::tProcessFacts process{.AppDir = root + "app/", .SettingsDir = root};
    kv::HeadlessUi ui;
    server.Apply(settings, process, root + "pics/", ui);
    settings.HTTPUser = "prometheus";
    settings.HTTPPass = "a password of some length";
    guarded.Apply(settings, process, root + "pics/", ui);
    server.PictureSaved(kv::tImageKind::Light, root + "pics/kvlight.png",
                        std::make_shared<const std::string>(std::string(1082, 'l')));
    const auto readings = std::make_shared<const kv::tHttpReadings>(
        kv::tHttpReadings{std::string(6000, 'm'), std::string(3000, 'j')});
    server.PublishReadings(readings);
    guarded.PublishReadings(readings);
  }
  ~Served() { std::filesystem::remove_all(root); }
};

Served& Fixture() {
  static Served served;
  return served;
}

void Answer(benchmark::State& state, const char* target, const char* range) {
  kv::THttpServer& server = Fixture().server;
  for (auto _ : state) {
    kv::tHttpdAnswer answer;
    server.HTTPDCommandGet(kv::tHttpdRequest{"GET", target, range}, answer);
    benchmark::DoNotOptimize(answer);
  }
}

// The text a pass hands the server when every channel holds a reading: built on the main thread
// after each pass while the server runs.
void MetricsTextOfAFullTable(benchmark::State& state) {
  kvbench::tBenchState b;
  kv::tSettings& settings = b.settings;
  kv::SetDefaultChannelSettings(settings);
  b.Keep({});
  b.pass.ResetReadings();
  b.pass.ReadAllValues(true);  // every step's health, as after a real pass
  kv::tReadings& r = b.current.Readings;
  for (int i = 0; i < 10; ++i) {
    r.T[i] = static_cast<int16_t>(3000 + 137 * i);
    r.V[i] = static_cast<int16_t>(100 + 111 * i);
    r.F[i] = static_cast<int16_t>(i == 9 ? -12050 : 800 + 97 * i);
  }
  for (int i = 0; i < 4; ++i) {
    r.CPU[i] = static_cast<int16_t>(1234 * (i + 1));
    r.NetIn[i] = 1000000 + i;
    r.NetOut[i] = 200000 + i;
  }
  r.Freq = 3600000;
  r.MemUsed = 4000000;
  r.MemFree = 12000000;
  r.BatCap = 41000;
  r.BatFull = 50000;
  settings.DiskSlots[0].Drive = "/ / /dev/vda";
  settings.DiskSlots[0].TotalKB = 260000000;
  settings.DiskSlots[0].FreeKB = 77000000;
  for (auto _ : state) benchmark::DoNotOptimize(kv::MetricsText(b.current, settings, b.pass.StepHealth()));
}
BENCHMARK(MetricsTextOfAFullTable);

// What the basic authentication adds to a scrape: the header's decoding and the comparison.
void GuardedMetrics(benchmark::State& state, const char* authorization) {
  kv::THttpServer& server = Fixture().guarded;
  for (auto _ : state) {
    kv::tHttpdAnswer answer;
    server.HTTPDCommandGet(kv::tHttpdRequest{"GET", "/metrics", "", authorization, "127.0.0.1"}, answer);
    benchmark::DoNotOptimize(answer);
  }
}
// "prometheus:a password of some length", then one that is wrong in its last byte.
BENCHMARK_CAPTURE(GuardedMetrics, Right, "Basic cHJvbWV0aGV1czphIHBhc3N3b3JkIG9mIHNvbWUgbGVuZ3Ro");
BENCHMARK_CAPTURE(GuardedMetrics, WrongLastByte, "Basic cHJvbWV0aGV1czphIHBhc3N3b3JkIG9mIHNvbWUgbGVuZ3Rp");

BENCHMARK_CAPTURE(Answer, LightFromMemory, "/kvlight.png", "");
BENCHMARK_CAPTURE(Answer, LightRangeFromMemory, "/kvlight.png", "bytes=100-199");
BENCHMARK_CAPTURE(Answer, BannerFromFile, "/kvwide.png", "");
BENCHMARK_CAPTURE(Answer, Metrics, "/metrics", "");
BENCHMARK_CAPTURE(Answer, ReadingsJson, "/api/v1/readings", "");
BENCHMARK_CAPTURE(Answer, WwwFile, "/chart.png", "");
BENCHMARK_CAPTURE(Answer, IndexPage, "/", "");
BENCHMARK_CAPTURE(Answer, Missing, "/nothing/here.txt", "");

}  // namespace

BENCHMARK_MAIN();
