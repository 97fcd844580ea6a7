#include "tools/SysInfo.h"

#include <QCoreApplication>
#include <QByteArray>
#include <QDateTime>
#include <QApplication>
#include <QGuiApplication>
#include <QString>
#include <malloc.h>
#include <algorithm>
#include <cmath>
#include <memory>
#include <cstdio>
#include <iostream>
#include <sstream>

#include "alerts/Alerts.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/ProgramInfo.h"
#include "core/Text.h"
#include "displays/Banner.h"
#include "displays/Chart.h"
#include "displays/Light.h"
#include "displays/PictureFile.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "platform/System.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "readvalue/ReadingsJson.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "settings/SettingsFolder.h"
#include "statistics/StatFiles.h"
#include "statistics/StatStore.h"
#include "tools/SysInfoWindow.h"

namespace kv {

namespace {

// A figure in hundredths, or "-" for none.
std::string Hundredths(int v, const char* unit) {
  if (v == NoValue16) return "-";
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f %s", v / 100.0, unit);
  return buf;
}

std::string Whole(long long v, const char* unit) {
  if (v == NoValue32) return "-";
  return std::to_string(v) + " " + unit;
}

}  // namespace

tSysInfoOptions ParseSysInfoArguments(const std::vector<std::string>& args) {
  tSysInfoOptions o;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string a = LowerCase(args[i]);
    if (a == "-json" || a == "/json") {
      o.json = true;
    } else if (a == "-passes" || a == "/passes") {
      const auto n = i + 1 < args.size() ? ParseInt(args[i + 1]) : std::nullopt;
      if (!n || *n < 1 || *n > 100000) {
        o.ok = false;
        o.error = "-passes needs a whole number from 1 to 100000";
        return o;
      }
      o.passes = static_cast<int>(*n);
      ++i;
    } else if (a == "-light" || a == "/light") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        o.ok = false;
        o.error = "-light needs a file name";
        return o;
      }
      o.lightFile = args[++i];
    } else if (a == "-banner" || a == "/banner") {
      if (i + 1 >= args.size() || args[i + 1].empty()) {
        o.ok = false;
        o.error = "-banner needs a file name";
        return o;
      }
      o.bannerFile = args[++i];
    } else if (const std::optional<bool> taken = ParseChartSwitch(args, i, o)) {
      if (!*taken) return o;
    } else if (a == "1" || a == "-window" || a == "/window") {
      // "1" is the page the monitor's menu asks for: the readings, which is all there is.
      o.window = true;
    } else {
      o.ok = false;
      o.error = "unknown argument: " + args[i];
      return o;
    }
  }
  if (o.window && (o.json || o.passes != 1 || !o.lightFile.empty() || !o.bannerFile.empty() ||
                   !o.chart.file.empty())) {
    o.ok = false;
    o.error = "the window takes no other switch";
    return o;
  }
  if (o.chart.file.empty() && (o.chart.hours || o.chart.end || o.chart.span != tChartSpan::Live8h)) {
    o.ok = false;
    o.error = "-view, -hours and -end need -chart FILE";
  }
  return o;
}

namespace {

// The views: their names, their series (in AllSeries order) and width; 0 hours: SpanStats.
struct tChartView {
  const char* name;
  tChartSpan span;
  size_t series;
  double hours;
};
constexpr tChartView ChartViews[] = {{"8h", tChartSpan::Live8h, 0, 0},
                                     {"24h", tChartSpan::Day24, 1, 24},
                                     {"7d", tChartSpan::Week7, 1, 168},
                                     {"year", tChartSpan::Year, 2, 8760}};

const tChartView& ViewOf(tChartSpan span) {
  for (const tChartView& v : ChartViews)
    if (v.span == span) return v;
  return ChartViews[0];
}

// The range the chart's span setting allows: one minute up to the year series' 366 days.
constexpr double MinChartHours = 1.0 / 60, MaxChartHours = 366 * 24;

}  // namespace

