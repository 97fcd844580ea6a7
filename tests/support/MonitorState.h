#pragma once
// A whole monitor of the test's own (on the clock the test gives, the system's by default), and
// the names the tests read it by.
#include <initializer_list>

#include "app/Monitor.h"
#include "support/PassState.h"

namespace kvtest {

class MonitorState {
 public:
  explicit MonitorState(const kv::Clock& clock = kv::SystemTime()) : M(clock) {}

  // Every step that reads something outside the program reads nothing, except those in keep.
  void SilenceSources(std::initializer_list<kv::tPassStep> keep = {}) { kvtest::SilenceSources(M.Pass.Sources, keep); }

  kv::tMonitor M;
  kv::tProcessFacts& Process = M.Process;
  kv::tSettings& Settings = M.Settings;
  kv::tReadingsState& Current = M.Current;
  kv::tReadings& Readings = M.Current.Readings;
  kv::tReadingsExtra& ReadingsExtra = M.Current.ReadingsExtra;
  kv::tStatStore& Stats8h = M.Series.Stats8h;
  kv::tStatStore& Stats7d = M.Series.Stats7d;
  kv::tStatStore& Stats1a = M.Series.Stats1a;
};

}  // namespace kvtest
