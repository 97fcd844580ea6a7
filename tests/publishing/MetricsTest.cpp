// /metrics and /api/v1/readings through the publishing port: the exposition text checked by a
// strict parser of its grammar, the readings object parsed as JSON.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <set>

#include "core/EventLog.h"
#include "core/Process.h"
#include "publishing/HttpClient.h"
#include "publishing/Publishing.h"
#include "publishing/http/Metrics.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/PassState.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

struct Sample {
  std::string name;
  std::map<std::string, std::string> labels;
  double value = 0;
};

bool NameChar(char c, bool first, bool colon) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || (colon && c == ':') ||
         (!first && c >= '0' && c <= '9');
}

size_t ParseName(const std::string& line, size_t at, bool colon) {
  size_t i = at;
  while (i < line.size() && NameChar(line[i], i == at, colon)) ++i;
  return i;
}

bool ParseValue(const std::string& text, double& v) {
  if (text == "NaN") v = NAN;
  else if (text == "+Inf") v = INFINITY;
  else if (text == "-Inf") v = -INFINITY;
  else {
    if (text.empty() || text.find_first_not_of("0123456789+-.eE") != std::string::npos) return false;
    size_t used = 0;
    try {
      v = std::stod(text, &used);
    } catch (...) {
      return false;
    }
    return used == text.size();
  }
  return true;
}

// The text exposition format 0.0.4, strictly: HELP and TYPE at most once per family and before
// its samples, known types, families contiguous, valid names, label escapes \\ \" \n only, no
// repeated series, every line ending in "\n". Failures are added to errors.
std::vector<Sample> ParseExposition(const std::string& text, std::vector<std::string>& errors) {
  std::vector<Sample> samples;
  if (text.empty() || text.back() != '\n') errors.push_back("text does not end in a line feed");
  std::set<std::string> typed, helped, finished, series;
  std::string current;  // family of the previous line
  auto family = [&](const std::string& name, int n) {
    if (name != current) {
      if (!current.empty()) finished.insert(current);
      if (finished.count(name)) errors.push_back("line " + std::to_string(n) + ": family " + name + " split");
      current = name;
    }
  };
  size_t from = 0;
  for (int n = 1; from < text.size(); ++n) {
    const size_t end = text.find('\n', from);
    const std::string line = text.substr(from, (end == std::string::npos ? text.size() : end) - from);
    from = end == std::string::npos ? text.size() : end + 1;
    const std::string where = "line " + std::to_string(n) + " \"" + line + "\": ";
    if (line.empty()) continue;
    if (line[0] == '#') {
      const bool help = line.rfind("# HELP ", 0) == 0, type = line.rfind("# TYPE ", 0) == 0;
      if (!help && !type) continue;
      const size_t nameEnd = ParseName(line, 7, true);
      const std::string name = line.substr(7, nameEnd - 7);
      if (name.empty() || nameEnd >= line.size() || line[nameEnd] != ' ') {
        errors.push_back(where + "bad name");
        continue;
      }
      family(name, n);
      const std::string rest = line.substr(nameEnd + 1);
      if (help) {
        if (!helped.insert(name).second) errors.push_back(where + "second HELP");
        for (size_t i = 0; i < rest.size(); ++i)
          if (rest[i] == '\\' && (i + 1 >= rest.size() || (rest[i + 1] != '\\' && rest[i + 1] != 'n')))
            errors.push_back(where + "bad escape in HELP");
          else if (rest[i] == '\\') ++i;
      } else {
        if (!typed.insert(name).second) errors.push_back(where + "second TYPE");
        if (rest != "counter" && rest != "gauge" && rest != "histogram" && rest != "summary" && rest != "untyped")
          errors.push_back(where + "unknown type");
        if (series.count(name) || std::any_of(samples.begin(), samples.end(), [&](const Sample& s) { return s.name == name; }))
          errors.push_back(where + "TYPE after samples");
      }
      continue;
    }
    Sample s;
    size_t i = ParseName(line, 0, true);
    s.name = line.substr(0, i);
    if (s.name.empty()) {
      errors.push_back(where + "bad metric name");
      continue;
    }
    family(s.name, n);
    std::string key = s.name + "{";
    if (i < line.size() && line[i] == '{') {
      ++i;
      while (i < line.size() && line[i] != '}') {
        const size_t ln = ParseName(line, i, false);
        const std::string label = line.substr(i, ln - i);
        if (label.empty() || label.rfind("__", 0) == 0 || ln + 1 >= line.size() || line[ln] != '=' || line[ln + 1] != '"') {
          errors.push_back(where + "bad label");
          break;
        }
        i = ln + 2;
        std::string value;
        bool closed = false;
        while (i < line.size()) {
          const char c = line[i++];
          if (c == '"') {
            closed = true;
            break;
          }
          if (c == '\\') {
            const char e = i < line.size() ? line[i++] : '\0';
            if (e == '\\') value += '\\';
            else if (e == '"') value += '"';
            else if (e == 'n') value += '\n';
            else errors.push_back(where + "bad escape in label value");
          } else {
            value += c;
          }
        }
        if (!closed) errors.push_back(where + "label value not closed");
        if (s.labels.count(label)) errors.push_back(where + "label twice");
        s.labels[label] = value;
        if (i < line.size() && line[i] == ',') ++i;
      }
      if (i >= line.size() || line[i] != '}') {
        errors.push_back(where + "labels not closed");
        continue;
      }
      ++i;
    }
    for (const auto& [k, v] : s.labels) key += k + "=" + v + ",";
    if (!series.insert(key).second) errors.push_back(where + "repeated series");
    if (i >= line.size() || line[i] != ' ') {
      errors.push_back(where + "no blank before the value");
      continue;
    }
    std::string value = line.substr(i + 1), stamp;
    if (const size_t blank = value.find(' '); blank != std::string::npos) {
      stamp = value.substr(blank + 1);
      value = value.substr(0, blank);
      if (stamp.empty() || stamp.find_first_not_of("-0123456789") != std::string::npos)
        errors.push_back(where + "bad time stamp");
    }
    if (!ParseValue(value, s.value)) errors.push_back(where + "bad value");
    samples.push_back(s);
  }
  return samples;
}

