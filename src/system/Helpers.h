#pragma once
// The helper programs the monitor can start. SpeedFan and CPUID Hardware Monitor are Windows
// programs: on Linux their blocks appear only when some other program offers them, and
// starting them always fails. The options and system-information programs belong to this
// product and lie beside the monitor.
#include <string>
#include <vector>

#include "core/Process.h"

namespace kv {

struct tSettings;

// The helper's shared-memory block can be opened at this moment.
bool SpeedFanPresent();
bool HWMonitorPresent();

// False when the helper could not be started (SpeedFan's folder is looked for beside appDir).
bool StartSpeedFan(const std::string& appDir);
bool StartHWM();

// The options program's arguments for a page: page, "D" or "-", "E" or "-".
std::vector<std::string> OptionsProgramArguments(int page, bool debug, bool expert);

// The options and system-information programs beside the monitor in the program folder, and
// the ones this monitor started.
class tProductPrograms {
 public:
  explicit tProductPrograms(const tProcessFacts& process) : process_(process) {}
  tProductPrograms(const tProductPrograms&) = delete;
  tProductPrograms& operator=(const tProductPrograms&) = delete;

  // The options program on a page (1 .. 14), after the window state of settings is saved so
  // that it edits current values; the system-information program. False when the program is
  // missing or cannot be started.
  bool StartOptionsProgram(int page, const tSettings& settings);
  bool StartSysInfoProgram();
  // Ends the programs started here that still run: a polite SIGTERM first, SIGKILL for one
  // still running after waitMs. A process id that now belongs to another program is left alone.
  void EndProductPrograms(int waitMs = 1500);
  // The process ids started and not yet ended.
  std::vector<long long> ProductProgramPids() const;

 private:
  struct tStarted {
    long long pid;
    std::string program;
  };
  bool StartProductProgram(const char* name, const std::vector<std::string>& args);

  const tProcessFacts& process_;
  std::vector<tStarted> started_;
};

}  // namespace kv
