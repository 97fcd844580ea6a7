#include "publishing/upload/SecureCopy.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "system/Processes.h"

namespace kv {

std::vector<std::string> PscpArguments(int port, const std::string& passwordFile,
                                       const std::vector<std::string>& localFiles,
                                       const std::string& user, const std::string& host,
                                       const std::string& remotePath) {
  std::vector<std::string> argv = {"pscp", "-v", "-batch", "-P", std::to_string(port),
                                   "-pwfile", passwordFile};
  argv.insert(argv.end(), localFiles.begin(), localFiles.end());
  argv.push_back(user + "@" + host + ":" + remotePath);
  return argv;
}

std::string WritePasswordFile(const std::string& password) {
  const char* tmp = std::getenv("TMPDIR");
  std::string pattern = std::string(tmp && *tmp ? tmp : "/tmp") + "/kelvara-pw-XXXXXX";
  const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);  // mode 0600
  if (fd < 0) return {};
  ::fchmod(fd, S_IRUSR | S_IWUSR);
  const std::string line = password + "\n";
  const bool ok = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
  ::close(fd);
  if (!ok) {
    ::unlink(pattern.c_str());
    return {};
  }
  return pattern;
}

tCopyOutcome RunSecureCopy(std::vector<std::string> argv, const std::string& passwordFile,
                           const std::atomic<bool>& terminate, const std::string& workingDir) {
  const int pid = StartHidden(argv, workingDir);
  tCopyOutcome outcome;
  if (pid != 0) {
    outcome.result = tCopyResult::Killed;
    for (int poll = 0; poll < PscpPolls && !terminate; ++poll) {
      std::this_thread::sleep_for(std::chrono::milliseconds(PscpPollMs));
      if (!IsRunning(pid, outcome.exitCode)) {
        outcome.result = outcome.exitCode == 0 ? tCopyResult::Ended : tCopyResult::Failed;
        break;
      }
    }
    if (outcome.result == tCopyResult::Killed) KillProcess(pid);
  }
  if (!passwordFile.empty()) ::unlink(passwordFile.c_str());
  return outcome;
}

}  // namespace kv
