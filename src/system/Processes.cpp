#include "system/Processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/EventLog.h"

extern char** environ;

namespace kv {

int StartHidden(const std::vector<std::string>& argv, const std::string& workingDir) {
  if (argv.empty() || argv[0].empty()) return 0;
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawnattr_t attr;
  if (posix_spawn_file_actions_init(&actions) != 0) return 0;
  if (posix_spawnattr_init(&attr) != 0) {
    posix_spawn_file_actions_destroy(&actions);
    return 0;
  }
  // No terminal and no console output: the program runs unseen, like a hidden window.
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  if (!workingDir.empty()) posix_spawn_file_actions_addchdir_np(&actions, workingDir.c_str());
  // A session of its own, so a signal to our terminal's group does not reach it.
  posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK);
  sigset_t none;
  sigemptyset(&none);
  posix_spawnattr_setsigmask(&attr, &none);

  pid_t pid = 0;
  const int rc = posix_spawnp(&pid, args[0], &actions, &attr, args.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attr);
  if (rc != 0 || pid <= 0) return 0;
  LogEvent("Started with pid " + std::to_string(pid));
  return static_cast<int>(pid);
}

bool IsRunning(int pid) {
  int exitCode = 0;
  return IsRunning(pid, exitCode);
}

bool IsRunning(int pid, int& exitCode) {
  if (pid <= 0) return false;
  int status = 0;
  const pid_t r = ::waitpid(pid, &status, WNOHANG);
  if (r == 0) return true;  // our child, still running
  if (r == pid) {           // our child, ended and now reaped
    exitCode = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
    return false;
  }
  // Not our child: it runs while it can be signalled.
  return errno == ECHILD && ::kill(pid, 0) == 0;
}

bool KillProcess(int pid) {
  if (pid <= 0) return false;  // 0 and -1 would address whole process groups
  if (::kill(pid, 0) != 0) return false;
  LogEvent("Killing process with handle " + std::to_string(pid) + "...");
  const bool done = ::kill(pid, SIGKILL) == 0;
  LogEvent(done ? "Done." : "Failed!");
  if (done) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
  }
  return done;
}

}  // namespace kv
