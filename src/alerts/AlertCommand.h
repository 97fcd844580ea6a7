#pragma once
// The user's alert command: started from an argument vector (never a shell), at most one run at
// a time, killed with everything it started when it outlives its time-out. Main thread only.
#include <chrono>
#include <memory>
#include <string>
#include <vector>

class QTimer;

namespace kv {

// Splits a command line into words: blanks separate, double or single quotes group (a backslash
// escapes the next character except inside single quotes). Nothing is expanded. A quote left
// open ends the text.
std::vector<std::string> SplitCommandLine(const std::string& text);

class tAlertCommand {
 public:
  tAlertCommand();
  ~tAlertCommand();
  tAlertCommand(const tAlertCommand&) = delete;
  tAlertCommand& operator=(const tAlertCommand&) = delete;

  // Starts argv in workingDir unless the previous run still goes; true when started. The run is
  // killed after timeout (checked by a timer of the event loop and at every later call).
  bool Run(const std::vector<std::string>& argv, std::chrono::milliseconds timeout, const std::string& workingDir = {});
  bool Running();
  int Pid() const { return pid_; }
  // Kills the run when its time is up; true when it killed one.
  bool KillIfOverdue();
  // Kills a run that still goes (at shut-down).
  void Stop();

 private:
  void Kill();

  int pid_ = 0;
  std::chrono::steady_clock::time_point deadline_{};
  std::unique_ptr<QTimer> timer_;
};

}  // namespace kv