// The parser itself: it must refuse what the grammar refuses.
TEST(MetricsFormat, StrictParserRefusesBrokenText) {
  const char* broken[] = {
      "a 1",                                   // no final line feed
      "a{x=\"1\"} 1\nb 2\na{x=\"2\"} 3\n",     // family split
      "a{x=\"\\t\"} 1\n",                      // unknown escape
      "a{x=\"1\",x=\"2\"} 1\n",               // label twice
      "a 1\n# TYPE a gauge\n",                 // TYPE after samples
      "# TYPE a meter\na 1\n",                 // unknown type
      "a{x=\"1\"} 1\na{x=\"1\"} 2\n",          // repeated series
      "a{__x=\"1\"} 1\n",                      // reserved label name
      "a one\n", "1a 1\n", "a{x=1} 1\n", "a{x=\"1\" 1\n",
  };
  for (const char* text : broken) {
    std::vector<std::string> errors;
    ParseExposition(text, errors);
    EXPECT_FALSE(errors.empty()) << text;
  }
  std::vector<std::string> errors;
  const auto ok = ParseExposition("# HELP a x\\\\y\n# TYPE a gauge\na{b=\"q\\\"\\\\\\n\",} -Inf 123\na 2e3\n", errors);
  EXPECT_TRUE(errors.empty()) << errors.front();
  ASSERT_EQ(ok.size(), 2u);
  EXPECT_EQ(ok[0].labels.at("b"), "q\"\\\n");
  EXPECT_EQ(ok[1].value, 2000);
}

