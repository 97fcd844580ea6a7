#pragma once
// The history of the readings table in three series of different resolution and length.
// Main thread only.
#include <cstdint>
#include <functional>
#include <vector>

#include "core/DateTime.h"
#include "readvalue/Readings.h"

namespace kv {

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

extern tStatStore Stats8h, Stats7d, Stats1a;
extern const tSeriesParams Params8h, Params7d, Params1a;

// The three series with their parameters, in the order 8h, 7d, 1a.
struct tSeriesRef {
  tStatStore& store;
  const tSeriesParams& params;
};
std::vector<tSeriesRef> AllSeries();

// Empties the three series (start-up and reset).
void ClearStatistics();

// Samples the current readings into one series; force opens a new sample unconditionally.
void StoreSample(tStatStore& series, bool force, double largestGap, double step, double span);
void StoreSample(tStatStore& series, const tSeriesParams& params, bool force);
// Appends a break sample: every value a no-value marker, stamped with UtcNow.
void AddBreakSample(tStatStore& series);
// Fills a record pair as a break sample at time t.
void MakeBreakSample(double t, tReadings& r, tReadingsExtra& e);
bool IsBreakSample(const tReadings& r, const tReadingsExtra& e);
// The second record of a break sample; also stands in for a companion record that is lost.
void MakeBreakExtra(double t, tReadingsExtra& e);

// The acquisition pass the store triggers; start-up installs ReadAllValues.
void SetAcquirePass(std::function<void(bool force)> pass);
void RunAcquirePass(bool force);

// One statistics-and-readings step of the main cycle; insertBreak marks a hole in the history
// and restarts the series from fresh readings.
void SampleAndAcquire(bool insertBreak);

// Asks the user, then empties the series and rewrites the files with one fresh sample each.
// False when the user said No. The caller empties the upload queue, shortens the timers and
// redraws.
bool ResetStatistics();

}  // namespace kv
