#pragma once
// A monitor of the test's own set up for a whole main cycle, and the process-wide state such a
// test sets and puts back afterwards.
#include <unistd.h>

#include <string>

#include "core/EventLog.h"
#include "platform/SharedMemory.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"

namespace kvtest {

// The monitor's settings folder and the event log in dir, debug logging, and shared-memory
// names of the test's own ("kvtest-<name>-<pid>-").
inline void EnterCycleState(kv::tMonitor& m, const TempDir& dir, const std::string& name, bool headless = true) {
  m.Process.SettingsDir = dir.Path();
  m.Process.HeadlessMode = headless;
  m.Settings.Debug = true;
  kv::SetSharedMemoryPrefix("kvtest-" + name + "-" + std::to_string(::getpid()) + "-");
  kv::SetEventLogPath(dir.File("KVEvents.txt"));
  kv::SetDebugMode(true);
}

inline void LeaveCycleState() {
  kv::SetDebugMode(false);
  kv::SetEventLogPath("");
  kv::SetSharedMemoryPrefix("");
}

// The start of a test's fake time: 2026-12-09 12:00 UTC.
inline int64_t CycleStartMs() { return kv::UnixMsFromDateTime(kv::EncodeDateTime({2026, 12, 9, 12, 0, 0, 0})); }

}  // namespace kvtest
