#include <gtest/gtest.h>
#include <signal.h>

#include <QElapsedTimer>
#include <filesystem>

#include "core/Process.h"
#include "system/Helpers.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

// Running, not merely a zombie waiting for a reaper that may never come in a container.
bool Alive(long long pid) {
  std::error_code ec;
  (void)std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ec);
  return !ec;
}

// The shut-down ends the helper windows it opened: a program started as kvsysinfo (here a copy
// of sleep, which SIGTERM ends) is gone right after, without waiting for the kill.
TEST(ProductPrograms, ShutDownEndsAStartedProgramPolitely) {
  kvtest::TempDir dir;
  tProcessFacts process;
  process.AppDir = dir.Path();
  tProductPrograms programs(process);
  std::filesystem::copy_file("/bin/sleep", dir.File("kvsysinfo"));
  std::filesystem::permissions(dir.File("kvsysinfo"), std::filesystem::perms::owner_all);
  ASSERT_TRUE(programs.StartSysInfoProgram());  // "kvsysinfo 1": a second of sleep
  const std::vector<long long> pids = programs.ProductProgramPids();
  ASSERT_FALSE(pids.empty());
  const long long pid = pids.back();
  EXPECT_TRUE(Alive(pid));
  QElapsedTimer t;
  t.start();
  programs.EndProductPrograms(5000);
  EXPECT_LT(t.elapsed(), 900);  // ended by SIGTERM, not by its own end after a second
  EXPECT_FALSE(Alive(pid));
  EXPECT_TRUE(programs.ProductProgramPids().empty());
  programs.EndProductPrograms(0);  // nothing left: nothing happens
}

}  // namespace
}  // namespace kv
