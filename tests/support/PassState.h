#pragma once
// A test's own acquisition state: process facts, settings and readings table of its own, and
// the pass over them on the clock the test gives (the system's by default). The names the
// tests read the table by refer into it. Header-only: the fuzz build has no test library.
#include <algorithm>
#include <initializer_list>

#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Settings.h"

namespace kvtest {

// Every step that reads something outside the program reads nothing, except those in keep,
// which read through their table rows again; the pass's own steps always run, but the idle
// time is unknown unless UserActivity is kept.
inline void SilenceSources(kv::tSources& sources, std::initializer_list<kv::tPassStep> keep = {}) {
  const auto kept = [&keep](kv::tPassStep step) { return std::find(keep.begin(), keep.end(), step) != keep.end(); };
  if (!kept(kv::tPassStep::UserActivity)) sources.IdleSeconds = nullptr;
  const auto table = kv::tSources::PassTableRows();
  for (kv::tSourceRow& row : sources.Rows)
    if (!kv::IsPassOwnStep(row.step)) row.read = kept(row.step) ? table[static_cast<size_t>(row.step)].read : nullptr;
}

// A fake clock for a fixture: a base class, so it exists before the state that reads it.
struct FakeTime {
  explicit FakeTime(int64_t utcMs = 0) : clock_(utcMs) {}
  kv::FakeClock clock_;
};

class PassState {
 public:
  explicit PassState(const kv::Clock* clock = nullptr) : Pass(Settings, Current, Process, clock ? *clock : systemClock_) {}
  PassState(const PassState&) = delete;
  PassState& operator=(const PassState&) = delete;

  void SilenceSources(std::initializer_list<kv::tPassStep> keep = {}) { kvtest::SilenceSources(Pass.Sources, keep); }
  kv::tSourceRow& Row(kv::tPassStep step) { return Pass.Sources.Rows[static_cast<size_t>(step)]; }

 private:
  kv::SystemClock systemClock_;

 public:
  kv::tProcessFacts Process;
  kv::tSettings Settings;
  kv::tReadingsState Current;
  kv::tAcquisition Pass;
  // What a source called on its own is handed.
  kv::tPassContext Ctx = Pass.Context();

  kv::tReadings& Readings = Current.Readings;
  kv::tReadingsExtra& ReadingsExtra = Current.ReadingsExtra;
  int32_t& FreqMax = Current.FreqMax;
  int32_t& MemTotal = Current.MemTotal;
  int32_t& PageTotal = Current.PageTotal;
  int32_t& BatDesign = Current.BatDesign;
  bool& BatRelative = Current.BatRelative;
  uint32_t& UpSecs = Current.UpSecs;
  uint16_t& UpDays = Current.UpDays;
  uint16_t& UpHours = Current.UpHours;
  uint16_t& UpMins = Current.UpMins;
  uint16_t& UpSecsPart = Current.UpSecsPart;
  uint8_t& CPUCount = Current.CPUCount;
  int32_t& PassCount = Current.PassCount;
  std::vector<kv::tNetMon>& NetMons = Current.NetMons;
  std::vector<kv::tDiskMon>& DiskMons = Current.DiskMons;
  std::vector<kv::tBOINCActiveTask>& BOINCTasks = Current.BOINCTasks;
  std::vector<kv::tBOINCProject>& BOINCProjects = Current.BOINCProjects;
  bool& SFNamesPending = Current.SFNamesPending;
  bool& HWMNamesPending = Current.HWMNamesPending;
  bool& EverestNamesPending = Current.EverestNamesPending;
  bool& HwmonNamesPending = Current.HwmonNamesPending;
};

}  // namespace kvtest
