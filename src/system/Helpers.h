#pragma once
// The helper programs the monitor can start. SpeedFan and CPUID Hardware Monitor are Windows
// programs: on Linux their blocks appear only when some other program offers them, and
// starting them always fails. The options and system-information programs belong to this
// product and lie beside the monitor.
#include <string>
#include <vector>

namespace kv {

// The helper's shared-memory block can be opened at this moment.
bool SpeedFanPresent();
bool HWMonitorPresent();

// False when the helper could not be started.
bool StartSpeedFan();
bool StartHWM();

// Start the options program on a page (1 .. 14) and the system-information program; false
// when the program is missing or cannot be started.
bool StartOptionsProgram(int page);
bool StartSysInfoProgram();
// Ends the options and system-information programs this process started and that still run:
// a polite SIGTERM first, SIGKILL for one still running after waitMs. A process id that now
// belongs to another program is left alone.
void EndProductPrograms(int waitMs = 1500);
// The process ids started by StartOptionsProgram and StartSysInfoProgram, for tests.
std::vector<long long> ProductProgramPids();
// The options program's arguments for a page: page, "D" or "-", "E" or "-".
std::vector<std::string> OptionsProgramArguments(int page, bool debug, bool expert);

}  // namespace kv
