#include "publishing/http/Metrics.h"

#include <cmath>
#include <cstdio>
#include <vector>

#include "core/DateTime.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"

namespace kv {

namespace {

std::vector<tMetricLines>& MetricSources() {
  static std::vector<tMetricLines> sources;
  return sources;
}

std::string Number(double v) {
  if (std::isnan(v)) return "NaN";
  if (std::isinf(v)) return v > 0 ? "+Inf" : "-Inf";
  char buf[40];
  std::snprintf(buf, sizeof buf, "%.17g", v);
  return buf;
}

// One metric family: its HELP and TYPE lines, then its samples. A family without samples is
// left out whole.
class Family {
 public:
  Family(std::string name, const char* type, const char* help) : name_(std::move(name)) {
    head_ = "# HELP " + name_ + " " + help + "\n# TYPE " + name_ + " " + type + "\n";
  }
  void Add(double value, const std::vector<std::pair<const char*, std::string>>& labels = {}) {
    body_ += name_;
    if (!labels.empty()) {
      body_ += "{";
      for (size_t i = 0; i < labels.size(); ++i)
        body_ += (i ? "," : "") + std::string(labels[i].first) + "=\"" + MetricLabelValue(labels[i].second) + "\"";
      body_ += "}";
    }
    body_ += " " + Number(value) + "\n";
  }
  std::string Text() const { return body_.empty() ? std::string() : head_ + body_; }

