#include "publishing/http/Metrics.h"

#include <vector>

#include "core/DateTime.h"
#include "core/Process.h"
#include "core/Text.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

namespace {

template <typename Cfg>
tMetricLabels ChannelLabels(size_t i, const Cfg& cfg) {
  return {{"channel", std::to_string(i + 1)}, {"name", cfg[i].Name}};
}

// The table's hundredths (of a degree, a volt, a percent) and other fractions as the exact
// quotient: 4750 / 100 prints "47.5", where 4750 * 0.01 would not.
template <size_t N, typename Cfg>
void Channels(std::string& out, const char* name, const char* help, const int16_t (&values)[N],
              const Cfg& cfg, double divisor) {
  tMetricFamily f(name, "gauge", help);
  for (size_t i = 0; i < N; ++i)
    if (values[i] != NoValue16) f.Add(values[i] / divisor, ChannelLabels(i, cfg));
  out += f.Text();
}

// A disk slot's Drive is its mount point, a blank and a display text; the automatic one
// repeats the mount point before the device ("/ / /dev/vda"), which a label need not.
tMetricLabels DiskLabels(size_t i, const tDiskSlot& d) {
  const size_t blank = d.Drive.find(' ');
  const std::string mountPoint = d.Drive.substr(0, blank);
  std::string name = blank == std::string::npos ? std::string() : Trim(d.Drive.substr(blank + 1));
  if (name.starts_with(mountPoint + " ")) name = Trim(name.substr(mountPoint.size()));
  return {{"slot", std::to_string(i + 1)}, {"mountpoint", mountPoint}, {"name", name.empty() ? mountPoint : name}};
}

std::string Version() {
  const std::string product = ProductVersion;  // "Kelvara <version>"
  return product.substr(product.find(' ') + 1);
}

}  // namespace

