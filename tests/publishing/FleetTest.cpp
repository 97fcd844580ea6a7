// Many machines: the Prometheus rules and the Grafana dashboard of packaging/ and the readings
// object's schema of docs/, held against what a monitor really exports: by name in every build,
// and through a real Prometheus scraping a test monitor where Debian's package is installed.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QUrl>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <regex>
#include <set>
#include <stdexcept>
#include <thread>

#include "alerts/Alerts.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "publishing/HttpClient.h"
#include "publishing/Publishing.h"
#include "publishing/http/Metrics.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Scramble.h"
#include "settings/Settings.h"
#include "support/PassState.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;
using namespace std::chrono_literals;

const std::string kRules = KV_SOURCE_DIR "/packaging/prometheus/kelvara-rules.yml";
const std::string kDashboard = KV_SOURCE_DIR "/packaging/grafana/kelvara-dashboard.json";
const std::string kSchema = KV_SOURCE_DIR "/docs/readings.schema.json";
const std::string kUser = "prometheus", kPassword = "scrape: me";

// A monitor with a reading in every family /metrics knows, limits set, alerts active, a step
// failing, a disk almost full, a fan standing while another spins, and passes stamped ten
// minutes back: every dashboard query then has something to show and every rule something to
// fire on. /metrics and /api/ ask for kUser and kPassword.
class FleetTest : public testing::Test, public kvtest::PassState {
 protected:
  void SetUp() override {
    Process.AppDir = dir.File("app/");
    std::filesystem::create_directories(Process.AppDir + "www");
    std::filesystem::create_directories(dir.File("pics"));
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDefaultChannelSettings(Settings);
    Settings.HTTPServerActive = true;
    Settings.HTTPServerPort = kvtest::FreePort();
    Settings.LocalPath = dir.File("pics");
    Settings.HTTPUser = kUser;
    Settings.HTTPPass = kPassword;
    Settings.AlertPasses = 1;
    Settings.alertStep = 1;
    Settings.alertBat = 90;
    Settings.TCfg[0].Name = "CPU";
    Settings.TCfg[0].AlertHigh = 4000;
    Settings.TCfg[1].Name = "Board";
    Settings.FCfg[0].Name = "CPU fan";
    Settings.FCfg[1].Name = "Case";
    Settings.FCfg[2].Name = "Pump";
    Settings.NetSlots[0].Name = "eth0";
    Settings.DiskSlots[0].Drive = "/ / /dev/vda";
    Settings.DiskSlots[0].AlertOn = true;
    Settings.DiskSlots[0].AlertKB = 50000000;
    Settings.DiskSlots[1].Drive = "/data Data";
    SilenceSources();
    Row(tPassStep::External).read = [this](tPassContext&) { Fill(); };
    Row(tPassStep::Net).read = [](tPassContext&) { throw std::runtime_error("no interface table"); };
    publishing.ApplyHttpServer();
    ASSERT_TRUE(RunPass());
  }

  void Fill() {
    tReadings& r = Readings;
    r.T[0] = 4750;
    r.T[1] = 3825;
    r.V[0] = 1210;
    r.V[1] = 330;
    r.F[0] = cpuFanStopped ? 0 : 1500;
    r.F[1] = 1450;
    r.F[2] = -12050;  // a coolant flow of 120.5 l/h
    r.CPU[0] = 2550;
    r.CPU[1] = 6000;
    r.NetIn[0] = 1000 + 1500 * PassCount;  // KiB, growing with every pass
    r.NetOut[0] = 200 + 300 * PassCount;
    r.MemUsed = 4000000;
    r.MemFree = 12000000;
    r.PageUsed = 5000000;
    r.PageFree = 15000000;
    r.Cache = 2000000;
    r.Freq = 3600000;
    r.BatCap = 41000;
    r.BatFull = 50000;
    r.BatOnline = 0;
    FreqMax = 4200000;
    MemTotal = 16000000;
    PageTotal = 20000000;
    UpSecs = 90061;
    CPUCount = 2;
    NetMons = {{"eth0", "192.  0.  2.  2", "02-FC-00-00-00-01", 3}};
    DiskMons = {{"/", "/dev/vda"}, {"/data", "Data"}};
    Settings.DiskSlots[0].TotalKB = 100000000;
    Settings.DiskSlots[0].FreeKB = 40000000;
    Settings.DiskSlots[1].TotalKB = 10000000;
    Settings.DiskSlots[1].FreeKB = 300000;  // 3 % left
  }

  // One pass of the main cycle as far as the server sees it.
  bool RunPass() {
    Pass.ReadAllValues(false);
    Readings.Time -= 600.0 / 86400;
    alerts.Evaluate();
    publishing.PublishReadings();
    return !alerts.Active().empty();
  }

  kvtest::HttpAnswer Get(const std::string& target) {
    return kvtest::Fetch(Port(), {"GET", target, {"Authorization: Basic " + Base64Encode(kUser + ":" + kPassword)}});
  }
  int Port() const { return Settings.HTTPServerPort; }

