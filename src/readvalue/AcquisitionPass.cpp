#include "readvalue/AcquisitionPass.h"

#include <chrono>
#include <cmath>

#include "core/EventLog.h"
#include "platform/SharedMemory.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"

namespace kv {

static_assert(FanChannels == FChannels && TempChannels == TChannels && VoltChannels == VChannels &&
              CpuChannels == CPUChannels);

namespace {

constexpr double TwoMinutes = 2.0 / 1440.0;     // days
constexpr double ThreeSeconds = 3.0 / 86400.0;  // days
constexpr size_t StepCount = PassStepCount;

// ---- The pass's own steps: they read nothing outside and go through the same rows ----

void PassClearFreq(tPassContext& ctx) { ctx.Current.Readings.Freq = NoValue32; }

void PassCounter(tPassContext& ctx) { ++ctx.Current.PassCount; }

void PassFans(tPassContext& ctx) {
  std::array<double, FChannels> divisors{};
  for (size_t i = 0; i < divisors.size(); ++i) divisors[i] = ctx.Settings.FCfg[i].Div;
  PostProcessFans(ctx.Current.Readings, divisors);
}

void PassStampTime(tPassContext& ctx) {
  ctx.Current.Readings.Time = ctx.Now;
  ctx.Current.ReadingsExtra.Time2 = ctx.Now;
}

// Active time grows only over short gaps, and only while the user is at the machine.
void PassUserActivity(tPassContext& ctx) {
  const double d = ctx.Now - ctx.Previous;
  if (d >= TwoMinutes || !ctx.IdleSeconds) return;
  const std::optional<uint32_t> idle = ctx.IdleSeconds();
  if (!idle || *idle >= 60) return;
  const int32_t add = StoreAsIs32(d * SecondsPerDay);
  if (add > 0 && add != NoValue32) ctx.Current.ReadingsExtra.UserSecs += add;
}

using tFunction = void (*)(tPassContext&);

struct tTableRow {
  tPassStep step;
  const char* name;
  bool tSettings::*guard;
  tWhen when;
  const char* tag;
  tFunction read, reopen, close;
};

constexpr tTableRow PassTable[] = {
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

tSourceFunction Function(tFunction f) { return f ? tSourceFunction(f) : tSourceFunction(); }

int64_t MicrosSince(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

std::string InRoot(const std::string& root, const std::string& path) {
  if (root.empty() || root == "/") return path;
  std::string base = root;
  while (!base.empty() && base.back() == '/') base.pop_back();
  return path.empty() || path.front() != '/' ? base + "/" + path : base + path;
}

std::string tPassContext::InRoot(const std::string& path) const { return kv::InRoot(SystemRoot, path); }

const char* PassStepName(tPassStep step) {
  const auto i = static_cast<size_t>(step);
  return i < StepCount ? PassTable[i].name : "";
}

bool IsPassOwnStep(tPassStep step) {
  return step == tPassStep::ClearFreq || step == tPassStep::UserActivity || step == tPassStep::CountPass ||
         step == tPassStep::Fans || step == tPassStep::StampTime;
}

std::array<tSourceRow, PassStepCount> tSources::PassTableRows() {
  std::array<tSourceRow, PassStepCount> rows;
  for (size_t i = 0; i < StepCount; ++i) {
    const tTableRow& r = PassTable[i];
    rows[i] = {r.step, r.name, r.guard, r.when, r.tag, Function(r.read), Function(r.reopen), Function(r.close)};
  }
  return rows;
}

tAcquisition::tAcquisition(tSettings& settings, tReadingsState& current, const tProcessFacts& process,
                           const Clock& clock)
    : settings_(settings), current_(current), process_(process), clock_(clock) {
  for (size_t i = 0; i < StepCount; ++i) health_[i].name = PassTable[i].name;
}

tPassContext tAcquisition::Context() {
  const TDateTime now = DateTimeFromUnixMs(clock_.UtcMs());
  return {settings_, current_, process_, Sources.SystemRoot, Sources.IdleSeconds, memory_, now,
          current_.Readings.Time};
}

bool tAcquisition::ShouldRun(const tSourceRow& row, const tPassContext& ctx, bool force) const {
  if (row.guard && !(settings_.*row.guard)) return false;
  const bool slowPass = force || current_.PassCount % 10 == 0;
  switch (row.when) {
    case tWhen::EveryPass: return true;
    case tWhen::SlowPass: return slowPass;
    case tWhen::SlowPassAfter3s: return slowPass && ctx.Now - ctx.Previous > ThreeSeconds;
  }
  return false;
}

// Each step in its own guard; a failure costs only its step and stays visible in its health.
void tAcquisition::RunGuarded(const tSourceRow& row, tPassContext& ctx, tStepHealth& h) {
  const auto start = std::chrono::steady_clock::now();
  try {
    if (row.read) row.read(ctx);
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

void tAcquisition::ReadAllValues(bool force) {
  tPassContext ctx = Context();
  memory_.Get<tShmWatch>().Update();
  for (const tSourceRow& row : Sources.Rows) {
    tStepHealth& h = health_[static_cast<size_t>(row.step)];
    h.ran = ShouldRun(row, ctx, force);
    if (h.ran) RunGuarded(row, ctx, h);
  }
}

// Reopen and close run outside the pass, each in its own guard with the step's tag.
void tAcquisition::CallEach(tSourceFunction tSourceRow::*which) {
  tPassContext ctx = Context();
  for (const tSourceRow& row : Sources.Rows) {
    try {
      if (const tSourceFunction& f = row.*which) f(ctx);
    } catch (const std::exception& e) {
      if (row.tag) LogError(row.tag, e);
    } catch (...) {
      if (row.tag) LogUnknownError(row.tag);
    }
  }
}

void tAcquisition::ReopenSources() { CallEach(&tSourceRow::reopen); }

void tAcquisition::CloseSources() { CallEach(&tSourceRow::close); }

void tAcquisition::ResetReadings() {
  kv::ResetReadings(current_);
  try {
    tPassContext ctx = Context();
    if (Sources.ResetBatteries) Sources.ResetBatteries(ctx);
  } catch (const std::exception& e) {
    LogError("ib1 ", e);
  }
}

}  // namespace kv
