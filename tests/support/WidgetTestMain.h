#pragma once
// The main of the widget suites (gui, tools): they need a widget application on a real X server,
// so the suite starts its own Xvfb on a free display (KV_TEST_DISPLAY names one to use instead).
// Without Xvfb it falls back to the offscreen platform. Header-only: only these suites link
// Qt Widgets.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QByteArray>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace kvtest {
namespace widgetmain {

inline pid_t XvfbPid = 0;

// Starts Xvfb, which picks a free display and writes its number to a pipe; "" on failure.
inline std::string StartXvfb(const char* screen = "1280x1024x24", pid_t* started = &XvfbPid) {
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return {};
  const pid_t pid = ::fork();
  if (pid < 0) return {};
  if (pid == 0) {
    ::prctl(PR_SET_PDEATHSIG, SIGTERM);  // never outlives a crashed test
    ::dup2(fds[1], 3);
    const int null = ::open("/dev/null", O_WRONLY);
    if (null >= 0) {
      ::dup2(null, 1);
      ::dup2(null, 2);
    }
    ::execlp("Xvfb", "Xvfb", "-displayfd", "3", "-screen", "0", screen, "-nolisten", "tcp",
             static_cast<char*>(nullptr));
    ::_exit(127);
  }
  ::close(fds[1]);
  std::string number;
  char c;
  // Xvfb writes the number and a newline once it accepts connections.
  while (::read(fds[0], &c, 1) == 1 && c != '\n') number += c;
  ::close(fds[0]);
  if (number.empty()) {
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
    return {};
  }
  *started = pid;
  return ":" + number;
}

inline void StopXvfb() {
  if (XvfbPid <= 0) return;
  ::kill(XvfbPid, SIGTERM);
  ::waitpid(XvfbPid, nullptr, 0);
}

}  // namespace widgetmain


// Runs the suite on its own display. keepGivenEnvironment puts DISPLAY and QT_QPA_PLATFORM back
// once the application is up, so programs the tests start see what the suite was given.
inline int RunWidgetTests(int argc, char** argv, const char* suite, bool keepGivenEnvironment) {
  bool listing = false;
  for (int i = 1; i < argc; ++i) listing |= std::strncmp(argv[i], "--gtest_list_tests", 18) == 0;
  const QByteArray givenDisplay = qgetenv("DISPLAY"), givenPlatform = qgetenv("QT_QPA_PLATFORM");
  std::string display = qEnvironmentVariable("KV_TEST_DISPLAY").toStdString();
  if (display.empty() && !listing) display = widgetmain::StartXvfb();
  if (!display.empty()) {
    std::fprintf(stderr, "%s: windows on display %s\n", suite, display.c_str());
    qputenv("DISPLAY", display.c_str());
    qputenv("QT_QPA_PLATFORM", "xcb");
  } else {
    // Test discovery, or no Xvfb: never look for a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  int result = 0;
  {
    QApplication app(argc, argv);
    if (keepGivenEnvironment) {
      const auto restore = [](const char* name, const QByteArray& value) {
        if (value.isNull()) qunsetenv(name); else qputenv(name, value);
      };
      restore("DISPLAY", givenDisplay);
      restore("QT_QPA_PLATFORM", givenPlatform);
    }
    testing::InitGoogleTest(&argc, argv);
    result = RUN_ALL_TESTS();
  }
  widgetmain::StopXvfb();
  return result;
}

}  // namespace kvtest
