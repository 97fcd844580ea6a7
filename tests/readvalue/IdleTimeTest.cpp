// The user's idle time from the X server. Each case runs in a child process, because the reader
// opens its display once per process.
#include "platform/IdleTime.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <thread>

extern char** environ;

namespace {

// Exit code 0 when the reader answers as expected under this DISPLAY (nullptr: none set).
void ExpectIdle(const char* display, bool known) {
  EXPECT_EXIT(
      {
        if (display) ::setenv("DISPLAY", display, 1);
        else ::unsetenv("DISPLAY");
        const std::optional<uint32_t> first = kv::ReadIdleSeconds();
        const std::optional<uint32_t> second = kv::ReadIdleSeconds();  // the kept connection
        const bool ok = known ? first && second && *second < 600 : !first && !second;
        std::exit(ok ? 0 : 1);
      },
      testing::ExitedWithCode(0), "");
}

// A private X server for the test; Pid() is 0 when none could be started.
class Xvfb {
 public:
  Xvfb() : display_(":" + std::to_string(300 + ::getpid() % 600)) {
    const std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
    char* argv[] = {const_cast<char*>("Xvfb"), display_.data(), const_cast<char*>("-nolisten"),
                    const_cast<char*>("tcp"), nullptr};
    if (::posix_spawnp(&pid_, "Xvfb", nullptr, nullptr, argv, environ) != 0) {
      pid_ = 0;
      return;
    }
    for (int i = 0; i < 100 && !std::filesystem::exists(socket); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  ~Xvfb() {
    if (pid_ == 0) return;
    ::kill(pid_, SIGTERM);
    ::waitpid(pid_, nullptr, 0);
  }
  pid_t Pid() const { return pid_; }
  const std::string& Display() const { return display_; }

 private:
  std::string display_;
  pid_t pid_ = 0;
};

TEST(IdleTime, UnknownWithoutAReachableDisplay) {
  ExpectIdle(nullptr, false);
  ExpectIdle("", false);
  ExpectIdle(":4711", false);  // no server there
}

TEST(IdleTime, SecondsSinceTheLastInputFromAnXServer) {
  Xvfb server;
  if (server.Pid() == 0) FAIL() << "Xvfb could not be started (scripts/install-deps installs it)";
  ExpectIdle(server.Display().c_str(), true);
}

}  // namespace