std::string MetricsText(const tReadingsState& current, const tSettings& settings, std::span<const tStepHealth> health,
                        const std::string& moreFamilies) {
  const tReadings& r = current.Readings;
  std::string out;
  {
    tMetricFamily build("kelvara_build_info", "gauge", "The running monitor's version; always 1.");
    build.Add(1, {{"version", Version()}});
    out += build.Text();
  }
  Channels(out, "kelvara_temperature_celsius", "Temperature channel.", r.T, settings.TCfg, 100);
  Channels(out, "kelvara_voltage_volts", "Voltage channel.", r.V, settings.VCfg, 100);
  {
    // A fan channel holds revolutions per minute, or a coolant flow as its negative hundredths.
    tMetricFamily fans("kelvara_fan_rpm", "gauge", "Fan channel speed in revolutions per minute.");
    tMetricFamily flows("kelvara_flow_litres_per_hour", "gauge", "Coolant flow of a fan channel.");
    for (size_t i = 0; i < static_cast<size_t>(FChannels); ++i) {
      const int16_t v = r.F[i];
      if (v == NoValue16) continue;
      if (v < 0) flows.Add(-v / 100.0, ChannelLabels(i, settings.FCfg));
      else fans.Add(v, ChannelLabels(i, settings.FCfg));
    }
    out += fans.Text() + flows.Text();
  }
  Channels(out, "kelvara_cpu_load_ratio", "Processor load, 0 to 1.", r.CPU, settings.CPUCfg, 10000);
  Channels(out, "kelvara_cpu_load_percent",
           "Processor load in percent. Deprecated: use kelvara_cpu_load_ratio; this series goes in the next release.",
           r.CPU, settings.CPUCfg, 100);

  auto single = [&out](const char* name, const char* type, const char* help, double v) {
    tMetricFamily f(name, type, help);
    f.Add(v);
    out += f.Text();
  };
  // A 32-bit field scaled by factor / divisor, left out while it holds the no-value marker.
  auto field = [&single](const char* name, const char* help, long long v, long long factor = 1, double divisor = 1) {
    if (v != NoValue32) single(name, "gauge", help, static_cast<double>(v * factor) / divisor);
  };
  field("kelvara_cpu_clock_hertz", "Processor clock.", r.Freq, 1000);
  field("kelvara_cpu_package_power_watts", "Power of the processor packages (RAPL).", current.CPUPower, 1, 1000);
  if (current.FreqMax > 0) field("kelvara_cpu_clock_max_hertz", "Highest processor clock known.", current.FreqMax, 1000);
  field("kelvara_memory_used_bytes", "Physical memory in use.", r.MemUsed, 1024);
  field("kelvara_memory_free_bytes", "Physical memory free.", r.MemFree, 1024);
  if (current.MemTotal > 0) field("kelvara_memory_total_bytes", "Physical memory.", current.MemTotal, 1024);
  field("kelvara_commit_used_bytes", "Commit charge in use.", r.PageUsed, 1024);
  field("kelvara_commit_free_bytes", "Commit charge free.", r.PageFree, 1024);
  field("kelvara_file_cache_bytes", "File cache.", r.Cache, 1024);
  {
    // The counters run in KiB and wrap at 32 bits; a scraper reads a wrap as a counter reset.
    tMetricFamily in("kelvara_network_receive_bytes_total", "counter", "Bytes received on a network slot.");
    tMetricFamily sent("kelvara_network_transmit_bytes_total", "counter", "Bytes sent on a network slot.");
    for (size_t i = 0; i < static_cast<size_t>(NetChannels); ++i) {
      const tMetricLabels labels = {{"slot", std::to_string(i + 1)}, {"name", settings.NetSlots[i].Name}};
      if (r.NetIn[i] != NoValue32) in.Add(static_cast<double>(static_cast<uint32_t>(r.NetIn[i])) * 1024, labels);
      if (r.NetOut[i] != NoValue32) sent.Add(static_cast<double>(static_cast<uint32_t>(r.NetOut[i])) * 1024, labels);
    }
    out += in.Text() + sent.Text();
  }
  {
    tMetricFamily free("kelvara_disk_free_bytes", "gauge", "Space free for the user on a disk slot.");
    tMetricFamily total("kelvara_disk_size_bytes", "gauge", "Size of a disk slot's file system.");
    for (size_t i = 0; i < settings.DiskSlots.size(); ++i) {
      const tDiskSlot& d = settings.DiskSlots[i];
      if (d.Drive.empty() || d.TotalKB <= 0) continue;
      const tMetricLabels labels = DiskLabels(i, d);
      free.Add(static_cast<double>(d.FreeKB) * 1024, labels);
      total.Add(static_cast<double>(d.TotalKB) * 1024, labels);
    }
    out += free.Text() + total.Text();
  }
  if (r.BatCap != NoValue32) {
    if (current.BatRelative) {
      field("kelvara_battery_charge_ratio", "Battery charge, 0 to 1.", r.BatCap, 1, 100);
      field("kelvara_battery_charge_percent",
            "Battery charge in percent. Deprecated: use kelvara_battery_charge_ratio; this series goes in the next release.",
            r.BatCap);
    } else {
      // mWh in the table; 1 mWh = 3.6 J.
      field("kelvara_battery_energy_joules", "Battery energy.", r.BatCap, 36, 10);
      if (r.BatFull > 0) {
        field("kelvara_battery_full_joules", "Battery energy when full.", r.BatFull, 36, 10);
        field("kelvara_battery_charge_ratio", "Battery charge, 0 to 1.", r.BatCap, 1, r.BatFull);
      }
    }
    single("kelvara_battery_on_mains", "gauge", "1 on mains power.", r.BatOnline ? 1 : 0);
  }
  {
    // Per GPU slot, labelled with the slot and the GPU's name; a figure the driver lacks is left out.
    struct tGpuGauge {
      const char* name;
      const char* help;
      int32_t tGpu::*field;
      double factor, divisor;  // exact: 4750 / 100 prints "47.5", 4750 * 0.01 would not
    };
    const tGpuGauge gauges[] = {
        {"kelvara_gpu_temperature_celsius", "GPU temperature.", &tGpu::Temp, 1, 100},
        {"kelvara_gpu_load_ratio", "GPU core utilisation, 0 to 1.", &tGpu::Load, 1, 10000},
        {"kelvara_gpu_memory_load_ratio", "GPU memory controller utilisation, 0 to 1.", &tGpu::MemLoad, 1, 10000},
        {"kelvara_gpu_power_watts", "GPU power draw.", &tGpu::Power, 1, 1000},
        {"kelvara_gpu_power_limit_watts", "GPU power limit.", &tGpu::PowerLimit, 1, 1000},
        {"kelvara_gpu_memory_used_bytes", "GPU video memory in use.", &tGpu::MemUsed, 1024, 1},
        {"kelvara_gpu_memory_total_bytes", "GPU video memory.", &tGpu::MemTotal, 1024, 1},
        {"kelvara_gpu_core_clock_hertz", "GPU core clock.", &tGpu::CoreClock, 1e6, 1},
        {"kelvara_gpu_memory_clock_hertz", "GPU memory clock.", &tGpu::MemClock, 1e6, 1},
    };
    tMetricFamily rpm("kelvara_gpu_fan_rpm", "gauge", "GPU fan speed in revolutions per minute.");
    tMetricFamily fanRatio("kelvara_gpu_fan_ratio", "gauge", "GPU fan speed as a share of full speed, 0 to 1.");
    auto labels = [&current](size_t i) -> tMetricLabels {
      return {{"gpu", std::to_string(i + 1)}, {"name", current.Gpus[i].Name}};
    };
    for (const tGpuGauge& gauge : gauges) {
      tMetricFamily f(gauge.name, "gauge", gauge.help);
      for (size_t i = 0; i < current.Gpus.size(); ++i)
        if (const int32_t v = current.Gpus[i].*gauge.field; v != NoValue32) f.Add(v * gauge.factor / gauge.divisor, labels(i));
      out += f.Text();
    }
    for (size_t i = 0; i < current.Gpus.size(); ++i) {
      const tGpu& g = current.Gpus[i];
      if (g.Fan == NoValue32) continue;
      if (g.FanPercent) fanRatio.Add(g.Fan / 100.0, labels(i));
      else rpm.Add(g.Fan, labels(i));
    }
    out += rpm.Text() + fanRatio.Text();
  }
  if (current.UpSecs > 0) field("kelvara_uptime_seconds", "Time since the system started.", current.UpSecs);
  single("kelvara_passes_total", "counter", "Acquisition passes since start.", static_cast<double>(current.PassCount));
  if (r.Time > 0)
    single("kelvara_last_pass_timestamp_seconds", "gauge", "When the last pass ended, Unix time.",
           static_cast<double>(UnixMsFromDateTime(r.Time)) / 1000);
  {
    tMetricFamily ok("kelvara_step_ok", "gauge", "1 when the pass step's last run succeeded.");
    tMetricFamily ran("kelvara_step_ran", "gauge", "1 when the step ran in the last pass.");
    tMetricFamily took("kelvara_step_duration_seconds", "gauge", "Duration of the step's last run.");
    for (const tStepHealth& h : health) {
      const tMetricLabels step = {{"step", h.name}};
      ok.Add(h.ok ? 1 : 0, step);
      ran.Add(h.ran ? 1 : 0, step);
      took.Add(static_cast<double>(h.micros) / 1e6, step);
    }
    out += ok.Text() + ran.Text() + took.Text();
  }
  // Alert gauges and anything else that other parts publish.
  return out + moreFamilies;
}

}  // namespace kv
