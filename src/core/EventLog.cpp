#include "core/EventLog.h"

#include <fcntl.h>
#include <unistd.h>

#include <QString>
#include <atomic>
#include <mutex>

namespace kv {

const char* const EventLogName = "KVEvents.txt";

namespace {

std::mutex logMutex;  // serialises the open-append-close of whole lines
std::string logPath;
std::string ftpPass;
std::string proxyPass;
std::atomic<bool> debugMode{false};

}  // namespace

void SetEventLogPath(const std::string& path) {
  std::lock_guard lock(logMutex);
  logPath = path;
}

std::string EventLogPath() {
  std::lock_guard lock(logMutex);
  return logPath;
}

void SetDebugMode(bool on) { debugMode.store(on); }
bool DebugMode() { return debugMode.load(); }

void SetProtocolPasswords(const std::string& ftpPassword, const std::string& proxyPassword) {
  std::lock_guard lock(logMutex);
  ftpPass = ftpPassword;
  proxyPass = proxyPassword;
}

std::string FormatLogLine(TDateTime local, const std::string& message) {
  return "[" + DateTimeText(local) + "] " + message + "\r\n";
}

std::string MaskPassword(const std::string& text, const std::string& password) {
  if (password.empty()) return text;
  const QString pattern = QString::fromStdString(password);
  QString s = QString::fromStdString(text);
  s.replace(pattern, QStringLiteral("*****"), Qt::CaseInsensitive);
  return s.toStdString();
}

void LogEvent(const std::string& message) noexcept {
  if (!DebugMode()) return;
  try {
    const std::string line = FormatLogLine(LocalNow(), message);
    std::lock_guard lock(logMutex);
    if (logPath.empty()) return;
    const int fd = ::open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0600);
    if (fd < 0) return;
    const char* p = line.data();
    size_t left = line.size();
    while (left > 0) {
      const ssize_t n = ::write(fd, p, left);
      if (n <= 0) break;  // disk full or the like: the line is lost
      p += n;
      left -= static_cast<size_t>(n);
    }
    ::close(fd);
  } catch (...) {
    // The log never disturbs its caller.
  }
}

void LogProtocol(tProtocolDirection direction, const std::string& text) noexcept {
  try {
    std::string ftp, proxy;
    {
      std::lock_guard lock(logMutex);
      ftp = ftpPass;
      proxy = proxyPass;
    }
    std::string line = (direction == tProtocolDirection::Sent ? "Sent:     " : "Received: ") + text;
    line = MaskPassword(MaskPassword(line, ftp), proxy);
    LogEvent(line);
  } catch (...) {
  }
}

void LogError(const char* tag, const std::exception& e) noexcept {
  try {
    LogEvent(std::string(tag) + e.what());
  } catch (...) {
  }
}

void LogUnknownError(const char* tag) noexcept {
  try {
    LogEvent(std::string(tag) + "unknown error");
  } catch (...) {
  }
}

}  // namespace kv
