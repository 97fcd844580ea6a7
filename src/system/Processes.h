#pragma once
// Starting, watching and killing the outside programs the upload thread runs. Callable from
// any thread; they share no state.
#include <string>
#include <vector>

namespace kv {

// Starts argv[0] (a bare name is looked up on PATH) with the rest as its arguments, in a
// session of its own, in workingDir (unless empty), input and output on /dev/null; never through
// a shell. Logs "Started with pid N". Returns the process id, 0 on any failure.
int StartHidden(const std::vector<std::string>& argv, const std::string& workingDir);
// True while the process runs. Reaps a child of ours that has ended, so none stays a zombie.
// False for pid 0 or below.
bool IsRunning(int pid);
// The same; when it reaps our child, exitCode receives its exit status (128 + the signal
// number when a signal ended it).
bool IsRunning(int pid, int& exitCode);
// Kills the process and reaps it when it is our child; false for pid 0 or below, without
// touching any process.
bool KillProcess(int pid);

}  // namespace kv
