#include "platform/MemoryMetrics.h"

#include <time.h>

#include "platform/linux/SysText.h"

namespace kv {

using namespace systext;

tMemInfo ReadMemInfo(const std::string& root, tKeptFiles* kept) {
  tMemInfo info;
  const auto text = ReadText(RootPath(root, "proc/meminfo"), kept);
  if (!text) return info;

  std::optional<uint64_t> total, available, memFree, buffers, cached;
  struct Wanted {
    std::string_view key;
    std::optional<uint64_t>* slot;
  };
  std::optional<uint64_t> committed, commitLimit, swapTotal, swapFree;
  const Wanted wanted[] = {
      {"MemTotal", &total},         {"MemFree", &memFree},         {"MemAvailable", &available},
      {"Buffers", &buffers},        {"Cached", &cached},           {"SwapTotal", &swapTotal},
      {"SwapFree", &swapFree},      {"CommitLimit", &commitLimit}, {"Committed_AS", &committed},
  };

  // Lines look like "MemTotal:       16314368 kB".
  std::string_view rest = CompleteLines(*text);
  while (!rest.empty()) {
    std::string_view line = NextLine(rest);
    const size_t colon = line.find(':');
    if (colon == std::string_view::npos) continue;
    const std::string_view key = line.substr(0, colon);
    for (const Wanted& w : wanted) {
      if (w.key != key) continue;
      std::string_view values = line.substr(colon + 1);
      const std::string_view number = NextField(values);
      const std::string_view unit = NextField(values);
      if (unit.empty() || unit == "kB") *w.slot = ParseUnsigned(number);
      break;
    }
  }

  if (!total) return info;
  info.total = *total;
  if (available) {
    info.available = *available;
  } else if (memFree) {
    info.available = *memFree + buffers.value_or(0) + cached.value_or(0);
    info.availableEstimated = true;
  }
  if (info.available > info.total) info.available = info.total;
  info.cache = cached.value_or(0) + buffers.value_or(0);
  info.committed = committed.value_or(0);
  info.commitLimit = commitLimit.value_or(0);
  info.swapTotal = swapTotal.value_or(0);
  info.swapFree = swapFree.value_or(0);
  return info;
}

std::optional<uint64_t> ReadUptimeSeconds(const std::string& root, tKeptFiles* kept) {
  const auto text = ReadText(RootPath(root, "proc/uptime"), kept);
  if (!text) return std::nullopt;
  std::string_view rest = *text;
  const std::string_view first = NextField(rest);
  const std::string_view whole = first.substr(0, first.find('.'));
  return ParseUnsigned(whole);
}

std::optional<uint64_t> BootClockSeconds() {
  timespec ts {};
  if (::clock_gettime(CLOCK_BOOTTIME, &ts) != 0 || ts.tv_sec < 0) return std::nullopt;
  return static_cast<uint64_t>(ts.tv_sec);
}

}  // namespace kv
