// The HTTP server's handler alone, per kind of request: what each answer costs before the
// engine writes it. The pictures and the pass's text are the hot paths (monitoring scrapes and
// page reloads); a www file and the generated index page are for comparison.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "publishing/http/HttpServer.h"
#include "settings/Settings.h"

namespace {

struct Served {
  std::string root;
  kv::THttpServer server;

  Served() {
    char pattern[] = "/tmp/kvbench-http-XXXXXX";
    root = std::string(mkdtemp(pattern)) + "/";
    std::filesystem::create_directories(root + "app/www");
    std::filesystem::create_directories(root + "pics");
    std::ofstream(root + "app/www/chart.png") << std::string(20000, 'c');
    std::ofstream(root + "pics/kvwide.png") << std::string(3000, 'w');
    kv::tSettings settings;
    settings.HTTPServerActive = false;
    server.Apply(settings, root + "app/", root + "pics/");
    server.PictureSaved(kv::tImageKind::Light, root + "pics/kvlight.png",
                        std::make_shared<const std::string>(std::string(1082, 'l')));
    server.PublishReadings(std::make_shared<const kv::tHttpReadings>(
        kv::tHttpReadings{std::string(6000, 'm'), std::string(3000, 'j')}));
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