  tPublishingOptions Published() {
    tPublishingOptions options;
    options.extraMetrics = [this] { return AlertMetrics(alerts.Active(), Settings); };
    options.extraJson = [this] { return std::vector<tJsonMember>{{"Alerts", AlertsJson(alerts.Active())}}; };
    return options;
  }

  kvtest::TempDir dir;
  kvtest::RecordingUi ui;
  tPictureQueue pictures;
  tAlerts alerts{Settings, Current, Pass};
  Publishing publishing{{Settings, Process, Current, Pass, pictures, ui, SystemTime()}, Published()};
  // The CPU fan spins until it is told to stop, which takes its series away (a standing fan
  // reads as no value).
  bool cpuFanStopped = false;
};

// Every PromQL expression of the dashboard, and of its host variable.
std::vector<std::string> DashboardQueries() {
  const QJsonObject dashboard =
      QJsonDocument::fromJson(QByteArray::fromStdString(kvtest::ReadFile(kDashboard))).object();
  std::vector<std::string> queries;
  std::function<void(const QJsonArray&)> walk = [&](const QJsonArray& panels) {
    for (const auto& p : panels) {
      for (const auto& t : p.toObject()["targets"].toArray()) queries.push_back(t.toObject()["expr"].toString().toStdString());
      walk(p.toObject()["panels"].toArray());
    }
  };
  walk(dashboard["panels"].toArray());
  for (const auto& v : dashboard["templating"].toObject()["list"].toArray())
    if (v.toObject()["type"].toString() == "query")
      queries.push_back(v.toObject()["query"].toObject()["query"].toString().toStdString());
  return queries;
}

std::set<std::string> Matches(const std::string& text, const std::regex& pattern, int group = 0) {
  std::set<std::string> found;
  for (std::sregex_iterator i(text.begin(), text.end(), pattern), end; i != end; ++i) found.insert((*i)[group]);
  return found;
}

// By name: each kelvara_* series the dashboard and the rules name is one the monitor exports
// or one a recording rule makes.
TEST_F(FleetTest, EverySeriesTheRulesAndTheDashboardQueryIsExportedOrRecorded) {
  const std::string rules = kvtest::ReadFile(kRules);
  std::string queried = rules;
  const std::vector<std::string> queries = DashboardQueries();
  ASSERT_GT(queries.size(), 20u);
  for (const std::string& q : queries) queried += "\n" + q;

  std::set<std::string> known = Matches(Get("/metrics").body, std::regex(R"((?:^|\n)(kelvara_\w+))"), 1);
  ASSERT_GT(known.size(), 30u);
  const std::set<std::string> recorded = Matches(rules, std::regex(R"(record:\s*([\w:]+))"), 1);
  ASSERT_EQ(recorded.size(), 3u);
  known.insert(recorded.begin(), recorded.end());
  for (const std::string& name : Matches(queried, std::regex(R"([\w:]*kelvara_[\w:]*)")))
    EXPECT_TRUE(known.count(name)) << name << " is neither exported nor recorded";
}

// The live readings object holds to the schema in docs/, and the schema is strict enough to
// refuse one that lost a member or gained one (python3-jsonschema from Debian).
TEST_F(FleetTest, ReadingsObjectHoldsToItsSchema) {
  const auto answer = Get("/api/v1/readings");
  ASSERT_EQ(answer.status, 200);
  const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
  ASSERT_FALSE(object["Alerts"].toArray().isEmpty());
  QJsonObject lost = object, gained = object;
  lost.remove("Steps");
  gained.insert("Extra", 1);
  const std::pair<QJsonObject, int> documents[] = {{object, 0}, {lost, 1}, {gained, 1}};
  for (const auto& [document, status] : documents) {
    kvtest::WriteFile(dir.File("readings.json"), QJsonDocument(document).toJson().toStdString());
    QProcess python;
    python.setProcessChannelMode(QProcess::MergedChannels);
    python.start("/usr/bin/python3",
                 {"-c", "import json, sys, jsonschema\n"
                        "try:\n"
                        "    jsonschema.validate(json.load(open(sys.argv[2])), json.load(open(sys.argv[1])))\n"
                        "except jsonschema.ValidationError as e:\n"
                        "    sys.exit(e.message)\n",
                  QString::fromStdString(kSchema), QString::fromStdString(dir.File("readings.json"))});
    ASSERT_TRUE(python.waitForFinished(30000));
    EXPECT_EQ(python.exitCode(), status) << python.readAll().toStdString();
  }
}