 private:
  std::string name_, head_, body_;
};

template <size_t N, typename Cfg>
void Channels(std::string& out, const char* name, const char* help, const int16_t (&values)[N],
              const Cfg& cfg, double scale) {
  Family f(name, "gauge", help);
  for (size_t i = 0; i < N; ++i)
    if (values[i] != NoValue16) f.Add(values[i] * scale, {{"channel", std::to_string(i + 1)}, {"name", cfg[i].Name}});
  out += f.Text();
}

}  // namespace

std::string MetricLabelValue(const std::string& value) {
  std::string out;
  for (const char c : value) {
    if (c == '\\') out += "\\\\";
    else if (c == '"') out += "\\\"";
    else if (c == '\n') out += "\\n";
    else out += c;
  }
  return out;
}

void AddMetricLines(tMetricLines lines) { MetricSources().push_back(std::move(lines)); }
void ClearMetricLines() { MetricSources().clear(); }

std::string MetricsText() {
  const tReadings& r = Readings;
  std::string out;
  Channels(out, "kelvara_temperature_celsius", "Temperature channel.", r.T, TCfg, 0.01);
  Channels(out, "kelvara_voltage_volts", "Voltage channel.", r.V, VCfg, 0.01);
  {
    // A fan channel holds revolutions per minute, or a coolant flow as its negative hundredths.
    Family fans("kelvara_fan_rpm", "gauge", "Fan channel speed.");
    Family flows("kelvara_flow_litres_per_hour", "gauge", "Coolant flow of a fan channel.");
    for (int i = 0; i < FChannels; ++i) {
      const int16_t v = r.F[i];
      if (v == NoValue16) continue;
      const std::vector<std::pair<const char*, std::string>> labels = {{"channel", std::to_string(i + 1)},
                                                                      {"name", FCfg[i].Name}};
      if (v < 0) flows.Add(-v / 100.0, labels);
      else fans.Add(v, labels);
    }
    out += fans.Text() + flows.Text();
  }
  Channels(out, "kelvara_cpu_load_percent", "Processor load.", r.CPU, CPUCfg, 0.01);

  auto single = [&out](const char* name, const char* type, const char* help, long long v, double scale = 1) {
    if (v == NoValue32) return;
    Family f(name, type, help);
    f.Add(static_cast<double>(v) * scale);
    out += f.Text();
  };
  single("kelvara_cpu_clock_hertz", "gauge", "Processor clock.", r.Freq, 1000);
  if (FreqMax > 0) single("kelvara_cpu_clock_max_hertz", "gauge", "Highest processor clock known.", FreqMax, 1000);
  single("kelvara_memory_used_bytes", "gauge", "Physical memory in use.", r.MemUsed, 1024);
  single("kelvara_memory_free_bytes", "gauge", "Physical memory free.", r.MemFree, 1024);
  if (MemTotal > 0) single("kelvara_memory_total_bytes", "gauge", "Physical memory.", MemTotal, 1024);
  single("kelvara_commit_used_bytes", "gauge", "Commit charge in use.", r.PageUsed, 1024);
  single("kelvara_commit_free_bytes", "gauge", "Commit charge free.", r.PageFree, 1024);
  single("kelvara_file_cache_bytes", "gauge", "File cache.", r.Cache, 1024);
  {
    // The counters run in KiB and wrap at 32 bits; a scraper reads a wrap as a counter reset.
    Family in("kelvara_network_receive_bytes_total", "counter", "Bytes received on a network slot.");
    Family outb("kelvara_network_transmit_bytes_total", "counter", "Bytes sent on a network slot.");
    for (int i = 0; i < NetChannels; ++i) {
      const std::vector<std::pair<const char*, std::string>> labels = {{"slot", std::to_string(i + 1)},
                                                                      {"name", NetSlots[i].Name}};
      if (r.NetIn[i] != NoValue32) in.Add(static_cast<double>(static_cast<uint32_t>(r.NetIn[i])) * 1024, labels);
      if (r.NetOut[i] != NoValue32) outb.Add(static_cast<double>(static_cast<uint32_t>(r.NetOut[i])) * 1024, labels);
    }
    out += in.Text() + outb.Text();
  }
  {
    Family free("kelvara_disk_free_bytes", "gauge", "Space free for the user on a disk slot.");
    Family total("kelvara_disk_size_bytes", "gauge", "Size of a disk slot's file system.");
    for (size_t i = 0; i < DiskSlots.size(); ++i) {
      const tDiskSlot& d = DiskSlots[i];
      if (d.Drive.empty() || d.TotalKB <= 0) continue;
      const std::vector<std::pair<const char*, std::string>> labels = {{"slot", std::to_string(i + 1)},
                                                                      {"drive", d.Drive}};
      free.Add(static_cast<double>(d.FreeKB) * 1024, labels);
      total.Add(static_cast<double>(d.TotalKB) * 1024, labels);
    }
    out += free.Text() + total.Text();
  }
  if (r.BatCap != NoValue32) {
    if (BatRelative) {
      single("kelvara_battery_charge_percent", "gauge", "Battery charge.", r.BatCap);
    } else {
      // mWh in the table; 1 mWh = 3.6 J.
      single("kelvara_battery_energy_joules", "gauge", "Battery energy.", r.BatCap, 3.6);
      if (r.BatFull > 0) single("kelvara_battery_full_joules", "gauge", "Battery energy when full.", r.BatFull, 3.6);
    }
    single("kelvara_battery_on_mains", "gauge", "1 on mains power.", r.BatOnline ? 1 : 0);
  }
  if (UpSecs > 0) single("kelvara_uptime_seconds", "gauge", "Time since the system started.", UpSecs);
  single("kelvara_passes_total", "counter", "Acquisition passes since start.", PassCount);
  if (r.Time > 0)
    single("kelvara_last_pass_timestamp_seconds", "gauge", "When the last pass ended, Unix time.",
           UnixMsFromDateTime(r.Time) / 1000);
  {
    Family ok("kelvara_step_ok", "gauge", "1 when the pass step's last run succeeded.");
    Family ran("kelvara_step_ran", "gauge", "1 when the step ran in the last pass.");
    Family took("kelvara_step_duration_seconds", "gauge", "Duration of the step's last run.");
    for (const tStepHealth& h : StepHealth()) {
      ok.Add(h.ok ? 1 : 0, {{"step", h.name}});
      ran.Add(h.ran ? 1 : 0, {{"step", h.name}});
      took.Add(static_cast<double>(h.micros) / 1e6, {{"step", h.name}});
    }
    out += ok.Text() + ran.Text() + took.Text();
  }
  // Alert gauges and anything else that other parts publish.
  for (const tMetricLines& lines : MetricSources()) out += lines();
  return out;
}

}  // namespace kv
