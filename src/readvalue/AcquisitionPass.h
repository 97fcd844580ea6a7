#pragma once
// One acquisition pass: every enabled source in a fixed order, each in its own guard, so a
// failing source costs only its own step. A later step overwrites an earlier one's channels.
#include <cstdint>
#include <functional>
#include <optional>

#include "core/DateTime.h"

namespace kv {

// The steps of a pass, in pass order.
enum class tPassStep {
  ClearFreq,
  Hwmon,  // first source, so every other source and the external area override it
  Everest,
  CPUID,
  CPUCooL,
  VCool,
  HMonitor,
  SpeedFan,
  AtiTool,
  RivaTuner,
  ATITrayTools,
  Freq,
  CoreTemp,
  CPULoad,
  UserActivity,
  ThermalZones,
  MobileMeter,
  MBM5190,
  MBM5107,
  MBM509x,
  Aquaero,
  Net,
  Battery,
  Disks,
  BOINC,
  CountPass,
  External,
  Fans,
  Mem,
  UpTime,
  StampTime,
  Count
};

using tSourceReader = std::function<void()>;

// Installs the reader of a source step (the steps from Hwmon to UpTime that read something
// outside the program); the modules of the sources install theirs. A source without a reader
// contributes nothing; the external area reads itself unless replaced. nullptr removes a reader.
void SetSourceReader(tPassStep step, tSourceReader reader);

// Seconds since the user's last keyboard or mouse input; nullopt when unknown.
using tIdleSeconds = std::function<std::optional<uint32_t>()>;
void SetIdleSecondsSource(tIdleSeconds source);

// One pass. force makes the slow scans (disks, BOINC) run regardless of the pass counter.
void ReadAllValues(bool force);

}  // namespace kv