// A real Prometheus (Debian's package) scrapes the test monitor every second with basic
// authentication, and a port where nobody answers, with the shipped rules loaded. Then every
// rule is healthy and pending or firing, and every rule expression and dashboard query answers
// with data.
TEST_F(FleetTest, PrometheusScrapesAndEveryRuleAndQueryAnswers) {
  if (!std::filesystem::exists("/usr/bin/prometheus")) FAIL() << "Debian's prometheus is missing (scripts/install-deps installs it)";
  const int prometheusPort = kvtest::FreePort(), deadPort = kvtest::FreePort();
  const std::string instance = "127.0.0.1:" + std::to_string(Port());
  kvtest::WriteFile(dir.File("prometheus.yml"),
                    "global: {scrape_interval: 1s, evaluation_interval: 1s}\n"
                    "rule_files: ['" + kRules + "']\n"
                    "scrape_configs:\n"
                    "  - job_name: kelvara\n"
                    "    basic_auth: {username: '" + kUser + "', password: '" + kPassword + "'}\n"
                    "    static_configs:\n"
                    "      - targets: ['" + instance + "', '127.0.0.1:" + std::to_string(deadPort) + "']\n");
  QProcess prometheus;
  prometheus.setWorkingDirectory(QString::fromStdString(dir.Path()));
  prometheus.setProcessChannelMode(QProcess::MergedChannels);
  prometheus.start("/usr/bin/prometheus",
                   {"--config.file=" + QString::fromStdString(dir.File("prometheus.yml")),
                    "--storage.tsdb.path=" + QString::fromStdString(dir.File("tsdb")),
                    "--web.listen-address=127.0.0.1:" + QString::number(prometheusPort), "--log.level=warn"});
  ASSERT_TRUE(prometheus.waitForStarted(10000));
  const std::unique_ptr<QProcess, void (*)(QProcess*)> stop(&prometheus, [](QProcess* p) {
    p->terminate();
    if (!p->waitForFinished(10000)) p->kill();
  });
  const auto api = [&](const std::string& target) {
    const auto answer = kvtest::Fetch(prometheusPort, {"GET", target, {}});
    return QJsonDocument::fromJson(QByteArray::fromStdString(answer.body)).object();
  };
  const auto query = [&](const std::string& expr) {
    return api("/api/v1/query?query=" + QUrl::toPercentEncoding(QString::fromStdString(expr)).toStdString());
  };
  const auto rules = [&] {
    std::vector<QJsonObject> all;
    for (const auto& g : api("/api/v1/rules")["data"].toObject()["groups"].toArray())
      for (const auto& r : g.toObject()["rules"].toArray()) all.push_back(r.toObject());
    return all;
  };

  // The monitor passes four times a second until five scrapes are in and every alert has left
  // "inactive"; the CPU fan stops once Prometheus has seen it spin.
  bool ready = false;
  for (const auto end = std::chrono::steady_clock::now() + 25s; !ready && std::chrono::steady_clock::now() < end;) {
    RunPass();
    std::this_thread::sleep_for(250ms);
    if (!cpuFanStopped)
      cpuFanStopped = !query("kelvara_fan_rpm{channel=\"1\"}")["data"].toObject()["result"].toArray().isEmpty();
    const QJsonArray scraped = query("count_over_time(kelvara_passes_total[1m])")["data"].toObject()["result"].toArray();
    const std::vector<QJsonObject> all = rules();
    ready = !scraped.isEmpty() && scraped[0].toObject()["value"].toArray()[1].toString().toInt() >= 5 && all.size() == 10 &&
            std::all_of(all.begin(), all.end(), [](const QJsonObject& r) { return r["state"].toString() != "inactive"; });
  }
  std::string states;
  for (const QJsonObject& rule : rules())
    states += rule["name"].toString().toStdString() + " " + rule["state"].toString().toStdString() + "; ";
  ASSERT_TRUE(ready) << states << "\n" << prometheus.readAll().toStdString();

  for (const QJsonObject& rule : rules()) {
    const std::string name = rule["name"].toString().toStdString();
    EXPECT_EQ(rule["health"].toString(), "ok") << name << ": " << rule["lastError"].toString().toStdString();
    const QJsonObject answer = query(rule["query"].toString().toStdString());
    EXPECT_EQ(answer["status"].toString(), "success") << name;
    EXPECT_FALSE(answer["data"].toObject()["result"].toArray().isEmpty()) << name << " has no data";
  }
  for (std::string q : DashboardQueries()) {
    const std::string shown = q;
    if (q.starts_with("label_values(")) {  // the host variable
      const QJsonObject hosts = api("/api/v1/label/instance/values?match[]=kelvara_passes_total");
      EXPECT_EQ(hosts["data"].toArray(), QJsonArray{QString::fromStdString(instance)}) << shown;
      continue;
    }
    q = std::regex_replace(q, std::regex(R"(\$host)"), instance);
    q = std::regex_replace(q, std::regex(R"(\$__rate_interval)"), "10s");
    const QJsonObject answer = query(q);
    EXPECT_EQ(answer["status"].toString(), "success") << shown << ": " << answer["error"].toString().toStdString();
    EXPECT_FALSE(answer["data"].toObject()["result"].toArray().isEmpty()) << shown << " has no data";
  }
}

}  // namespace
