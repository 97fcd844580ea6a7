#include "platform/System.h"

#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

namespace kv {
namespace {

TEST(System, WordSizeIsTheKernelsNotTheProgramsOwn) {
  for (const char* m : {"x86_64", "aarch64", "ppc64le", "riscv64", "s390x", "loongarch64"})
    EXPECT_EQ(WordSizeOf(m), 64) << m;
  for (const char* m : {"i686", "i386", "armv7l", "mips", "ppc"}) EXPECT_EQ(WordSizeOf(m), 32) << m;
  utsname u{};
  ASSERT_EQ(uname(&u), 0);
  EXPECT_EQ(WordSize(), WordSizeOf(u.machine));
}

TEST(System, SecretsNeverReachACoreFile) {
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    const bool ok = ForbidCoreDumps();
    rlimit core{};
    getrlimit(RLIMIT_CORE, &core);
    _exit(ok && prctl(PR_GET_DUMPABLE) == 0 && core.rlim_cur == 0 && core.rlim_max == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace kv
