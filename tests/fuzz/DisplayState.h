#pragma once
// The readings and texts the placeholder and light harnesses fill templates from: a monitor in
// the middle of a run, with values in every group, English unit texts and a fixed time.
#include <cstdlib>
#include <string>

#include "FuzzSupport.h"
#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/Boinc.h"
#include "displays/Formatting.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kvfuzz {

constexpr kv::TDateTime FixedTime = 46365.5;  // 9 December 2026, noon UTC

inline void LoadUnitTexts() {
  WriteFile(kv::AppDir + "Units.lng",
            "[Messages]\nTime=%s\nUptime=Uptime\nVolt=V\nRPM=rpm\nLH=l/h\nMinutes=minutes\nHour=hour\nHours=hours\n");
  kv::ResetTexts();
  kv::LoadLanguage("Units.lng");
  kv::SetDecimalSeparator(".");
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

inline void SetReadings() {
  ResetSensorState();
  kv::Settings.DisplayDateTime = false;
  kv::Settings.ReadUpTime = true;
  kv::Readings.Time = FixedTime;
  for (int i = 0; i < kv::TChannels; ++i) {
    kv::Readings.T[i] = static_cast<int16_t>(i < 6 ? 3000 + 250 * i : kv::NoValue16);
    kv::Readings.V[i] = static_cast<int16_t>(i < 5 ? 120 * (i + 1) : kv::NoValue16);
    kv::Readings.F[i] = static_cast<int16_t>(i < 3 ? 900 * (i + 1) : i == 3 ? -1250 : kv::NoValue16);
  }
  for (int i = 0; i < kv::CPUChannels; ++i) kv::Readings.CPU[i] = static_cast<int16_t>(1234 * i);
  kv::Readings.Freq = 3411000;
  kv::Readings.MemUsed = 4123456;
  kv::Readings.MemFree = 12000000;
  kv::Readings.PageUsed = 500000;
  kv::Readings.PageFree = 2000000;
  kv::Readings.Cache = 3000000;
  kv::MemTotal = 16123456;
  kv::PageTotal = 18000000;
  kv::CPUCount = 8;
  kv::SetUpSecs(3 * 86400 + 4 * 3600 + 5 * 60 + 6);
  kv::BOINCTasks.clear();
  kv::BOINCProjects.clear();
}

}  // namespace kvfuzz
