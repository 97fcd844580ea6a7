#pragma once
// Processor figures from /proc and /sys: jiffy counters for the load, and the clock.
// Every reader takes the root of the tree to read ("/" on the real system) and never throws.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace kv {

class tKeptFiles;

// One processor's counters from /proc/stat, in jiffies since boot.
struct tCpuTime {
  int id = -1;          // N of the "cpuN" line; -1 for the aggregate line
  uint64_t idle = 0;    // idle + iowait
  uint64_t total = 0;   // user .. steal (guest time is already inside user and nice)
};

struct tCpuTimes {
  std::optional<tCpuTime> all;   // the aggregate "cpu" line
  std::vector<tCpuTime> cpus;    // "cpuN" lines of the online processors, in file order
};

// Reads <root>/proc/stat (through kept when given); lines that are truncated or hold
// non-numbers are left out.
tCpuTimes ReadCpuTimes(const std::string& root = "/", tKeptFiles* kept = nullptr);

// Number of processors for the readings: the online ones, at least 1.
int CpuCount(const tCpuTimes& times);

// Busy share between two samples of one processor in hundredths of a percent (0..10000), rounded
// half to even. No elapsed time or counters that went backwards (a CPU that was unplugged and came
// back) give 0.
int CpuLoad(const tCpuTime& previous, const tCpuTime& current);

// CpuLoad for every processor of `current`, matched by id with `previous`; a processor without a
// previous sample has load 0.
std::vector<int> CpuLoads(const tCpuTimes& previous, const tCpuTimes& current);

// Clock figures in kHz; nullopt when the system does not report them.
struct tCpuClock {
  std::optional<uint32_t> current;  // the highest current clock over all processors
  std::optional<uint32_t> maximum;  // the highest maximum clock over all processors
};

// cpufreq policies (one read per policy, not per CPU), else per-CPU cpufreq folders, else the
// "cpu MHz" lines of /proc/cpuinfo (virtual machines), which give no maximum.
tCpuClock ReadCpuClock(const std::string& root = "/");

// The clock files found by one look through the cpufreq folders, for reading the clock pass
// after pass without listing folders each time. The maximum is read at the look: it is the
// hardware's and does not change while the CPUs stay as they are.
struct tCpuClockFiles {
  bool found = false;   // false: look again at the next reading
  bool stale = false;   // a listed file could not be read (a CPU went away): look again
  std::string root;
  std::vector<std::string> current;  // scaling_cur_freq paths that held a clock
  std::optional<uint32_t> maximum;
};
// The same figures as ReadCpuClock through files found earlier (looked for first when not
// found yet or found under another root), read through kept.
tCpuClock ReadCpuClock(const std::string& root, tCpuClockFiles& files, tKeptFiles& kept);

}  // namespace kv
