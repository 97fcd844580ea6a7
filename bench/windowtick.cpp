// The shown main window's share of a tick at [Misc] ReadTemp=1000: the main cycle's handler on a
// monitor with every source this machine has and a full history (the 8-hour series full, 20 s
// apart), the real window showing the chart, and the event loop run until the window has painted.
// A clock of our own moves one second per tick; a new sample joins the series every 20 ticks,
// as in a running monitor. Run from build/bin (language files and band icons) on an X server
// (Xvfb with a window manager, as the comparison with other monitors does) or, without one,
// offscreen. CPU time is the process's, so the X server's own work is not in it.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <unistd.h>

#include "app/Connections.h"
#include "app/MainCycle.h"
#include "app/Monitor.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "displays/Chart.h"
#include "gui/MainWindow.h"
#include "platform/System.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "support/FullHistory.h"

namespace {

using namespace kv;

void BM_ShownWindowTick(benchmark::State& state) {
  char folder[] = "/tmp/kv-bench-window-XXXXXX";
  if (::mkdtemp(folder) == nullptr) return state.SkipWithError("no temporary folder");
  FakeClock clock(UnixMsFromDateTime(kvtest::FullEnd));
  {
    tMonitor m(clock);
    m.Process.SettingsDir = std::string(folder) + "/";
    m.Process.AppDir = ProgramFolder();
    m.ReadSettings();
    LoadLanguage(m.Process, EnglishLanguageFile);
    HeadlessUi ui;
    TMainCycle cycle(m, ui);
    ConnectAlerts(cycle);
    if (!cycle.Initialise()) return state.SkipWithError("the cycle did not start");
    kvtest::SetUpChannels(m.Settings, m.Current);
    m.Settings.ReadTemp = 1000;
    kvtest::FillFullHistory(m.Series, m.Current);
    TfrmKelvaraMain window(cycle, false);
    window.show();
    for (int warm = 0; warm < 25; ++warm) {
      clock.Advance(1000);
      cycle.MainTick();
      QCoreApplication::processEvents();
    }
    for (auto _ : state) {
      clock.Advance(1000);
      cycle.MainTick();
      QCoreApplication::processEvents();
    }
    state.counters["chart_height"] = window.ChartImage().height();
    window.hide();
    cycle.SessionEnd();
  }
  std::filesystem::remove_all(folder);
}
BENCHMARK(BM_ShownWindowTick)->Unit(benchmark::kMicrosecond)->MinTime(5);

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("DISPLAY")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  LoadBandIcons(ProgramFolder());
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
