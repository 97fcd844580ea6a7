#pragma once
// A chart at full load, shared by the chart benchmark and the drawing tests: every sensor
// channel shown, the system bands filled, and series as long as the store ever lets them grow.
#include <cmath>
#include <string>

#include "core/DateTime.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"

namespace kvtest {

constexpr kv::TDateTime FullEnd = 46000.5;  // a fixed UTC end, so every run draws the same picture

// Ten temperatures, voltages and fans, memory, four CPU loads, two network slots, a battery
// and four disks, all visible.
inline void SetUpChannels(kv::tSettings& settings, kv::tReadingsState& current) {
  kv::SetDefaultChannelSettings(settings);
  settings.StatsWidth = 550;
  settings.visBat = true;
  settings.visMem = 1;
  for (int i = 0; i < kv::TempChannels; ++i) settings.TCfg[i].Vis = 1;
  for (int i = 0; i < kv::VoltChannels; ++i) settings.VCfg[i].Vis = 1;
  for (int i = 0; i < kv::FanChannels; ++i) settings.FCfg[i].Vis = 1;
  for (int i = 0; i < kv::CpuChannels; ++i) settings.CPUCfg[i].Vis = 1;
  for (int i = 0; i < kv::NetSlotCount; ++i) settings.NetSlots[i].Vis = i < 2;
  for (int i = 0; i < kv::DiskSlotCount; ++i) {
    settings.DiskSlots[i].Vis = i < 4;
    kv::SetDiskDrive(settings.DiskSlots[i], i < 4 ? "/mnt/d" + std::to_string(i) : "");
    settings.DiskSlots[i].TotalKB = i < 4 ? 500000000 : 0;
    settings.DiskSlots[i].FreeKB = i < 4 ? 100000000 + 50000000 * i : 0;
  }
  current.MemTotal = 16 * 1024 * 1024;
  current.BatDesign = 50000;
  current.CPUCount = 4;
}

// Sample k of n, step days apart and ending at End: smooth curves with some noise, running
// network counters, a battery that discharges and charges.
inline void FillSample(int k, int n, double step, kv::tReadings& r, kv::tReadingsExtra& e) {
  const double t = FullEnd - (n - 1 - k) * step;
  const double w = k / 37.0;
  r = {};
  r.Time = t;
  for (int i = 0; i < kv::TChannels; ++i) r.T[i] = static_cast<int16_t>(3500 + 300 * i + 800 * std::sin(w + i));
  for (int i = 0; i < kv::VChannels; ++i)
    r.V[i] = static_cast<int16_t>((i % 3 == 0 ? 1200 : i % 3 == 1 ? 500 : 330) + 5 * std::sin(3 * w + i));
  for (int i = 0; i < kv::FChannels; ++i)
    r.F[i] = static_cast<int16_t>(i == 9 ? -(12000 + 500 * std::sin(w)) : 900 + 100 * i + 200 * std::sin(2 * w + i));
  for (int i = 0; i < kv::CPUChannels; ++i)
    r.CPU[i] = static_cast<int16_t>(5000 + 4500 * std::sin(5 * w + i));
  for (int i = 0; i < kv::NetChannels; ++i) {
    r.NetIn[i] = i < 2 ? 1000 + 40 * k + (k % 7) * 10 : kv::NoValue32;
    r.NetOut[i] = i < 2 ? 500 + 15 * k : kv::NoValue32;
  }
  r.MemUsed = static_cast<int32_t>(8000000 + 2000000 * std::sin(w));
  r.MemFree = 16 * 1024 * 1024 - r.MemUsed;
  r.PageUsed = r.MemUsed + 1000000;
  r.PageFree = 4000000;
  r.Cache = 3000000;
  r.Freq = static_cast<int32_t>(2400000 + 800000 * std::sin(w));
  r.BatFull = 45000;
  r.BatCap = static_cast<int32_t>(22500 + 22000 * std::sin(w / 3));
  r.BatOnline = (k / 50) % 2;
  e = {};
  e.Time2 = t;
  e.UserSecs = k * 10;
}

inline kv::tStatStore MakeSeries(kv::tReadingsState& current, int n, double step) {
  kv::tStatStore s;
  s.Samples.resize(static_cast<size_t>(n));
  s.SamplesExtra.resize(static_cast<size_t>(n));
  for (int k = 0; k < n; ++k) FillSample(k, n, step, s.Samples[static_cast<size_t>(k)], s.SamplesExtra[static_cast<size_t>(k)]);
  s.LastIndex = n - 1;
  s.CropLimit = n + 100;
  current.Readings = s.Samples.back();
  current.ReadingsExtra = s.SamplesExtra.back();
  return s;
}

// The three series of a year's running: the 8-hour one full (20 s steps), the 7-day one
// (5 minutes) and the year (4 hours), all ending at FullEnd; the current readings are the 8-hour
// series' newest.
inline void FillFullHistory(kv::tStatistics& series, kv::tReadingsState& current) {
  series.Stats1a = MakeSeries(current, 2196, 4 / 24.0);
  series.Stats7d = MakeSeries(current, 2016, 5 / 1440.0);
  series.Stats8h = MakeSeries(current, 1540, 20 / kv::SecondsPerDay);
}

}  // namespace kvtest
