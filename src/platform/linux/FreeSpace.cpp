#include <sys/statvfs.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <set>
#include <system_error>
#include <thread>

#include "platform/DiskMetrics.h"

namespace kv {

namespace {

struct tProbe {
  std::mutex mutex;
  std::condition_variable done;
  bool finished = false;
  bool abandoned = false;  // the caller gave up and marked the path as hanging
  std::optional<tDiskSpace> result;
};

// Paths whose statvfs is still running on an abandoned thread. Deliberately never destroyed: such a
// thread may finish while static objects are torn down at exit.
struct tHangingPaths {
  std::mutex mutex;
  std::set<std::string> paths;
};
tHangingPaths& Hanging() {
  static auto* hanging = new tHangingPaths;
  return *hanging;
}

std::optional<tDiskSpace> QuerySpace(const std::string& path) {
  struct statvfs st {};
  if (::statvfs(path.c_str(), &st) != 0) return std::nullopt;
  const uint64_t unit = st.f_frsize ? st.f_frsize : st.f_bsize;
  return tDiskSpace{static_cast<uint64_t>(st.f_blocks) * unit,
                    static_cast<uint64_t>(st.f_bavail) * unit};
}

}  // namespace

std::optional<tDiskSpace> FreeSpaceNow(const std::string& path) { return QuerySpace(path); }

std::optional<tDiskSpace> FreeSpace(const std::string& path, int timeoutMs) {
  tHangingPaths& hanging = Hanging();
  {
    std::lock_guard lock(hanging.mutex);
    if (hanging.paths.count(path)) return std::nullopt;
  }
  auto probe = std::make_shared<tProbe>();
  try {
    std::thread([probe, path] {
      auto result = QuerySpace(path);
      bool abandoned = false;
      {
        std::lock_guard lock(probe->mutex);
        probe->result = result;
        probe->finished = true;
        abandoned = probe->abandoned;
      }
      probe->done.notify_one();
      if (abandoned) {
        std::lock_guard lock(Hanging().mutex);
        Hanging().paths.erase(path);
      }
    }).detach();
  } catch (const std::system_error&) {
    return QuerySpace(path);  // no thread to be had: ask directly rather than not at all
  }

  std::unique_lock lock(probe->mutex);
  if (probe->done.wait_for(lock, std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs),
                           [&] { return probe->finished; }))
    return probe->result;
  // Marked while holding the probe's lock, so the worker sees `abandoned` and unmarks the path
  // when statvfs finally returns.
  probe->abandoned = true;
  std::lock_guard hangingLock(hanging.mutex);
  hanging.paths.insert(path);
  return std::nullopt;
}

}  // namespace kv
