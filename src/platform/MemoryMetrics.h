#pragma once
// Memory figures from /proc/meminfo and the time since boot.
#include <cstdint>
#include <optional>
#include <string>

namespace kv {

class tKeptFiles;

// All in KiB (/proc/meminfo says "kB" and means KiB).
struct tMemInfo {
  uint64_t total = 0;          // MemTotal; 0 when the file could not be read
  uint64_t available = 0;      // MemAvailable, or MemFree + Buffers + Cached on kernels before 3.14
  uint64_t cache = 0;          // Cached + Buffers: file data held in memory
  uint64_t committed = 0;      // Committed_AS: memory promised to processes
  uint64_t commitLimit = 0;    // CommitLimit; only enforced with vm.overcommit_memory = 2, so
                               // committed may exceed it
  uint64_t swapTotal = 0;
  uint64_t swapFree = 0;
  bool availableEstimated = false;  // available came from the fallback sum
};

// Both read through kept when given.
tMemInfo ReadMemInfo(const std::string& root = "/", tKeptFiles* kept = nullptr);

// First field of <root>/proc/uptime in whole seconds (fraction dropped).
std::optional<uint64_t> ReadUptimeSeconds(const std::string& root = "/", tKeptFiles* kept = nullptr);
// Seconds since boot, suspended time included, from CLOCK_BOOTTIME; the same figure without a file.
std::optional<uint64_t> BootClockSeconds();

}  // namespace kv
