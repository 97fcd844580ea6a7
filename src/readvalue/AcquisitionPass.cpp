#include "readvalue/AcquisitionPass.h"

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>

#include "core/EventLog.h"
#include "platform/IdleTime.h"
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

// The pass's own steps read nothing outside; they go through the same rows as the sources.
struct tPassContext {
  TDateTime now;
  TDateTime previous;  // Readings.Time before this pass
};
tPassContext currentPass{};

tIdleSeconds RealIdleSeconds() {
  return [] { return ReadIdleSeconds(); };
}
tIdleSeconds idleSeconds = RealIdleSeconds();

void PassClearFreq() { Readings.Freq = NoValue32; }

// Active time grows only over short gaps, and only while the user is at the machine.
void PassUserActivity() {
  const double d = currentPass.now - currentPass.previous;
  if (d >= TwoMinutes || !idleSeconds) return;
  const std::optional<uint32_t> idle = idleSeconds();
  if (!idle || *idle >= 60) return;
  const int32_t add = StoreAsIs32(d * SecondsPerDay);
  if (add > 0 && add != NoValue32) ReadingsExtra.UserSecs += add;
}

void PassCounter() { ++PassCount; }

void PassFans() {
  std::array<double, FChannels> divisors{};
  for (int i = 0; i < FChannels; ++i) divisors[static_cast<size_t>(i)] = FCfg[static_cast<size_t>(i)].Div;
  PostProcessFans(Readings, divisors);
}

void PassStampTime() {
  Readings.Time = currentPass.now;
  ReadingsExtra.Time2 = currentPass.now;
}

using tFunction = void (*)();

struct tStepRow {
  tPassStep step;
  const char* name;
  bool tSettings::*guard;  // the enabling setting; nullptr: always runs
  tWhen when;
  const char* tag;  // trace tag of the whole step; nullptr: the step cannot fail, or its
                    // failures are swallowed (aquaero)
  tFunction read;    // nullptr: the source is not built on this platform
  tFunction reopen;  // after a settings reload; nullptr: keeps nothing open
  tFunction close;   // at shut-down
};

constexpr tStepRow PassTable[] = {
#define KV_STEP_ROW(step, guard, when, tag, read, reopen, close) \
  {tPassStep::step, #step, guard, tWhen::when, tag, read, reopen, close},
    KV_PASS_TABLE(KV_STEP_ROW)
#undef KV_STEP_ROW
};

// Row i is step i: a step left out, doubled or moved fails the build.
constexpr bool RowsFollowTheSteps() {
  if (std::size(PassTable) != StepCount) return false;
  for (size_t i = 0; i < StepCount; ++i)
    if (static_cast<size_t>(PassTable[i].step) != i || !PassTable[i].name) return false;
  return true;
}
static_assert(RowsFollowTheSteps(), "PassTable must hold one row per tPassStep, in enum order");

// The pass's own steps; the test hooks never silence them.
constexpr bool IsOwnStep(tPassStep step) {
  return step == tPassStep::ClearFreq || step == tPassStep::UserActivity || step == tPassStep::CountPass ||
         step == tPassStep::Fans || step == tPassStep::StampTime;
}

struct tOverride {
  bool active = false;
  tSourceReader reader;  // empty: the step reads nothing
  bool lifecycle = false;
  std::function<void()> reopen, close;
};
std::array<tOverride, StepCount> overrides;

std::array<tStepHealth, StepCount> MakeHealth() {
  std::array<tStepHealth, StepCount> health;
  for (size_t i = 0; i < StepCount; ++i) health[i].name = PassTable[i].name;
  return health;
}
std::array<tStepHealth, StepCount> health = MakeHealth();

void Run(const tStepRow& row) {
  const tOverride& o = overrides[static_cast<size_t>(row.step)];
  if (o.active) {
    if (o.reader) o.reader();
  } else if (row.read) {
    row.read();
  }
}

bool ShouldRun(const tStepRow& row, bool force) {
  if (row.guard && !(Settings.*row.guard)) return false;
  const bool slowPass = force || PassCount % 10 == 0;
  switch (row.when) {
    case tWhen::EveryPass: return true;
    case tWhen::SlowPass: return slowPass;
    case tWhen::SlowPassAfter3s: return slowPass && currentPass.now - currentPass.previous > ThreeSeconds;
  }
  return false;
}

int64_t MicrosSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
}