std::optional<TDateTime> ParseUtcTime(const std::string& text) {
  QDateTime t = QDateTime::fromString(QString::fromStdString(text).trimmed(), Qt::ISODateWithMs);
  if (!t.isValid()) return std::nullopt;
  if (t.timeSpec() == Qt::LocalTime) t.setTimeSpec(Qt::UTC);  // no offset given: the text is UTC
  const QDate date = t.toUTC().date();
  if (date.year() < 1900 || date.year() > 9999) return std::nullopt;
  return DateTimeFromUnixMs(t.toMSecsSinceEpoch());
}

std::optional<bool> ParseChartSwitch(const std::vector<std::string>& args, size_t& i, tSysInfoOptions& o) {
  std::string a = LowerCase(args[i]);
  if (a.size() < 2 || (a[0] != '-' && a[0] != '/')) return std::nullopt;
  a.erase(0, 1);
  if (a != "chart" && a != "view" && a != "hours" && a != "end") return std::nullopt;
  auto fail = [&o](const std::string& error) {
    o.ok = false;
    o.error = error;
    return false;
  };
  if (i + 1 >= args.size() || args[i + 1].empty()) return fail("-" + a + " needs a value");
  const std::string value = args[++i];
  if (a == "chart") {
    o.chart.file = value;
  } else if (a == "view") {
    const std::string v = LowerCase(value);
    const tChartView* found = nullptr;
    for (const tChartView& n : ChartViews)
      if (v == n.name) found = &n;
    if (!found) return fail("-view takes 8h, 24h, 7d or year, not " + value);
    o.chart.span = found->span;
  } else if (a == "hours") {
    char* end = nullptr;
    const double h = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || *end != '\0' || !std::isfinite(h) || h < MinChartHours || h > MaxChartHours)
      return fail("-hours needs a number of hours from 1/60 (a minute) to 8784 (366 days), not " + value);
    o.chart.hours = h;
  } else {
    o.chart.end = ParseUtcTime(value);
    if (!o.chart.end) return fail("-end needs an ISO date-time in UTC such as 2026-12-09T18:00:00Z, not " + value);
  }
  return true;
}

tChartPlan PlanChart(tMonitor& m, const tChartOptions& options) {
  const tChartView& view = ViewOf(options.span);
  tChartPlan plan;
  plan.series = &m.Series.AllSeries()[view.series].store;
  plan.hours = options.hours ? *options.hours : view.hours > 0 ? view.hours : m.Settings.SpanStats;
  const tStatStore& s = *plan.series;
  if (s.LastIndex < 0 || static_cast<size_t>(s.LastIndex) >= s.Samples.size()) {
    plan.series = nullptr;
    return plan;
  }
  plan.endTime = options.end ? *options.end : s.Samples[static_cast<size_t>(s.LastIndex)].Time;
  return plan;
}