// Numbers read back exactly and as briefly as they can; label values stay valid UTF-8 whatever a
// settings file held, because one broken byte makes a scraper drop the whole text.
TEST(MetricsFormat, ShortestExactNumbersAndCleanLabelValues) {
  const std::pair<double, const char*> numbers[] = {
      {2e-06, "2e-06"}, {1.7e-4, "0.00017"}, {0.1, "0.1"}, {47.5, "47.5"}, {-10.25, "-10.25"},
      {3.6e9, "3.6e+09"}, {79746580480, "79746580480"}, {1e21, "1e+21"}, {0, "0"}, {NAN, "NaN"}, {-INFINITY, "-Inf"}};
  for (const auto& [v, text] : numbers) EXPECT_EQ(MetricNumber(v), text);
  for (const int micros : {1, 2, 3, 7, 73, 170, 5314, 999999}) {
    const std::string text = MetricNumber(micros / 1e6);
    EXPECT_EQ(std::stod(text), micros / 1e6) << text;
    EXPECT_LE(text.size(), 8u) << text;
  }
  const std::pair<std::string, std::string> labels[] = {
      {"CPU \"hot\" \\ core\n", "CPU \\\"hot\\\" \\\\ core\\n"},
      {"Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\xA5", "Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC \xF0\x9F\x94\xA5"},
      {"L\xFC\xFC" "fter", "L\xEF\xBF\xBD\xEF\xBF\xBD" "fter"},            // Windows-1252
      {"\xC0\xAF \xED\xA0\x80 \xF4\x90\x80\x80", "\xEF\xBF\xBD\xEF\xBF\xBD \xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD "
                                                "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},  // overlong, surrogate, too high
      {"cut \xE2\x82", "cut \xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& [raw, escaped] : labels) EXPECT_EQ(MetricLabelValue(raw), escaped) << raw;
}

// Both paths answer from the snapshot of the last pass and win over www files of their names.
TEST(HttpMetrics, MetricsAndReadingsFromThePublishedPass) {
  kvtest::TempDir dir;
  kvtest::PassState state;
  kvtest::RecordingUi ui;
  tPictureQueue pictures;
  state.Process.AppDir = dir.File("app/");
  std::filesystem::create_directories(state.Process.AppDir + "www/api/v1");
  kvtest::WriteFile(state.Process.AppDir + "www/metrics", "file");
  kvtest::WriteFile(state.Process.AppDir + "www/api/v1/readings", "file");
  SetEventLogPath(dir.File("KVEvents.txt"));
  ResetReadings(state.Current);
  SetDefaultChannelSettings(state.Settings);
  state.Settings.TCfg[0].Name = "CPU \"hot\" \\ core";
  state.Readings.T[0] = 4750;
  state.Readings.T[1] = -1025;
  state.Readings.V[2] = 1210;
  state.Readings.F[0] = 1500;
  state.Readings.F[1] = -12050;
  state.Readings.CPU[0] = 2550;
  state.Readings.NetIn[0] = -1;  // a counter past 2^31 KiB
  state.Readings.Freq = 3600000;
  state.Current.CPUPower = 12345;
  state.Readings.MemUsed = 1024;
  state.Readings.BatCap = 41000;
  state.Readings.BatFull = 50000;
  state.UpSecs = 90061;
  tGpu gpu;
  gpu.Name = "Fake \"GeForce\"";
  gpu.Temp = 6650;
  gpu.Fan = 1500;
  gpu.Power = 120500;
  gpu.MemUsed = 2097152;
  gpu.CoreClock = 1800;
  state.Current.Gpus = {gpu, tGpu{}};
  state.Current.Gpus[1].Name = "card0 amdgpu";
  state.Current.Gpus[1].Fan = 40;
  state.Current.Gpus[1].FanPercent = true;
  state.Settings.DiskSlots[0].Drive = "/ / /dev/vda";  // as the disk scan names a slot
  state.Settings.DiskSlots[1].Drive = "/home Home \"disk\"";
  for (tDiskSlot* d : {&state.Settings.DiskSlots[0], &state.Settings.DiskSlots[1]}) {
    d->TotalKB = 1000;
    d->FreeKB = 250;
  }
  state.Settings.HTTPServerActive = true;
  state.Settings.HTTPServerPort = kvtest::FreePort();
  state.Settings.LocalPath = dir.File("pics");
  std::filesystem::create_directories(dir.File("pics"));
  tPublishingOptions options;
  options.extraMetrics = [] { return std::string("# HELP kelvara_alerts Alerts.\n# TYPE kelvara_alerts gauge\nkelvara_alerts 2\n"); };
  Publishing publishing({state.Settings, state.Process, state.Current, state.Pass, pictures, ui, SystemTime()}, options);
  publishing.ApplyHttpServer();
  const int port = state.Settings.HTTPServerPort;

  // A pass after the start: the snapshot follows it.
  state.Readings.T[0] = 4800;
  publishing.PublishReadings();
  auto metrics = kvtest::Get(port, "/metrics");
  EXPECT_EQ(metrics.status, 200);
  EXPECT_EQ(metrics.headers["content-type"], "text/plain; version=0.0.4; charset=utf-8");
  std::vector<std::string> errors;
  const auto samples = ParseExposition(metrics.body, errors);
  for (const std::string& e : errors) ADD_FAILURE() << e;
  auto value = [&](const std::string& name, const std::map<std::string, std::string>& labels) {
    for (const Sample& s : samples) {
      if (s.name != name) continue;
      bool all = true;
      for (const auto& [k, v] : labels) all = all && s.labels.count(k) && s.labels.at(k) == v;
      if (all) return s.value;
    }
    ADD_FAILURE() << "no " << name;
    return std::nan("");
  };
  EXPECT_DOUBLE_EQ(value("kelvara_temperature_celsius", {{"channel", "1"}, {"name", "CPU \"hot\" \\ core"}}), 48.0);
  EXPECT_DOUBLE_EQ(value("kelvara_temperature_celsius", {{"channel", "2"}}), -10.25);
  EXPECT_DOUBLE_EQ(value("kelvara_voltage_volts", {{"channel", "3"}}), 12.1);
  EXPECT_DOUBLE_EQ(value("kelvara_fan_rpm", {{"channel", "1"}}), 1500);
  EXPECT_DOUBLE_EQ(value("kelvara_flow_litres_per_hour", {{"channel", "2"}}), 120.5);
  EXPECT_DOUBLE_EQ(value("kelvara_cpu_load_ratio", {{"channel", "1"}}), 0.255);
  EXPECT_DOUBLE_EQ(value("kelvara_cpu_load_percent", {{"channel", "1"}}), 25.5);  // one more release
  EXPECT_DOUBLE_EQ(value("kelvara_battery_charge_ratio", {}), 0.82);
  EXPECT_DOUBLE_EQ(value("kelvara_battery_energy_joules", {}), 147600);
  EXPECT_DOUBLE_EQ(value("kelvara_build_info", {{"version", "3.38-pre5"}}), 1);
  EXPECT_DOUBLE_EQ(value("kelvara_disk_free_bytes", {{"slot", "1"}, {"mountpoint", "/"}, {"name", "/dev/vda"}}), 256000);
  EXPECT_DOUBLE_EQ(value("kelvara_disk_size_bytes", {{"slot", "2"}, {"mountpoint", "/home"}, {"name", "Home \"disk\""}}),
                   1024000);
  // Exact quotients, printed shortest: no 12.100000000000001, no 1.9999999999999999e-06.
  EXPECT_NE(metrics.body.find("kelvara_voltage_volts{channel=\"3\",name=\"V3\"} 12.1\n"), std::string::npos);
  EXPECT_NE(metrics.body.find("kelvara_battery_charge_ratio 0.82\n"), std::string::npos);
  for (size_t from = 0, end; (end = metrics.body.find('\n', from)) != std::string::npos; from = end + 1) {
    const std::string line = metrics.body.substr(from, end - from);
    if (line.starts_with("#")) continue;
    const std::string number = line.substr(line.rfind(' ') + 1);
    const std::string mantissa = number.substr(0, number.find('e'));
    EXPECT_LE(std::count_if(mantissa.begin(), mantissa.end(), ::isdigit), 15) << line;
  }
  EXPECT_DOUBLE_EQ(value("kelvara_network_receive_bytes_total", {{"slot", "1"}}), 4294967295.0 * 1024);
  EXPECT_DOUBLE_EQ(value("kelvara_cpu_clock_hertz", {}), 3.6e9);
  EXPECT_DOUBLE_EQ(value("kelvara_cpu_package_power_watts", {}), 12.345);
  EXPECT_DOUBLE_EQ(value("kelvara_memory_used_bytes", {}), 1048576);
  EXPECT_DOUBLE_EQ(value("kelvara_uptime_seconds", {}), 90061);
  EXPECT_DOUBLE_EQ(value("kelvara_alerts", {}), 2);
  const std::map<std::string, std::string> gpu1 = {{"gpu", "1"}, {"name", "Fake \"GeForce\""}};
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_temperature_celsius", gpu1), 66.5);
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_power_watts", gpu1), 120.5);
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_memory_used_bytes", gpu1), 2147483648.0);
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_core_clock_hertz", gpu1), 1.8e9);
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_fan_rpm", gpu1), 1500);
  EXPECT_DOUBLE_EQ(value("kelvara_gpu_fan_ratio", {{"gpu", "2"}, {"name", "card0 amdgpu"}}), 0.4);
  EXPECT_EQ(metrics.body.find("kelvara_gpu_temperature_celsius{gpu=\"2\""), std::string::npos)
      << "a figure the driver lacks is left out";
  // Every pass step's health, one series per step.
  EXPECT_EQ(std::count_if(samples.begin(), samples.end(),
                          [](const Sample& s) { return s.name == "kelvara_step_ok" && s.labels.count("step"); }),
            static_cast<long>(state.Pass.StepHealth().size()));
  // Channels without a reading are left out, not printed as the marker.
  for (const Sample& s : samples) {
    EXPECT_NE(s.value, 327.67) << s.name;
    EXPECT_NE(s.value, 32767) << s.name;
  }
  EXPECT_EQ(metrics.body.find("channel=\"4\""), std::string::npos);

  // Prometheus' own checker, where it is installed (Debian's package prometheus).
  if (std::filesystem::exists("/usr/bin/promtool")) {
    kvtest::WriteFile(dir.File("metrics.txt"), metrics.body);
    const std::string command = "/usr/bin/promtool check metrics < " + dir.File("metrics.txt") + " > " +
                                dir.File("promtool.txt") + " 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << kvtest::ReadFile(dir.File("promtool.txt"));
  }

  auto json = kvtest::Get(port, "/api/v1/readings");
  EXPECT_EQ(json.status, 200);
  EXPECT_EQ(json.headers["content-type"], "application/json");
  QJsonParseError error{};
  const QJsonDocument doc = QJsonDocument::fromJson(QByteArray::fromStdString(json.body), &error);
  ASSERT_EQ(error.error, QJsonParseError::NoError) << json.body;
  EXPECT_EQ(doc.object()["T"].toArray()[0].toInt(), 4800);
  EXPECT_EQ(doc.object()["Names"].toObject()["T"].toArray()[0].toString(), "CPU \"hot\" \\ core");
  EXPECT_EQ(doc.object()["UpSecs"].toInt(), 90061);
  EXPECT_EQ(doc.object()["GPUs"].toArray()[0].toObject()["Temp"].toInt(), 6650);
  EXPECT_EQ(doc.object()["GPUs"].toArray()[1].toObject()["Temp"].toInt(), NoValue32);
  EXPECT_EQ(kvtest::Get(port, "/metrics?x=1").status, 200);
}

}  // namespace
