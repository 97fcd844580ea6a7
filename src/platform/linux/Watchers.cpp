#include "platform/Watchers.h"

#include <fcntl.h>
#include <sys/timerfd.h>
#include <unistd.h>

#include <QSocketNotifier>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <ctime>

namespace kv {

ClockChangeWatcher::ClockChangeWatcher(QObject* parent) : QObject(parent) {
  fd_ = ::timerfd_create(CLOCK_REALTIME, TFD_NONBLOCK | TFD_CLOEXEC);
  if (fd_ < 0 || !Arm()) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    return;
  }
  notifier_ = new QSocketNotifier(fd_, QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &ClockChangeWatcher::OnReadable);
}

ClockChangeWatcher::~ClockChangeWatcher() {
  if (fd_ >= 0) ::close(fd_);
}

// An absolute timer far in the future that the kernel cancels whenever the clock is set.
bool ClockChangeWatcher::Arm() {
  itimerspec spec{};
  spec.it_value.tv_sec = INT32_MAX;
  return ::timerfd_settime(fd_, TFD_TIMER_ABSTIME | TFD_TIMER_CANCEL_ON_SET, &spec, nullptr) == 0;
}

void ClockChangeWatcher::OnReadable() {
  uint64_t expirations = 0;
  const ssize_t n = ::read(fd_, &expirations, sizeof expirations);
  if (n < 0 && errno == ECANCELED) {
    Arm();
    emit ClockChanged();
  }
}

namespace {
int signalPipe[2] = {-1, -1};

void OnSignal(int signalNumber) {
  const int saved = errno;
  const char byte = static_cast<char>(signalNumber);
  [[maybe_unused]] const ssize_t n = ::write(signalPipe[1], &byte, 1);
  errno = saved;
}
}  // namespace

TerminationWatcher::TerminationWatcher(QObject* parent) : QObject(parent) {
  if (signalPipe[0] < 0 && ::pipe2(signalPipe, O_NONBLOCK | O_CLOEXEC) != 0) return;
  struct sigaction action {};
  action.sa_handler = OnSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::sigaction(sig, &action, nullptr);
  notifier_ = new QSocketNotifier(signalPipe[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, &TerminationWatcher::OnReadable);
}

TerminationWatcher::~TerminationWatcher() {
  for (const int sig : {SIGTERM, SIGINT, SIGHUP}) ::signal(sig, SIG_DFL);
}

void TerminationWatcher::OnReadable() {
  char byte = 0;
  while (::read(signalPipe[0], &byte, 1) == 1) emit Terminated(byte);
}

}  // namespace kv
