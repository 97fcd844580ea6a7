#pragma once
// What kvsysinfo prints: the readings table after a pass, as JSON for other tools or as a
// table for people.
#include <optional>
#include <string>
#include <vector>

#include "app/Monitor.h"
#include "core/DateTime.h"
#include "readvalue/ReadingsJson.h"
#include "statistics/StatStore.h"

namespace kv {

// -chart FILE [-view 8h|24h|7d|year] [-hours H] [-end UTC]: the statistics chart of the user's
// files drawn into FILE.
enum class tChartSpan { Live8h, Day24, Week7, Year };
struct tChartOptions {
  std::string file;
  tChartSpan span = tChartSpan::Live8h;
  std::optional<double> hours;    // the view's own width unless given
  std::optional<TDateTime> end;   // UTC; the newest sample unless given
};

struct tSysInfoOptions {
  bool json = false;
  bool window = false;  // "1" (as the monitor starts it) or -window: the readings in a window
  int passes = 1;
  std::string lightFile;  // -light FILE: the light of the last pass is drawn into FILE
  std::string bannerFile;  // -banner FILE: the banner of the statistics files and the last pass
  tChartOptions chart;    // chart.file empty: no chart
  bool ok = true;        // false when an argument was not understood
  std::string error;
};
tSysInfoOptions ParseSysInfoArguments(const std::vector<std::string>& args);

// ReadingsJson (readvalue/ReadingsJson.h) for other tools; for people: one line per figure that
// holds a value.
std::string ReadingsTable(const tReadingsState& current, const tSettings& settings);

// Draws the light of m's readings into file (PNG, or GIF by the extension rule); false with the
// reason in error.
bool RenderLightFile(tMonitor& m, const std::string& file, std::string& error);

// Loads m's fine series from the user's statistics files without changing anything there.
void LoadBannerStatistics(tMonitor& m);
// Draws the banner of the loaded series and the current readings into file; false with the
// reason in error, and nothing written, while the series holds fewer than two samples.
bool RenderBannerFile(tMonitor& m, const std::string& file, std::string& error);
// Takes one of the chart's switches at args[i] (moving i past its value); nullopt when args[i]
// is none of them, false with o.ok cleared when its value is bad.
std::optional<bool> ParseChartSwitch(const std::vector<std::string>& args, size_t& i, tSysInfoOptions& o);
// An ISO 8601 date-time as UTC ("2026-12-09T18:00:00Z"; an offset is honoured, none means UTC).
std::optional<TDateTime> ParseUtcTime(const std::string& text);

// What the chart is drawn with; series null when the view's series holds no samples.
struct tChartPlan {
  const tStatStore* series = nullptr;
  TDateTime endTime = 0;
  double hours = 0;
};
tChartPlan PlanChart(tMonitor& m, const tChartOptions& options);
// Loads the view's series from the settings folder read-only, draws it and writes it by the
// extension rule; false with the reason in error, and then no file is written.
bool RenderChartFile(tMonitor& m, const tChartOptions& options, std::string& error);

// The whole program: settings read (never written), passes run, output printed or drawn.
int RunSysInfo(int argc, char** argv);

}  // namespace kv
