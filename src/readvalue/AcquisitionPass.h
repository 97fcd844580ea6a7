#pragma once
// One acquisition pass: every enabled source in a fixed order, each in its own guard, so a
// failing source costs only its own step. A later step overwrites an earlier one's channels.
#include <cstddef>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <optional>
#include <span>
#include <string>

#include "core/DateTime.h"
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

// One pass. force makes the slow scans (disks, BOINC) run regardless of the pass counter.
void ReadAllValues(bool force);

// After a settings reload: every source that keeps something open rescans (hwmon's chips).
void ReopenSources();
// At shut-down: every source releases what it keeps open.
void CloseSources();

// How each step fared, in pass order. ran: the step ran in the most recent pass; ok, error (the
// exception's text) and micros (steady clock) describe its last run and stay while it is skipped.
struct tStepHealth {
  const char* name;
  bool ran = false;
  bool ok = true;
  std::string error;
  int64_t micros = 0;
};
std::span<const tStepHealth> StepHealth();

// ---- Test hooks ----

using tSourceReader = std::function<void()>;

// Replaces the read function of a step's row; an empty reader makes the step read nothing.
void SetSourceReaderForTest(tPassStep step, tSourceReader reader);
// Replaces the reopen and close functions of a step's row (empty: none).
void SetSourceLifecycleForTest(tPassStep step, std::function<void()> reopen, std::function<void()> close);
// Every step that reads something outside the program reads nothing, except those in keep,
// which read through their rows; the steps of the pass itself (clock, counter, fans, time
// stamp, user activity) always run, but the idle time is unknown unless UserActivity is kept.
void SilenceSourcesForTest(std::initializer_list<tPassStep> keep = {});
// Every step reads through its row again; the idle time, the battery enumeration and the hwmon
// provider are the real ones again; the health is forgotten.
void ClearSourceOverrides();

// Seconds since the user's last keyboard or mouse input; nullopt when unknown. The real source
// unless a test replaces it (an empty source: always unknown).
using tIdleSeconds = std::function<std::optional<uint32_t>()>;
void SetIdleSecondsSource(tIdleSeconds source);

}  // namespace kv
