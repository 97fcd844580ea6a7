// kvsysinfo -chart: its switches, the view it picks, and the real program on statistics files
// that a headless monitor run wrote.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <dirent.h>
#include <sys/stat.h>

#include <cmath>
#include <functional>
#include <map>

#include "platform/Files.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"
#include "tools/SysInfo.h"

namespace kv {
namespace {

tSysInfoOptions Parse(const std::vector<std::string>& args) { return ParseSysInfoArguments(args); }

TEST(SysInfoChartArguments, ViewsWidthsEndsAndUsageErrors) {
  tSysInfoOptions o = Parse({"-chart", "c.gif"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_EQ(o.chart.file, "c.gif");
  EXPECT_EQ(o.chart.span, tChartSpan::Live8h);
  EXPECT_FALSE(o.chart.hours);
  EXPECT_FALSE(o.chart.end);

  const std::pair<const char*, tChartSpan> views[] = {
      {"8h", tChartSpan::Live8h}, {"24H", tChartSpan::Day24}, {"7d", tChartSpan::Week7}, {"Year", tChartSpan::Year}};
  for (const auto& [name, span] : views) {
    o = Parse({"/view", name, "-CHART", "c.png"});
    ASSERT_TRUE(o.ok) << name << ": " << o.error;
    EXPECT_EQ(o.chart.span, span) << name;
  }

  EXPECT_DOUBLE_EQ(*Parse({"-chart", "c.png", "-hours", "8784"}).chart.hours, 8784);
  o = Parse({"-chart", "c.png", "-hours", "12.5", "-end", "2026-12-09T18:30:00Z", "-json"});
  ASSERT_TRUE(o.ok) << o.error;
  EXPECT_TRUE(o.json);
  EXPECT_DOUBLE_EQ(*o.chart.hours, 12.5);
  EXPECT_NEAR(*o.chart.end, EncodeDateTime({2026, 12, 9, 18, 30, 0, 0}), 1e-9);
  // No offset means UTC; an offset is taken into account.
  EXPECT_NEAR(*ParseUtcTime("2026-12-09T18:30:00"), EncodeDateTime({2026, 12, 9, 18, 30, 0, 0}), 1e-9);
  EXPECT_NEAR(*ParseUtcTime("2026-12-09T18:30:00+02:00"), EncodeDateTime({2026, 12, 9, 16, 30, 0, 0}), 1e-9);

  const std::vector<std::vector<std::string>> bad = {
      {"-chart"},
      {"-chart", ""},
      {"-chart", "c.png", "-view"},
      {"-chart", "c.png", "-view", "31d"},
      {"-chart", "c.png", "-hours", "0"},
      {"-chart", "c.png", "-hours", "-3"},
      {"-chart", "c.png", "-hours", "0.01"},
      {"-chart", "c.png", "-hours", "8785"},
      {"-chart", "c.png", "-hours", "nan"},
      {"-chart", "c.png", "-hours", "inf"},
      {"-chart", "c.png", "-hours", "12h"},
      {"-chart", "c.png", "-hours", "1e9"},
      {"-chart", "c.png", "-end", "yesterday"},
      {"-chart", "c.png", "-end", "2026-13-01T00:00:00Z"},
      {"-chart", "c.png", "-end", "2026-12-09T25:00:00Z"},
      {"-view", "7d"},  // a view without a chart to draw
      {"-hours", "8", "-json"},
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const std::string& a : args) joined += a + " ";
    o = Parse(args);
    EXPECT_FALSE(o.ok) << joined;
    EXPECT_FALSE(o.error.empty()) << joined;
  }
}

// A series of n samples, one every step days, the newest at end.
void Fill(tStatStore& s, int n, double step, TDateTime end) {
  s = {};
  for (int k = 0; k < n; ++k) {
    tReadings r{};
    r.Time = end - (n - 1 - k) * step;
    tReadingsExtra e{};
    e.Time2 = r.Time;
    s.Samples.push_back(r);
    s.SamplesExtra.push_back(e);
  }
  s.LastIndex = n - 1;
}

// The right edge is the newest sample unless -end says otherwise; an empty series has no plan.
TEST(SysInfoChartPlan, EndsAtTheNewestSampleUnlessToldAndNeedsSamples) {
  kvtest::MonitorState m;
  Fill(m.Stats8h, 5, 20 / SecondsPerDay, 46000.25);
  m.Settings.SpanStats = 3;
  tChartOptions options;
  tChartPlan plan = PlanChart(m.M, options);
  EXPECT_EQ(plan.series, &m.Stats8h);
  EXPECT_EQ(plan.hours, 3);
  EXPECT_EQ(plan.endTime, 46000.25);
  options.hours = 2.5;
  options.end = 45000.0;
  plan = PlanChart(m.M, options);
  EXPECT_EQ(plan.hours, 2.5);
  EXPECT_EQ(plan.endTime, 45000.0);
  options.span = tChartSpan::Week7;
  m.Stats7d = {};
  EXPECT_EQ(PlanChart(m.M, options).series, nullptr);
}

// Every view's network legend needs the current rates of the 8-hour series, so a longer view
// loads that series as well.
TEST(SysInfoChartPlan, LongerViewsAlsoLoadTheEightHourSeries) {
  kvtest::TempDir dir;
  kvtest::MonitorState m;
  m.Process.SettingsDir = dir.Path();
  tStatStore s;
  Fill(s, 4, 20 / SecondsPerDay, 46000.25);
  SaveStore(s, dir.Path(), Params8h.baseName, false);
  Fill(s, 3, 5 / 1440.0, 46000.25);
  SaveStore(s, dir.Path(), Params7d.baseName, false);
  tChartOptions options;
  options.span = tChartSpan::Week7;
  options.file = dir.File("c.png");
  std::string error;
  EXPECT_TRUE(RenderChartFile(m.M, options, error)) << error;
  EXPECT_EQ(m.Stats8h.LastIndex, 3);
}

// Per file name its size, change time and a digest of its bytes: what a look must leave as it was.
using tSnapshot = std::map<std::string, std::string>;
tSnapshot Snapshot(const std::string& folder) {
  tSnapshot s;
  DIR* d = ::opendir(folder.c_str());
  if (!d) return s;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (name == "." || name == "..") continue;
    struct stat st {};
    ::lstat((folder + name).c_str(), &st);
    s[name] = std::to_string(st.st_size) + " " + std::to_string(st.st_mtim.tv_sec) + "." +
              std::to_string(st.st_mtim.tv_nsec) + " " +
              std::to_string(std::hash<std::string>{}(kvtest::ReadFile(folder + name)));
  }
  ::closedir(d);
  return s;
}

bool WaitFor(const std::function<bool()>& condition, int ms) {
  QElapsedTimer t;
  t.start();
  while (!condition()) {
    if (t.elapsed() > ms) return false;
    QThread::msleep(50);
  }
  return true;
}

// One headless monitor run, started and closed, leaves its statistics files in a settings
// folder; every test then draws from that folder.
class ChartProgram : public testing::Test {
 protected:
  // A failure here is checked by each test's set-up: GoogleTest would only mark the tests skipped.
  static void SetUpTestSuite() {
    dir_ = new kvtest::TempDir;
    historyError_ = MakeHistory();
  }
  void SetUp() override { ASSERT_EQ(historyError_, "") << "the monitor run that leaves the history failed"; }
  static std::string MakeHistory() {
    if (!CreateFolder(dir_->File("run"), 0700) || !CreateFolder(dir_->File("data"), 0700) ||
        !CreateFolder(Settings(), 0700))
      return "cannot make the folders";
    kvtest::WriteFile(Settings() + DisplayIniName, "[Misc]\nStatsWidth=600\n");
    QProcess kelvara;
    kelvara.setProcessEnvironment(Env());
    kelvara.start(QStringLiteral(KV_BIN_DIR "/kelvara"), {"-headless", "-debug"});
    if (!kelvara.waitForStarted(5000)) return "kelvara did not start";
    if (!WaitFor([] { return kvtest::ReadFile(Settings() + "KVEvents.txt").find("Installed in") != std::string::npos; },
                 15000))
      return "kelvara did not log its start";
    QProcess close;
    close.setProcessEnvironment(Env());
    close.start(QStringLiteral(KV_BIN_DIR "/kelvara"), {"-close"});
    if (!close.waitForFinished(15000) || !kelvara.waitForFinished(15000)) return "kelvara did not close";
    return kelvara.exitCode() == 0 ? "" : "kelvara exited with " + std::to_string(kelvara.exitCode());
  }
  static void TearDownTestSuite() {
    delete dir_;
    dir_ = nullptr;
  }
  static std::string Settings() { return dir_->File("data") + "/kelvara/"; }
  static QProcessEnvironment Env() {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_->File("run")));
    env.insert("XDG_DATA_HOME", QString::fromStdString(dir_->File("data")));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
    return env;
  }
  struct tRun {
    int exitCode;
    std::string err;
  };
  static tRun SysInfo(const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(Env());
    p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), args);
    if (!p.waitForFinished(30000)) return {-1, "did not finish"};
    return {p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1, p.readAllStandardError().toStdString()};
  }
  QString Out(const std::string& name) const { return QString::fromStdString(out_.File(name)); }

  static kvtest::TempDir* dir_;
  static inline std::string historyError_;
  kvtest::TempDir out_;
};
kvtest::TempDir* ChartProgram::dir_ = nullptr;

