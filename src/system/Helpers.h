#pragma once
// The helper programs the monitor can start. SpeedFan and CPUID Hardware Monitor are Windows
// programs: on Linux their blocks appear only when some other program offers them, and
// starting them always fails.

namespace kv {

// The helper's shared-memory block can be opened at this moment.
bool SpeedFanPresent();
bool HWMonitorPresent();

// False when the helper could not be started.
bool StartSpeedFan();
bool StartHWM();

}  // namespace kv
