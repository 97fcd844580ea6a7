#pragma once
// Publishing by secure copy with PuTTY's pscp.
#include <atomic>
#include <string>
#include <vector>

namespace kv {

constexpr int PscpPollMs = 100;
constexpr int PscpPolls = 150;  // 15 s, then the copy is killed

// pscp's argument vector; the password is read from passwordFile.
std::vector<std::string> PscpArguments(int port, const std::string& passwordFile,
                                       const std::vector<std::string>& localFiles,
                                       const std::string& user, const std::string& host,
                                       const std::string& remotePath);

// Writes the password into a fresh file only the user can read; empty on failure.
std::string WritePasswordFile(const std::string& password);

enum class tCopyResult {
  NotStarted,  // pscp could not be started (not installed, not executable)
  Ended,       // exit code 0: the files arrived
  Failed,      // any other exit code
  Killed,      // still running at the poll limit or on terminate
};
struct tCopyOutcome {
  tCopyResult result = tCopyResult::NotStarted;
  int exitCode = -1;  // of a copy that ended or failed
};
// Starts pscp in workingDir and waits for it. The password file is deleted before returning.
tCopyOutcome RunSecureCopy(std::vector<std::string> argv, const std::string& passwordFile,
                           const std::atomic<bool>& terminate, const std::string& workingDir);

}  // namespace kv
