#include "statistics/StatStore.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>

#include "core/EventLog.h"
#include "core/UiPort.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"

namespace kv {

namespace {

constexpr double Second = 1.0 / SecondsPerDay;
constexpr double Minute = 60 * Second;
constexpr double Hour = 60 * Minute;

// The least time since the last pass for a tick to sample and read again. It only guards against
// a second pass right after a forced one: the last pass stamped its readings a few milliseconds
// after its tick, and timers may fire a little early, so a full second would skip every other
// tick of a one-second ReadTemp.
constexpr double PassSpacing = 0.9 * Second;

// Time differences compare in whole milliseconds: ticks exactly one step apart must count as
// one step, not as a hair more or less after the double arithmetic.
bool LongerThan(double from, double to, double span) {
  return std::llround((to - from) * MsPerDay) > std::llround(span * MsPerDay);
}

bool AtLeast(double from, double to, double span) {
  return std::llround((to - from) * MsPerDay) >= std::llround(span * MsPerDay);
}

// The plausibility filter's bands, per channel group.
struct tFilterGroup {
  char letter;
  int (*faultBand)(int p);
  int (*spikeMargin)(int q);
};

const tFilterGroup FilterGroups[] = {
    {'T', [](int) { return 2000; }, [](int) { return 500; }},
    {'V', [](int p) { return std::abs(p) / 4; }, [](int q) { return std::abs(q) / 16; }},
    {'F', [](int p) { return std::abs(p) / 4; }, [](int q) { return std::abs(q) / 16; }},
};

// Samples are packed records at any address: their channels are read and written by value,
// never through pointers.
int Channel(const tReadings& r, char group, int i) {
  return group == 'T' ? r.T[i] : group == 'V' ? r.V[i] : r.F[i];
}

void SetChannel(tReadings& r, char group, int i, int value) {
  const auto v = static_cast<int16_t>(value);
  if (group == 'T') r.T[i] = v; else if (group == 'V') r.V[i] = v; else r.F[i] = v;
}

// Removes jumps from the newest sample and single spikes from the one before it.
void FilterNonsense(tStatStore& s) {
  tReadings& n = s.Samples[static_cast<size_t>(s.LastIndex)];
  tReadings& p = s.Samples[static_cast<size_t>(s.LastIndex - 1)];
  const tReadings& q = s.Samples[static_cast<size_t>(s.LastIndex - 2)];
  for (const tFilterGroup& g : FilterGroups) {
    for (int i = 0; i < 10; ++i) {
      const int nn = Channel(n, g.letter, i), pp = Channel(p, g.letter, i), qq = Channel(q, g.letter, i);
      if (nn == NoValue16 || pp == NoValue16) continue;
      const int b = g.faultBand(pp);
      if (nn < pp - b || nn > pp + b) {
        SetChannel(n, g.letter, i, NoValue16);
        LogEvent(std::string("Removed faulty ") + g.letter + std::to_string(i + 1) + ": " +
                 std::to_string(nn) + " (" + std::to_string(pp) + ")");
        continue;
      }
      if (qq == NoValue16) continue;
      const int m = g.spikeMargin(qq);
      if (pp < std::min(nn, qq) - m || pp > std::max(nn, qq) + m) {
        SetChannel(p, g.letter, i, qq);
        LogEvent(std::string("Removed gap ") + g.letter + std::to_string(i + 1) + ": " +
                 std::to_string(pp));
      }
    }
  }
}

void Grow(tStatStore& s) {
  const size_t size = static_cast<size_t>(s.LastIndex) + 2;
  s.Samples.resize(size, tReadings{});
  s.SamplesExtra.resize(size, tReadingsExtra{});
  ++s.LastIndex;
}

void Crop(tStatStore& s, double span, TDateTime now) {
  try {
    LogEvent("Cropping log");
    int32_t k = s.LastIndex;
    auto aged = [&](int32_t i) { return LongerThan(s.Samples[static_cast<size_t>(i)].Time, now, span); };
    while (k > 1 && !aged(k)) --k;
    if (aged(k)) {
      const double t = UtcToLocal(s.Samples[static_cast<size_t>(k)].Time);
      LogEvent("Deleting data up to " + ShortDateText(t) + " " + LongTimeText(t));
    }
    if (k > 1) {
      // Keep sample k-1, sample k and everything newer.
      s.Samples.erase(s.Samples.begin(), s.Samples.begin() + (k - 1));
      s.SamplesExtra.erase(s.SamplesExtra.begin(), s.SamplesExtra.begin() + (k - 1));
      s.LastIndex = s.LastIndex - k + 1;
    }
    s.CropLimit = s.LastIndex + 100;
  } catch (const std::exception& e) {
    LogError("ats2 ", e);
  }
}

}  // namespace

const tSeriesParams Params8h{"Kelvara8h.log", 20 * Second, 100 * Second, 8 * Hour};
const tSeriesParams Params7d{"Kelvara7d.log", 5 * Minute, 25 * Minute, 7.0};
const tSeriesParams Params1a{"Kelvara1a.log", 4 * Hour, 20 * Hour, 366.0};

tStatistics::tStatistics(tSettings& settings, const tReadingsState& current, const tProcessFacts& process,
                         const Clock& clock, tAcquire acquire)
    : settings_(settings), current_(current), process_(process), clock_(clock), acquire_(std::move(acquire)) {}

std::vector<tSeriesRef> tStatistics::AllSeries() {
  return {{Stats8h, Params8h}, {Stats7d, Params7d}, {Stats1a, Params1a}};
}

void tStatistics::ClearStatistics() {
  for (tSeriesRef s : AllSeries()) s.store = tStatStore{};
}

void tStatistics::UpdateUptimeRecord() {
  tSettings& s = settings_;
  if (!s.ReadUpTime || current_.UpSecs <= s.upRecTime) return;
  s.upRecTime = current_.UpSecs;
  s.UpRecDays = current_.UpDays;
  s.UpRecHours = current_.UpHours;
  s.UpRecMins = current_.UpMins;
  s.UpRecSecs = current_.UpSecsPart;
}

void MakeBreakSample(double t, tReadings& r, tReadingsExtra& e) {
  // Field by field: the record may sit at any address, so no pointers into it.
  r = tReadings{};
  r.Time = t;
  for (int i = 0; i < 10; ++i) r.T[i] = r.V[i] = r.F[i] = NoValue16;
  for (int i = 0; i < CPUChannels; ++i) r.CPU[i] = NoValue16;
  for (int i = 0; i < NetChannels; ++i) r.NetIn[i] = r.NetOut[i] = NoValue32;
  r.MemUsed = r.MemFree = r.PageUsed = r.PageFree = r.Cache = r.Freq = r.BatCap = NoValue32;
  r.BatFull = 0;
  r.BatOnline = 0;
  MakeBreakExtra(t, e);
}

bool IsBreakSample(const tReadings& r, const tReadingsExtra& e) {
  if (e.UserSecs != NoValue32 || r.MemUsed != NoValue32 || r.Freq != NoValue32 || r.BatCap != NoValue32)
    return false;
  for (int i = 0; i < 10; ++i)
    if (r.T[i] != NoValue16 || r.V[i] != NoValue16 || r.F[i] != NoValue16) return false;
  for (int i = 0; i < CPUChannels; ++i)
    if (r.CPU[i] != NoValue16) return false;
  return true;
}

void MakeBreakExtra(double t, tReadingsExtra& e) {
  e = tReadingsExtra{};
  e.Time2 = t;
  e.UserSecs = NoValue32;
  for (int i = 0; i < 40; ++i) e.Reserved[i] = NoValue32;
}

void tStatistics::AddBreakSample(tStatStore& s) {
  try {
    const double now = clock_.UtcNow();
    Grow(s);
    MakeBreakSample(now, s.Samples.back(), s.SamplesExtra.back());
  } catch (const std::exception& e) {
    LogError("abv1 ", e);
  }
}

void tStatistics::StoreSample(tStatStore& s, bool force, double largestGap, double step, double span) {
  try {
    auto time = [&](int32_t i) { return s.Samples[static_cast<size_t>(i)].Time; };
    const bool open = force || s.LastIndex < 1 || LongerThan(time(s.LastIndex - 1), current_.Readings.Time, step);
    if (open) {
      // A hole right after a break is already marked.
      const size_t last = static_cast<size_t>(s.LastIndex);
      if (s.LastIndex > 0 && !IsBreakSample(s.Samples[last], s.SamplesExtra[last]) &&
          LongerThan(time(s.LastIndex - 1), time(s.LastIndex), largestGap)) {
        AddBreakSample(s);
        LogEvent("Discarding too old value.");
      }
      Grow(s);
    }
    s.Samples[static_cast<size_t>(s.LastIndex)] = current_.Readings;
    s.SamplesExtra[static_cast<size_t>(s.LastIndex)] = current_.ReadingsExtra;
    if (settings_.IgnoreNonsense && s.LastIndex > 1) FilterNonsense(s);
  } catch (const std::exception& e) {
    LogError("ats1 ", e);
  }
  if (s.LastIndex > s.CropLimit) Crop(s, span, current_.Readings.Time);
}

void tStatistics::StoreSample(tStatStore& s, const tSeriesParams& p, bool force) {
  StoreSample(s, force, p.largestGap, p.step, p.span);
}

void tStatistics::SampleAndAcquire(bool insertBreak) {
  if (insertBreak) {
    LogEvent("Inserting break value");
    for (tSeriesRef s : AllSeries()) AddBreakSample(s.store);
    if (acquire_) acquire_(true);
    // A fixed point at the present time, then the new live sample.
    for (int round = 0; round < 2; ++round)
      for (tSeriesRef s : AllSeries()) StoreSample(s.store, s.params, true);
  } else if (AtLeast(current_.Readings.Time, clock_.UtcNow(), PassSpacing)) {
    for (tSeriesRef s : AllSeries()) StoreSample(s.store, s.params, false);
    if (acquire_) acquire_(false);
  }
  UpdateUptimeRecord();
}

void tStatistics::SaveStatistics(bool backup) {
  LogEvent("Writing log");
  if (acquire_) acquire_(true);
  for (tSeriesRef s : AllSeries()) StoreSample(s.store, s.params, true);
  for (tSeriesRef s : AllSeries()) SaveStore(s.store, process_.SettingsDir, s.params.baseName, backup);
}

void tStatistics::LoadStatistics() {
  for (tSeriesRef s : AllSeries()) LoadStore(s.store, process_.SettingsDir, s.params.baseName, clock_.UtcNow());
  SampleAndAcquire(true);
}

bool tStatistics::ResetStatistics(UiPort& ui) {
  const auto texts = Texts();
  if (!ui.AskYesNo(texts->ResetWarning, texts->Reset)) return false;
  try {
    ClearStatistics();
  } catch (const std::exception& e) {
    LogError("mrsc1 ", e);
  }
  SaveStatistics(false);
  return true;
}

}  // namespace kv
