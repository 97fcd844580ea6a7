#pragma once
// A benchmark's own monitor state: settings, readings table and the acquisition over them, on
// the system clock; with the three series and what the pictures show, for the benchmarks
// above the readings.
#include <algorithm>
#include <initializer_list>
#include <string>
#include <sys/stat.h>

#include "core/DateTime.h"
#include "core/Process.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Settings.h"
#include "displays/DisplayData.h"
#include "statistics/StatStore.h"

namespace kvbench {

// A written picture's size, for the benchmarks' "bytes" counter.
inline double FileBytes(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 ? static_cast<double>(st.st_size) : -1;
}

struct tBenchState {
  kv::SystemClock clock;
  kv::tProcessFacts process;
  kv::tSettings settings;
  kv::tReadingsState current;
  kv::tAcquisition pass{settings, current, process, clock};
  kv::tPassContext ctx = pass.Context();

  // Only the pass's own steps and the steps in keep read anything.
  void Keep(std::initializer_list<kv::tPassStep> keep) {
    for (kv::tSourceRow& row : pass.Sources.Rows)
      if (!kv::IsPassOwnStep(row.step) && std::find(keep.begin(), keep.end(), row.step) == keep.end())
        row.read = nullptr;
    pass.Sources.IdleSeconds = nullptr;
  }
};

struct tSeriesBench : tBenchState {
  kv::tStatistics series{settings, current, process, clock, [this](bool force) { pass.ReadAllValues(force); }};
  kv::tDisplayData Display() { return {settings, current, series, process}; }
};

}  // namespace kvbench
