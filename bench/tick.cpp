// The main cycle's tick as kelvara -headless runs it: the timer's handler on a monitor with
// every source this machine has, the alerts connected, one pass per tick one second apart (a
// clock of our own moves, so no tick is skipped as too early). CPU time is what a user pays per
// tick at [Misc] ReadTemp=1000; the counters are each pass step's mean microseconds (wall
// clock, as the step health keeps them), to show which source costs what. Run from build/bin,
// where the language files lie.
#include <benchmark/benchmark.h>

#include <QGuiApplication>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <unistd.h>

#include "app/Connections.h"
#include "app/MainCycle.h"
#include "app/Monitor.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "platform/System.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace {

using namespace kv;

void BM_HeadlessTick(benchmark::State& state) {
  char folder[] = "/tmp/kv-bench-tick-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
  FakeClock clock(UnixMsFromDateTime(EncodeDateTime({2026, 12, 9, 12, 0, 0, 0})));
  std::map<std::string, double> stepMicros;
  {
    tMonitor m(clock);
    m.Process.SettingsDir = std::string(folder) + "/";
    m.Process.AppDir = ProgramFolder();
    m.Process.HeadlessMode = true;
    m.ReadSettings();
    m.Settings.ReadTemp = 1000;
    LoadLanguage(m.Process, EnglishLanguageFile);
    HeadlessUi ui;
    TMainCycle cycle(m, ui);
    ConnectAlerts(cycle);
    if (!cycle.Initialise()) return state.SkipWithError("the cycle did not start");
    for (int warm = 0; warm < 12; ++warm) {  // past the first slow scans
      clock.Advance(1000);
      cycle.MainTick();
    }
    for (auto _ : state) {
      clock.Advance(1000);
      cycle.MainTick();
      for (const tStepHealth& h : m.Pass.StepHealth())
        if (h.ran) stepMicros[h.name] += static_cast<double>(h.micros);
    }
    cycle.SessionEnd();
  }
  for (const auto& [name, micros] : stepMicros)
    if (micros > 0) state.counters[name] = micros / static_cast<double>(state.iterations());
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_HeadlessTick)->Unit(benchmark::kMicrosecond);

}  // namespace

int main(int argc, char** argv) {
  qputenv("QT_QPA_PLATFORM", "offscreen");
  QGuiApplication app(argc, argv);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
