#include "platform/RunningPrograms.h"

#include <unistd.h>

#include <algorithm>
#include <vector>

#include "platform/linux/SysText.h"

namespace kv {

namespace {

// PATH_MAX: the kernel never gives a longer link text.
constexpr size_t MaxLinkText = 4096;

std::optional<std::string> LinkText(const std::string& path) {
  std::string text(MaxLinkText, '\0');
  const ssize_t n = ::readlink(path.c_str(), text.data(), text.size());
  if (n <= 0 || static_cast<size_t>(n) >= text.size()) return std::nullopt;
  text.resize(static_cast<size_t>(n));
  return text;
}

std::string ProcessLink(const std::string& procRoot, int pid, const char* link) {
  return systext::RootPath(procRoot, "proc/" + std::to_string(pid) + "/" + link);
}

}  // namespace

void ForEachRunningProgram(const std::string& procRoot,
                           const std::function<bool(int pid, const std::string& exe)>& visit) {
  std::vector<int> pids;
  for (const std::string& name : systext::ListFolder(systext::RootPath(procRoot, "proc"))) {
    const std::optional<uint64_t> pid = systext::ParseUnsigned(name);
    if (pid && *pid > 0 && *pid <= 0x3fffffff) pids.push_back(static_cast<int>(*pid));
  }
  std::sort(pids.begin(), pids.end());
  constexpr std::string_view Deleted = " (deleted)";
  for (const int pid : pids) {
    std::optional<std::string> exe = LinkText(ProcessLink(procRoot, pid, "exe"));
    if (!exe) continue;
    if (exe->size() > Deleted.size() && exe->ends_with(Deleted)) exe->resize(exe->size() - Deleted.size());
    if (visit(pid, *exe)) return;
  }
}

std::optional<std::string> ProcessWorkingFolder(const std::string& procRoot, int pid) {
  return LinkText(ProcessLink(procRoot, pid, "cwd"));
}

}  // namespace kv