bool RenderChartFile(tMonitor& m, const tChartOptions& options, std::string& error) {
  try {
    const tSeriesRef series = m.Series.AllSeries()[ViewOf(options.span).series];  // a copy: the list is a temporary
    tStatStore& store = series.store;
    const tSeriesParams& params = series.params;
    const std::string& dir = m.Process.SettingsDir;
    const std::string mainFile = std::string(params.baseName) + "6";
    if (!FileExists(dir + mainFile) && !FileExists(dir + mainFile + ".backup")) {
      error = "no statistics file " + mainFile + " in " + dir;
      return false;
    }
    LoadStoreReadOnly(store, dir, params.baseName, m.Time.UtcNow());
    // Every view's network legend shows the current rates, and those come from the 8-hour series.
    if (&store != &m.Series.Stats8h) LoadBannerStatistics(m);
    const tChartPlan plan = PlanChart(m, options);
    if (!plan.series) {
      error = "the statistics file " + mainFile + " in " + dir + " holds no samples";
      return false;
    }
    QImage chart;
    if (!DrawStatistics(chart, m.Display(), *plan.series, plan.endTime, plan.hours)) {
      error = "the statistics hold nothing to draw";
      return false;
    }
    return !WritePictureFile(chart, options.file, error).empty();
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

std::string ReadingsTable(const tReadingsState& c, const tSettings& s) {
  const tReadings& r = c.Readings;
  std::ostringstream t;
  auto line = [&t](const std::string& name, const std::string& value) {
    if (value == "-") return;
    char buf[256];
    std::snprintf(buf, sizeof buf, "%-24s %s\n", name.c_str(), value.c_str());
    t << buf;
  };
  for (int i = 0; i < TChannels; ++i) line(s.TCfg[i].Name, Hundredths(r.T[i], "°C"));
  for (int i = 0; i < VChannels; ++i) line(s.VCfg[i].Name, Hundredths(r.V[i], "V"));
  for (int i = 0; i < FChannels; ++i) {
    if (r.F[i] < 0) line(s.FCfg[i].Name, Hundredths(-r.F[i], "l/h"));
    else line(s.FCfg[i].Name, Whole(r.F[i] == NoValue16 ? NoValue32 : r.F[i], "RPM"));
  }
  for (int i = 0; i < CPUChannels; ++i) line(s.CPUCfg[i].Name, Hundredths(r.CPU[i], "%"));
  for (int i = 0; i < NetChannels; ++i) {
    line(s.NetSlots[i].Name + " in", Whole(r.NetIn[i], "KiB"));
    line(s.NetSlots[i].Name + " out", Whole(r.NetOut[i], "KiB"));
  }
  line("Memory used", Whole(r.MemUsed, "KiB"));
  line("Memory free", Whole(r.MemFree, "KiB"));
  line("Commit used", Whole(r.PageUsed, "KiB"));
  line("Commit free", Whole(r.PageFree, "KiB"));
  line("File cache", Whole(r.Cache, "KiB"));
  line("CPU clock", Whole(r.Freq, "kHz"));
  line("Battery", Whole(r.BatCap, c.BatRelative ? "%" : "mWh"));
  if (c.UpSecs > 0) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%u d %02u:%02u:%02u h", c.UpDays, c.UpHours, c.UpMins, c.UpSecsPart);
    line("Uptime", buf);
  }
  line("Active user time", Whole(c.ReadingsExtra.UserSecs, "s"));
  for (const tDiskMon& d : c.DiskMons) line("Disk " + d.Root, d.Label);
  for (const tNetMon& n : c.NetMons) line("Interface " + n.Description, n.Ip + " " + n.Mac);
  return t.str();
}

bool RenderLightFile(tMonitor& m, const std::string& file, std::string& error) {
  try {
    QImage light;
    DrawLight(light, m.Display());
    return !WritePictureFile(light, file, error).empty();
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

void LoadBannerStatistics(tMonitor& m) {
  LoadStoreReadOnly(m.Series.Stats8h, m.Process.SettingsDir, Params8h.baseName, m.Time.UtcNow());
}

bool RenderBannerFile(tMonitor& m, const std::string& file, std::string& error) {
  if (m.Series.Stats8h.LastIndex <= 0) {
    error = "the statistics hold fewer than two samples; nothing to draw";
    return false;
  }
  try {
    QImage banner;
    DrawBanner(banner, m.Display());
    if (banner.isNull()) {
      error = "the banner could not be drawn";
      return false;
    }
    return !WritePictureFile(banner, file, error).empty();
  } catch (const std::exception& e) {
    error = e.what();
    return false;
  }
}

namespace {

int RunChart(tMonitor& m, const tChartOptions& chart) {
  LoadBandIcons(DataFolder("cpu.png", m.Process));
  std::string error;
  if (!RenderChartFile(m, chart, error)) {
    std::fprintf(stderr, "kvsysinfo: %s: %s\n", chart.file.c_str(), error.c_str());
    return 1;
  }
  return 0;
}

}  // namespace

int RunSysInfo(int argc, char** argv) {
  const tSysInfoOptions options = ParseSysInfoArguments(std::vector<std::string>(argv + 1, argv + argc));
  // Drawing needs fonts, so a GUI application; it never shows a window, so none is looked for.
  const bool drawing = !options.lightFile.empty() || !options.bannerFile.empty() ||
                       !options.chart.file.empty();
  if (drawing && qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  // A picture run lives a fraction of a second and its large buffers (statistics files, the
  // bitmap, the encoder's state) follow one another: kept on the heap, a freed one's pages serve
  // the next instead of each being mapped and faulted in afresh, about an eighth of the run.
  if (drawing && !options.window) mallopt(M_MMAP_THRESHOLD, 32 << 20);
  if (options.ok && options.window && !HasDisplay()) {
    std::fprintf(stderr,
                 "kvsysinfo: no display for the window (DISPLAY, WAYLAND_DISPLAY and QT_QPA_PLATFORM are "
                 "unset); run kvsysinfo without arguments for the readings as text\n");
    return 1;
  }
  std::unique_ptr<QCoreApplication> app;
  if (options.ok && options.window) app = std::make_unique<QApplication>(argc, argv);
  else if (drawing) app = std::make_unique<QGuiApplication>(argc, argv);
  else app = std::make_unique<QCoreApplication>(argc, argv);
  if (!options.ok) {
    std::fprintf(stderr, "kvsysinfo: %s\n%s", options.error.c_str(), ProgramUsage(tProgram::SysInfo).c_str());
    return 2;
  }
  tMonitor m;
  m.Process.AppDir = ProgramFolder();
  // The monitor's folder and its check: both programs read the same settings or neither runs.
  // A missing folder is created only by the monitor; until then every setting is its default.
  const tSettingsFolderChoice folder = ChooseSettingsDir(m.Process.AppDir, UserDataFolder(), false);
  if (!folder.problem.empty()) {
    std::fprintf(stderr, "kvsysinfo: %s\n", folder.problem.c_str());
    return 1;
  }
  m.Process.SettingsDir = folder.dir;
  // This program only looks: no settings file is written, no event log kept.
  SetEventLogPath("");
  ReadSettings(m.Settings, m.Process, {}, tSettingsLoad::LookOnly);
  m.Pass.ResetReadings();
  if (!options.bannerFile.empty()) LoadBannerStatistics(m);
  if (options.window) return ShowSysInfoWindow(m);
  // A look, not a watch: the alerts' events start no notification and no command; and an alert
  // needs no more passes than this program runs.
  tSettings& s = m.Settings;
  s.AlertPasses = std::min(s.AlertPasses, options.passes);
  if (s.alertStep > 0) s.alertStep = std::min(s.alertStep, options.passes);
  for (int i = 0; i < options.passes; ++i) {
    m.Pass.ReadAllValues(true);
    m.Alerts.Evaluate();
  }
  if (drawing) {
    LoadLanguage(m.Process, EnglishLanguageFile);
    LoadLanguage(m.Process, s.LangFile);
    std::string error;
    if (!options.lightFile.empty() && !RenderLightFile(m, options.lightFile, error)) {
      std::fprintf(stderr, "kvsysinfo: %s: %s\n", options.lightFile.c_str(), error.c_str());
      return 1;
    }
    if (!options.bannerFile.empty() && !RenderBannerFile(m, options.bannerFile, error)) {
      std::fprintf(stderr, "kvsysinfo: %s: %s\n", options.bannerFile.c_str(), error.c_str());
      return 1;
    }
    if (!options.chart.file.empty()) return RunChart(m, options.chart);
    return 0;
  }
  const std::string out =
      options.json ? ReadingsJson(m.Current, s, m.Pass.StepHealth(), {{"Alerts", AlertsJson(m.Alerts.Active())}})
                   : ReadingsTable(m.Current, s);
  std::fwrite(out.data(), 1, out.size(), stdout);
  return 0;
}

}  // namespace kv
