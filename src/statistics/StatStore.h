#pragma once
// The history of the readings table in three series of different resolution and length.
// Main thread only.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/Readings.h"

namespace kv {

struct tSettings;

struct tStatStore {
  int32_t LastIndex = -1;  // newest sample; -1 when empty
  int32_t CropLimit = 100; // old samples are cropped only when LastIndex exceeds it
  std::vector<tReadings> Samples;            // oldest first
  std::vector<tReadingsExtra> SamplesExtra;  // parallel to Samples
};

// The fixed parameters of one series, as date-time differences in days.
struct tSeriesParams {
  const char* baseName;  // file base name
  double step;           // spacing of stored points
  double largestGap;     // a longer hole is marked with a break sample
  double span;           // older samples may be cropped
};

extern const tSeriesParams Params8h, Params7d, Params1a;

// The three series with their parameters, in the order 8h, 7d, 1a.
struct tSeriesRef {
  tStatStore& store;
  const tSeriesParams& params;
};

// Fills a record pair as a break sample at time t.
void MakeBreakSample(double t, tReadings& r, tReadingsExtra& e);
bool IsBreakSample(const tReadings& r, const tReadingsExtra& e);
// The second record of a break sample; also stands in for a companion record that is lost.
void MakeBreakExtra(double t, tReadingsExtra& e);

class UiPort;

// The three series of one monitor, and what sampling them takes: the readings table they
// sample, the settings whose filter they apply and whose uptime record they keep, the folder of
// their files, the clock, and the acquisition pass they trigger (acquire(force)).
class tStatistics {
 public:
  using tAcquire = std::function<void(bool force)>;
  tStatistics(tSettings& settings, const tReadingsState& current, const tProcessFacts& process, const Clock& clock,
              tAcquire acquire);
  tStatistics(const tStatistics&) = delete;
  tStatistics& operator=(const tStatistics&) = delete;

  tStatStore Stats8h, Stats7d, Stats1a;
  std::vector<tSeriesRef> AllSeries();

  // Empties the three series (start-up and reset).
  void ClearStatistics();

  // Samples the current readings into one series; force opens a new sample unconditionally.
  void StoreSample(tStatStore& series, bool force, double largestGap, double step, double span);
  void StoreSample(tStatStore& series, const tSeriesParams& params, bool force);
  // Appends a break sample: every value a no-value marker, stamped with the clock's time.
  void AddBreakSample(tStatStore& series);

  // One statistics-and-readings step of the main cycle; insertBreak marks a hole in the history
  // and restarts the series from fresh readings.
  void SampleAndAcquire(bool insertBreak);

  // A fresh forced pass and sample, then the three series written (with .backup copies first).
  void SaveStatistics(bool backup);
  // Loads the three series, then inserts a break.
  void LoadStatistics();
  // Asks the user, then empties the series and rewrites the files with one fresh sample each.
  // False when the user said No. The caller empties the upload queue, shortens the timers and
  // redraws.
  bool ResetStatistics(UiPort& ui);

 private:
  void UpdateUptimeRecord();

  tSettings& settings_;
  const tReadingsState& current_;
  const tProcessFacts& process_;
  const Clock& clock_;
  tAcquire acquire_;
};

}  // namespace kv
