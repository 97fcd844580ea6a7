#pragma once
// One acquisition pass: every enabled source in a fixed order, each in its own guard, so a
// failing source costs only its own step. A later step overwrites an earlier one's channels.
#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>

#include "core/DateTime.h"
#include "platform/IdleTime.h"
#include "readvalue/PassContext.h"
#include "readvalue/PassTable.h"

namespace kv {

// The steps of a pass, in pass order: the rows of the pass table.
enum class tPassStep {
#define KV_STEP_ENUM(step, ...) step,
  KV_PASS_TABLE(KV_STEP_ENUM)
#undef KV_STEP_ENUM
  Count
};

constexpr size_t PassStepCount = static_cast<size_t>(tPassStep::Count);

// The step's name as the enum spells it ("Everest", "CPULoad").
const char* PassStepName(tPassStep step);

// The pass's own steps (clock, counter, fans, time stamp, user activity) read nothing outside
// the program.
bool IsPassOwnStep(tPassStep step);

enum class tWhen {
  EveryPass,
  SlowPass,         // forced, or PassCount a multiple of 10
  SlowPassAfter3s,  // a slow pass more than 3 seconds after the previous pass
};

// What a step runs; an empty function does nothing.
using tSourceFunction = std::function<void(tPassContext&)>;

// One row of the pass table as the pass runs it.
struct tSourceRow {
  tPassStep step;
  const char* name;
  bool tSettings::*guard;  // the enabling setting; nullptr: always runs
  tWhen when;
  const char* tag;  // trace tag of the whole step; nullptr: the step cannot fail, or its
                    // failures are swallowed (aquaero)
  tSourceFunction read;    // empty: the source is not built on this platform
  tSourceFunction reopen;  // after a settings reload; empty: keeps nothing open
  tSourceFunction close;   // at shut-down
};

// Everything the pass reads through: its rows and what the sources look at. A test puts its
// own functions, tree or idle time in place.
struct tSources {
  std::array<tSourceRow, PassStepCount> Rows = PassTableRows();
  std::string SystemRoot = "/";  // the /proc and /sys tree; mount points and batteries inside it
  tIdleSeconds IdleSeconds = ReadIdleSeconds;  // the X server's; empty: always unknown
  // What ResetReadings does about the batteries (their folders are looked for afresh at the
  // next reading); a failure is logged "ib1 ".
  tSourceFunction ResetBatteries = metrics::ForgetBatteries;

  static std::array<tSourceRow, PassStepCount> PassTableRows();
};

// How each step fared. ran: the step ran in the most recent pass; ok, error (the exception's
// text) and micros (steady clock) describe its last run and stay while it is skipped.
struct tStepHealth {
  const char* name;
  bool ran = false;
  bool ok = true;
  std::string error;
  int64_t micros = 0;
};

// The acquisition of one monitor: reads the sources into the readings table it was given,
// under the settings it was given, on its clock.
class tAcquisition {
 public:
  tAcquisition(tSettings& settings, tReadingsState& current, const tProcessFacts& process, const Clock& clock);
  tAcquisition(const tAcquisition&) = delete;
  tAcquisition& operator=(const tAcquisition&) = delete;

  // One pass. force makes the slow scans (disks, BOINC) run regardless of the pass counter.
  void ReadAllValues(bool force);
  // After a settings reload: every source that keeps something open rescans (hwmon's chips).
  void ReopenSources();
  // At shut-down: every source releases what it keeps open.
  void CloseSources();
  // The no-value markers before the first pass; the batteries are looked for again.
  void ResetReadings();

  // In pass order.
  std::span<const tStepHealth> StepHealth() const { return health_; }
  // The context a source gets, for a source called outside a pass: stamped now.
  tPassContext Context();
  tSourceMemory& Memory() { return memory_; }
  const Clock& Time() const { return clock_; }

  tSources Sources;

 private:
  void RunGuarded(const tSourceRow& row, tPassContext& ctx, tStepHealth& h);
  void CallEach(tSourceFunction tSourceRow::*which);
  bool ShouldRun(const tSourceRow& row, const tPassContext& ctx, bool force) const;

  tSettings& settings_;
  tReadingsState& current_;
  const tProcessFacts& process_;
  const Clock& clock_;
  tSourceMemory memory_;
  std::array<tStepHealth, PassStepCount> health_;
};

}  // namespace kv
