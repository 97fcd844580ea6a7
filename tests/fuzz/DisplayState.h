#pragma once
// The readings and texts the placeholder and light harnesses fill templates from: a monitor in
// the middle of a run, with values in every group, English unit texts and a fixed time.
#include <cstdlib>
#include <string>

#include <QLocale>
#include <memory>

#include "FuzzSupport.h"
#include "core/DateTime.h"
#include "displays/DisplayData.h"
#include "readvalue/Readings.h"
#include "settings/Language.h"
#include "support/SensorOrders.h"
#include "support/SeriesState.h"

namespace kvfuzz {

constexpr kv::TDateTime FixedTime = 46365.5;  // 9 December 2026, noon UTC

inline void LoadUnitTexts() {
  WriteFile(Facts().AppDir + "Units.lng",
            "[Messages]\nTime=%s\nUptime=Uptime\nVolt=V\nRPM=rpm\nLH=l/h\nMinutes=minutes\nHour=hour\nHours=hours\n");
  kv::ResetTexts();
  kv::LoadLanguage(Facts(), "Units.lng");
  QLocale::setDefault(QLocale::c());
}

// Environment placeholders see only these variables, so a run does not depend on the shell
// that started it; one value names itself, the case the round limit exists for. (A value that
// names itself twice doubles the text to 64 KiB, and every later placeholder then scans that:
// milliseconds per input, too slow to fuzz.)
inline void FixedEnvironment() {
  ::clearenv();
  ::setenv("KVFUZZ", "fuzz value", 1);
  ::setenv("KVFUZZ_SELF", "(%envKVFUZZ_SELF%)", 1);
  ::setenv("KVFUZZ_NEXT", "<%envKVFUZZ%>", 1);
}

// A state of its own for each input, with the folders of Facts().
inline kvtest::SeriesState& SetReadings() {
  static std::unique_ptr<kvtest::SeriesState> state;
  state.reset();
  state = std::make_unique<kvtest::SeriesState>();
  kvtest::SeriesState& s = *state;
  s.Process = Facts();
  s.Pass.ResetReadings();
  kvtest::UseSourceOrderMaps(s.Settings);
  s.Settings.DisplayDateTime = false;
  s.Settings.ReadUpTime = true;
  kv::tReadings& r = s.Readings;
  r.Time = FixedTime;
  for (int i = 0; i < kv::TChannels; ++i) {
    r.T[i] = static_cast<int16_t>(i < 6 ? 3000 + 250 * i : kv::NoValue16);
    r.V[i] = static_cast<int16_t>(i < 5 ? 120 * (i + 1) : kv::NoValue16);
    r.F[i] = static_cast<int16_t>(i < 3 ? 900 * (i + 1) : i == 3 ? -1250 : kv::NoValue16);
  }
  for (int i = 0; i < kv::CPUChannels; ++i) r.CPU[i] = static_cast<int16_t>(1234 * i);
  r.Freq = 3411000;
  r.MemUsed = 4123456;
  r.MemFree = 12000000;
  r.PageUsed = 500000;
  r.PageFree = 2000000;
  r.Cache = 3000000;
  s.MemTotal = 16123456;
  s.PageTotal = 18000000;
  s.CPUCount = 8;
  kv::SetUpSecs(s.Current, 3 * 86400 + 4 * 3600 + 5 * 60 + 6);
  return s;
}

// What the pictures and texts of that state show.
inline kv::tDisplayData Display(kvtest::SeriesState& s) { return {s.Settings, s.Current, s.Series, s.Process}; }

}  // namespace kvfuzz
