#pragma once
// A fake /sys/class for libsensors. libsensors insists that /sys is a sysfs mount (statfs
// magic), so the fake tree cannot replace /sys itself: a process in a private mount namespace
// binds the fake "class" folder over /sys/class and a test configuration over
// /etc/sensors3.conf. Call it in a forked child only.
#include <sched.h>
#include <sys/mount.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

#include "support/ChildProcess.h"

namespace kvtest {

inline constexpr const char* SensorsConf = "/etc/sensors3.conf";

// root holds "class/" and "sensors3.conf". Empty when done, else why not: a plain chroot, a
// container or a user without CAP_SYS_ADMIN refuses it, which is a reason to skip, not a failure.
inline std::string EnterFakeSysfs(const std::string& root) {
  if (::unshare(CLONE_NEWNS) != 0) return std::string("unshare(CLONE_NEWNS): ") + std::strerror(errno);
  const auto mountOrFail = [](const char* source, const char* target, unsigned long flags) -> std::string {
    if (::mount(source, target, nullptr, flags, nullptr) == 0) return {};
    return std::string("mount ") + (source ? source : "") + " on " + target + ": " + std::strerror(errno);
  };
  std::string refused = mountOrFail(nullptr, "/", MS_REC | MS_PRIVATE);
  if (refused.empty()) refused = mountOrFail((root + "class").c_str(), "/sys/class", MS_BIND);
  if (refused.empty()) refused = mountOrFail((root + "sensors3.conf").c_str(), SensorsConf, MS_BIND);
  return refused;
}

// child run in a forked process inside the fake tree; where the tree cannot be entered, the
// child ends with ChildSkipped and the reason as its output.
inline tChildRun RunInFakeSysfs(const std::string& root, const std::function<int()>& child) {
  return RunChild([&] {
    if (const std::string refused = EnterFakeSysfs(root); !refused.empty()) {
      std::fputs(refused.c_str(), stdout);
      return ChildSkipped;
    }
    return child();
  });
}

}  // namespace kvtest