// Each step in its own guard; a failure costs only its step and stays visible in its health.
void RunGuarded(const tStepRow& row, tStepHealth& h) {
  const auto start = std::chrono::steady_clock::now();
  try {
    Run(row);
    h.ok = true;
    h.error.clear();  // keeps its buffer: no allocation while all is well
  } catch (const std::exception& e) {
    h.ok = false;
    try {
      h.error = e.what();
    } catch (...) {
      h.error.clear();
    }
    if (row.tag) LogError(row.tag, e);
  } catch (...) {
    h.ok = false;
    h.error = "unknown error";
    if (row.tag) LogUnknownError(row.tag);
  }
  h.micros = MicrosSince(start);
}

// Reopen and close run outside the pass, each in its own guard with the step's tag.
void CallEach(tFunction tStepRow::*which, std::function<void()> tOverride::*replacement) {
  for (const tStepRow& row : PassTable) {
    const tOverride& o = overrides[static_cast<size_t>(row.step)];
    try {
      if (o.lifecycle) {
        if (o.*replacement) (o.*replacement)();
      } else if (const tFunction f = row.*which) {
        f();
      }
    } catch (const std::exception& e) {
      if (row.tag) LogError(row.tag, e);
    } catch (...) {
      if (row.tag) LogUnknownError(row.tag);
    }
  }
}

}  // namespace

const char* PassStepName(tPassStep step) {
  const auto i = static_cast<size_t>(step);
  return i < StepCount ? PassTable[i].name : "";
}

void ReadAllValues(bool force) {
  currentPass = {UtcNow(), Readings.Time};
  for (const tStepRow& row : PassTable) {
    tStepHealth& h = health[static_cast<size_t>(row.step)];
    h.ran = ShouldRun(row, force);
    if (h.ran) RunGuarded(row, h);
  }
}

void ReopenSources() { CallEach(&tStepRow::reopen, &tOverride::reopen); }

void CloseSources() { CallEach(&tStepRow::close, &tOverride::close); }

std::span<const tStepHealth> StepHealth() { return health; }

void SetSourceReaderForTest(tPassStep step, tSourceReader reader) {
  const auto i = static_cast<size_t>(step);
  if (i >= StepCount) return;
  overrides[i].active = true;
  overrides[i].reader = std::move(reader);
}

void SetSourceLifecycleForTest(tPassStep step, std::function<void()> reopen, std::function<void()> close) {
  const auto i = static_cast<size_t>(step);
  if (i >= StepCount) return;
  overrides[i].lifecycle = true;
  overrides[i].reopen = std::move(reopen);
  overrides[i].close = std::move(close);
}

void SilenceSourcesForTest(std::initializer_list<tPassStep> keep) {
  const auto kept = [&keep](tPassStep step) { return std::find(keep.begin(), keep.end(), step) != keep.end(); };
  // The idle time asks the X server, which a test must not reach unasked.
  if (!kept(tPassStep::UserActivity)) idleSeconds = nullptr;
  for (const tStepRow& row : PassTable) {
    if (IsOwnStep(row.step)) continue;
    tOverride& o = overrides[static_cast<size_t>(row.step)];
    o.active = !kept(row.step);
    o.reader = nullptr;
  }
}

void ClearSourceOverrides() {
  overrides = {};
  health = MakeHealth();
  idleSeconds = RealIdleSeconds();
  SetBatteryEnumeration(metrics::ForgetBatteries);
  SetHwmonProviderForTest({});
}

void SetIdleSecondsSource(tIdleSeconds source) { idleSeconds = std::move(source); }

}  // namespace kv
