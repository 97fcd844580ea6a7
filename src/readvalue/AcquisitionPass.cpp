#include "readvalue/AcquisitionPass.h"

#include <array>
#include <cmath>

#include "core/EventLog.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

static_assert(FanChannels == FChannels && TempChannels == TChannels && VoltChannels == VChannels &&
              CpuChannels == CPUChannels);

namespace {

constexpr double TwoMinutes = 2.0 / 1440.0;     // days
constexpr double ThreeSeconds = 3.0 / 86400.0;  // days
constexpr size_t StepCount = static_cast<size_t>(tPassStep::Count);

enum class tWhen {
  EveryPass,
  SlowPass,         // forced, or PassCount a multiple of 10
  SlowPassAfter3s,  // a slow pass more than 3 seconds after the previous pass
};

struct tStepRow {
  tPassStep step;
  bool tSettings::*guard;  // the enabling setting; nullptr: always runs
  tWhen when;
  const char* tag;  // trace tag of the whole step; nullptr: the step cannot fail, or its
                    // failures are swallowed (aquaero)
};

// The pass, in order. Sources with three tags carry the step-wide one here; their mapping and
// reading tags are used inside the source.
const tStepRow PassTable[] = {
    {tPassStep::ClearFreq, nullptr, tWhen::EveryPass, nullptr},
    {tPassStep::Hwmon, &tSettings::ReadHwmon, tWhen::EveryPass, "rv hw 3 "},
    {tPassStep::Everest, &tSettings::ReadEverest, tWhen::EveryPass, "re3 "},
    {tPassStep::CPUID, &tSettings::ReadCPUID, tWhen::EveryPass, "rv3 "},
    {tPassStep::CPUCooL, &tSettings::ReadCPUCooL, tWhen::EveryPass, "rv6 "},
    {tPassStep::VCool, &tSettings::ReadVCool, tWhen::EveryPass, "rv7 "},
    {tPassStep::HMonitor, &tSettings::ReadHMonitor, tWhen::EveryPass, "rv10 "},
    {tPassStep::SpeedFan, &tSettings::ReadSpeedFan, tWhen::EveryPass, "rv13 "},
    {tPassStep::AtiTool, &tSettings::ReadAtiTool, tWhen::EveryPass, "rv31 "},
    {tPassStep::RivaTuner, &tSettings::ReadRivaTuner, tWhen::EveryPass, "rv rt 3 "},
    {tPassStep::ATITrayTools, &tSettings::ReadATITrayTools, tWhen::EveryPass, "rv att 3 "},
    {tPassStep::Freq, &tSettings::ReadFreq, tWhen::EveryPass, "gf "},
    {tPassStep::CoreTemp, &tSettings::ReadCoreTemp, tWhen::EveryPass, "rv ct 3 "},
    {tPassStep::CPULoad, &tSettings::ReadCPU, tWhen::EveryPass, "rv15 "},
    {tPassStep::UserActivity, nullptr, tWhen::EveryPass, "gis "},
    {tPassStep::ThermalZones, &tSettings::ThermalZones, tWhen::EveryPass, "rv16 "},
    {tPassStep::MobileMeter, &tSettings::ReadMobileMeter, tWhen::EveryPass, "rmm1 "},
    {tPassStep::MBM5190, &tSettings::ReadMBM5190, tWhen::EveryPass, "rv17 "},
    {tPassStep::MBM5107, &tSettings::ReadMBM5107, tWhen::EveryPass, "rv18 "},
    {tPassStep::MBM509x, &tSettings::ReadMBM509x, tWhen::EveryPass, "rv19 "},
    {tPassStep::Aquaero, &tSettings::ReadAquaero, tWhen::EveryPass, nullptr},
    {tPassStep::Net, &tSettings::ReadNet, tWhen::EveryPass, "rv20 "},
    {tPassStep::Battery, nullptr, tWhen::EveryPass, "gbd1 "},  // the reader tests ReadBat itself
    {tPassStep::Disks, &tSettings::ReadDisk, tWhen::SlowPass, "rv22 "},
    {tPassStep::BOINC, &tSettings::ReadSETI, tWhen::SlowPassAfter3s, "rv23 "},
    {tPassStep::CountPass, nullptr, tWhen::EveryPass, nullptr},
    {tPassStep::External, nullptr, tWhen::EveryPass, "rv24 "},
    {tPassStep::Fans, nullptr, tWhen::EveryPass, nullptr},
    {tPassStep::Mem, &tSettings::ReadMem, tWhen::EveryPass, "rv32 "},
    {tPassStep::UpTime, &tSettings::ReadUpTime, tWhen::EveryPass, "rv27 "},
    {tPassStep::StampTime, nullptr, tWhen::EveryPass, "rv28 "},
};
static_assert(std::size(PassTable) == StepCount);

std::array<tSourceReader, StepCount> sourceReaders;  // installed readers; the external area is built in
tIdleSeconds idleSeconds;

struct tPassContext {
  TDateTime now;
  TDateTime previous;  // Readings.Time before this pass
};

// Active time grows only over short gaps, and only while the user is at the machine.
void AddUserActivity(const tPassContext& pass) {
  const double d = pass.now - pass.previous;
  if (d >= TwoMinutes || !idleSeconds) return;
  const std::optional<uint32_t> idle = idleSeconds();
  if (!idle || *idle >= 60) return;
  const int32_t add = StoreAsIs32(d * SecondsPerDay);
  if (add > 0 && add != NoValue32) ReadingsExtra.UserSecs += add;
}

void ApplyFanDivisors() {
  std::array<double, FChannels> divisors{};
  for (int i = 0; i < FChannels; ++i) divisors[static_cast<size_t>(i)] = FCfg[static_cast<size_t>(i)].Div;
  PostProcessFans(Readings, divisors);
}

void RunStep(tPassStep step, const tPassContext& pass) {
  switch (step) {
    case tPassStep::ClearFreq: Readings.Freq = NoValue32; break;
    case tPassStep::UserActivity: AddUserActivity(pass); break;
    case tPassStep::CountPass: ++PassCount; break;
    case tPassStep::Fans: ApplyFanDivisors(); break;
    case tPassStep::StampTime:
      Readings.Time = pass.now;
      ReadingsExtra.Time2 = pass.now;
      break;
    default:
      if (const tSourceReader& reader = sourceReaders[static_cast<size_t>(step)])
        reader();
      else if (step == tPassStep::External)
        ReadExternalValues();
      break;
  }
}

bool ShouldRun(const tStepRow& row, bool force, const tPassContext& pass) {
  if (row.guard && !(Settings.*row.guard)) return false;
  const bool slowPass = force || PassCount % 10 == 0;
  switch (row.when) {
    case tWhen::EveryPass: return true;
    case tWhen::SlowPass: return slowPass;
    case tWhen::SlowPassAfter3s: return slowPass && pass.now - pass.previous > ThreeSeconds;
  }
  return false;
}

}  // namespace

void SetSourceReader(tPassStep step, tSourceReader reader) {
  const auto i = static_cast<size_t>(step);
  if (i >= StepCount) return;
  sourceReaders[i] = std::move(reader);
}

void SetIdleSecondsSource(tIdleSeconds source) { idleSeconds = std::move(source); }

void ReadAllValues(bool force) {
  const tPassContext pass{UtcNow(), Readings.Time};
  for (const tStepRow& row : PassTable) {
    try {
      if (ShouldRun(row, force, pass)) RunStep(row.step, pass);
    } catch (const std::exception& e) {
      if (row.tag) LogError(row.tag, e);
    } catch (...) {
      if (row.tag) LogUnknownError(row.tag);
    }
  }
}

}  // namespace kv
