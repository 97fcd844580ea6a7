#include "platform/CpuMetrics.h"

#include <algorithm>
#include <charconv>
#include <cmath>

#include "platform/KeptFiles.h"
#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

namespace {

// Parses the numbers after "cpu"/"cpuN"; needs at least user, nice, system and idle.
std::optional<tCpuTime> ParseCpuLine(std::string_view rest, int id) {
  uint64_t values[8] = {};
  int count = 0;
  while (count < 8) {
    const std::string_view field = NextField(rest);
    if (field.empty()) break;
    const auto v = ParseUnsigned(field);
    if (!v) return std::nullopt;
    values[count++] = *v;
  }
  if (count < 4) return std::nullopt;
  tCpuTime t;
  t.id = id;
  t.idle = values[3] + values[4];  // iowait is idle time too
  for (int i = 0; i < count; ++i) t.total += values[i];
  return t;
}

// Rounds numerator/denominator half to even; denominator > 0.
uint64_t DivideHalfEven(uint64_t numerator, uint64_t denominator) {
  uint64_t q = numerator / denominator;
  const uint64_t r = numerator % denominator;
  if (r > denominator - r || (r == denominator - r && (q & 1) != 0)) ++q;
  return q;
}

void KeepHigher(std::optional<uint32_t>& slot, std::optional<uint64_t> value) {
  if (!value || *value == 0 || *value > UINT32_MAX) return;
  if (!slot || *value > *slot) slot = static_cast<uint32_t>(*value);
}

}  // namespace

tCpuTimes ReadCpuTimes(const std::string& root, tKeptFiles* kept) {
  tCpuTimes times;
  const auto text = ReadText(RootPath(root, "proc/stat"), kept);
  if (!text) return times;
  std::string_view rest = CompleteLines(*text);
  while (!rest.empty()) {
    std::string_view line = NextLine(rest);
    const std::string_view name = NextField(line);
    if (name.substr(0, 3) != "cpu") {
      if (!times.cpus.empty() || times.all) break;  // the cpu lines come first; skip intr & co.
      continue;
    }
    if (name == "cpu") {
      if (auto t = ParseCpuLine(line, -1)) times.all = *t;
      continue;
    }
    const auto id = NumberAfter(name, "cpu");
    if (!id || *id > 1000000) continue;
    if (auto t = ParseCpuLine(line, static_cast<int>(*id))) times.cpus.push_back(*t);
  }
  return times;
}

int CpuCount(const tCpuTimes& times) {
  return std::max<int>(1, static_cast<int>(times.cpus.size()));
}

int CpuLoad(const tCpuTime& previous, const tCpuTime& current) {
  if (current.total <= previous.total || current.idle < previous.idle) return 0;
  uint64_t elapsed = current.total - previous.total;
  uint64_t idle = current.idle - previous.idle;
  if (idle >= elapsed) return 0;
  uint64_t busy = elapsed - idle;
  // Keep busy * 10000 inside 64 bits; real deltas are far below this.
  while (elapsed > UINT64_MAX / 10000) {
    elapsed >>= 1;
    busy >>= 1;
  }
  return static_cast<int>(DivideHalfEven(busy * 10000, elapsed));
}

std::vector<int> CpuLoads(const tCpuTimes& previous, const tCpuTimes& current) {
  std::vector<int> loads;
  loads.reserve(current.cpus.size());
  for (const tCpuTime& now : current.cpus) {
    int load = 0;
    for (const tCpuTime& before : previous.cpus)
      if (before.id == now.id) {
        load = CpuLoad(before, now);
        break;
      }
    loads.push_back(load);
  }
  return loads;
}

namespace {

tCpuClockFiles FindClockFiles(const std::string& root) {
  tCpuClockFiles files;
  files.found = true;
  files.root = root;
  const std::string cpuFolder = RootPath(root, "sys/devices/system/cpu/");
  const auto look = [&files](const std::string& base) {
    const std::string current = base + "scaling_cur_freq";
    std::optional<uint32_t> clock;
    KeepHigher(clock, ReadUnsigned(current));
    if (clock) files.current.push_back(current);
    KeepHigher(files.maximum, ReadUnsigned(base + "cpuinfo_max_freq"));
  };
  // CPUs that share a policy share the clock, so the policies are the cheap way round.
  for (const std::string& name : ListFolder(cpuFolder + "cpufreq"))
    if (NumberAfter(name, "policy")) look(cpuFolder + "cpufreq/" + name + "/");
  if (files.current.empty()) {
    for (const std::string& name : ListFolder(cpuFolder))
      if (NumberAfter(name, "cpu")) look(cpuFolder + name + "/cpufreq/");
  }
  return files;
}

// No cpufreq driver (virtual machines): /proc/cpuinfo has "cpu MHz\t\t: 2399.998" per CPU.
void ClockFromCpuinfo(const std::string& root, tKeptFiles* kept, tCpuClock& clock) {
  const auto text = ReadText(RootPath(root, "proc/cpuinfo"), kept);
  if (!text) return;
  std::string_view rest = CompleteLines(*text);
  while (!rest.empty()) {
    const std::string_view line = NextLine(rest);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos || TrimView(line.substr(0, colon)) != "cpu MHz") continue;
    // from_chars, not strtod: the locale Qt sets may want a decimal comma.
    const std::string_view value = TrimView(line.substr(colon + 1));
    double mhz = 0;
    const auto [ptr, ec] = std::from_chars(value.data(), value.data() + value.size(), mhz);
    if (ec != std::errc() || ptr != value.data() + value.size() || !(mhz > 0) || mhz > 4.0e6)
      continue;
    KeepHigher(clock.current, static_cast<uint64_t>(std::nearbyint(mhz * 1000.0)));
  }
}

}  // namespace

tCpuClock ReadCpuClock(const std::string& root, tCpuClockFiles& files, tKeptFiles& kept) {
  if (!files.found || files.stale || files.root != root) files = FindClockFiles(root);
  tCpuClock clock;
  clock.maximum = files.maximum;
  for (const std::string& path : files.current) {
    const auto text = kept.Read(path);
    if (!text) {
      files.stale = true;
      continue;
    }
    KeepHigher(clock.current, ParseUnsigned(TrimView(*text)));
  }
  if (!clock.current) ClockFromCpuinfo(root, &kept, clock);
  return clock;
}

tCpuClock ReadCpuClock(const std::string& root) {
  tCpuClockFiles files;
  tKeptFiles kept;
  return ReadCpuClock(root, files, kept);
}

}  // namespace kv
