#pragma once
// The process-wide state every test of a whole main cycle sets, and puts back afterwards.
#include <unistd.h>

#include <string>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/SharedMemory.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace kvtest {

// Settings folder and event log in dir, debug logging, fresh settings, and shared-memory
// names of the test's own ("kvtest-<name>-<pid>-").
inline void EnterCycleState(const TempDir& dir, const std::string& name, bool headless = true) {
  kv::SettingsDir = dir.Path();
  kv::SetSharedMemoryPrefix("kvtest-" + name + "-" + std::to_string(::getpid()) + "-");
  kv::SetEventLogPath(dir.File("KVEvents.txt"));
  kv::SetDebugMode(true);
  kv::Settings = kv::tSettings{};
  kv::Settings.Debug = true;
  kv::HeadlessMode = headless;
}

inline void LeaveCycleState() {
  kv::HeadlessMode = true;
  kv::SetDebugMode(false);
  kv::SetEventLogPath("");
  kv::SetSharedMemoryPrefix("");
}

}  // namespace kvtest
