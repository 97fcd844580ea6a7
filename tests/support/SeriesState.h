#pragma once
// A test's own acquisition state with the three series over it. Sampling runs the pass, or
// Acquire when a test sets it to stamp figures of its own choosing.
#include <functional>

#include "statistics/StatStore.h"
#include "support/PassState.h"

namespace kvtest {

class SeriesState : public PassState {
 public:
  explicit SeriesState(const kv::Clock* clock = nullptr)
      : PassState(clock), Series(Settings, Current, Process, Pass.Time(), [this](bool force) {
          if (Acquire)
            Acquire(force);
          else
            Pass.ReadAllValues(force);
        }) {}

  std::function<void(bool force)> Acquire;
  kv::tStatistics Series;
  kv::tStatStore& Stats8h = Series.Stats8h;
  kv::tStatStore& Stats7d = Series.Stats7d;
  kv::tStatStore& Stats1a = Series.Stats1a;
};

}  // namespace kvtest
