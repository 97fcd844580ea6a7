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

enum class tCopyResult { NotStarted, Ended, Killed };
// Starts pscp and waits for it: ended (whatever its exit code), or killed after the poll limit
// or on terminate. The password file is deleted before returning.
tCopyResult RunSecureCopy(std::vector<std::string> argv, const std::string& passwordFile,
                          const std::atomic<bool>& terminate);

}  // namespace kv