TEST_F(ChartProgram, DrawsEachViewAsPngOrGifAndLeavesTheSettingsFolderAlone) {
  ASSERT_TRUE(FileExists(Settings() + "Kelvara8h.log6"));
  const tSnapshot before = Snapshot(Settings());

  tRun run = SysInfo({"-chart", Out("live.png")});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  const QImage live(Out("live.png"));
  EXPECT_EQ(live.width(), 600);
  // At least the footer (a machine without sensors may have nothing else to show), and not a
  // runaway height.
  EXPECT_GE(live.height(), 15);
  EXPECT_LE(live.height(), 4000);

  run = SysInfo({"-chart", Out("week.GIF"), "-view", "7d"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(kvtest::ReadFile(out_.File("week.GIF")).substr(0, 4), "GIF8");
  EXPECT_EQ(QImage(Out("week.GIF")).width(), 600);

  run = SysInfo({"-chart", Out("year"), "-view", "year", "-hours", "100", "-end", "2030-01-01T00:00:00Z"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(QImage(Out("year.png")).width(), 600);

  EXPECT_EQ(Snapshot(Settings()), before);
}

TEST_F(ChartProgram, UsageErrorsAndEmptyFoldersWriteNothing) {
  tRun run = SysInfo({"-chart", Out("c.png"), "-view", "month"});
  EXPECT_EQ(run.exitCode, 2);
  EXPECT_NE(run.err.find("-view takes 8h, 24h, 7d or year"), std::string::npos) << run.err;

  // A folder without statistics files, then one whose file holds no whole record.
  kvtest::TempDir data;
  const std::string empty = data.Path() + "kelvara/";
  ASSERT_TRUE(CreateFolder(empty, 0700));
  QProcessEnvironment env = Env();
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
  for (const char* expected : {"no statistics file Kelvara8h.log6", "holds no samples"}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-chart", Out("c.png")});
    ASSERT_TRUE(p.waitForFinished(30000));
    EXPECT_NE(p.exitCode(), 0);
    const std::string err = p.readAllStandardError().toStdString();
    EXPECT_NE(err.find(expected), std::string::npos) << err;
    EXPECT_FALSE(FileExists(out_.File("c.png")));
    kvtest::WriteFile(empty + "Kelvara8h.log6", std::string(140, '\0'));
  }
}

// The monitor copies a lone backup back into place at start; a program that only looks must read
// it where it lies.
TEST_F(ChartProgram, ALoneBackupIsReadWhereItLies) {
  kvtest::TempDir data;
  const std::string folder = data.Path() + "kelvara/";
  ASSERT_TRUE(CreateFolder(folder, 0700));
  for (const char* name : {"Kelvara8h.log6", "Kelvara8h.log7"})
    kvtest::WriteFile(folder + name + ".backup", kvtest::ReadFile(Settings() + name));
  const tSnapshot before = Snapshot(folder);
  QProcessEnvironment env = Env();
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"-chart", Out("c.png")});
  ASSERT_TRUE(p.waitForFinished(30000));
  EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
  EXPECT_EQ(QImage(Out("c.png")).width(), 550);
  EXPECT_EQ(Snapshot(folder), before);
}

}  // namespace
}  // namespace kv
