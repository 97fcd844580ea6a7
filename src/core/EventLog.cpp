#include "core/EventLog.h"

#include <fcntl.h>
#include <sys/stat.h>
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
std::atomic<const Clock*> logClock{&SystemTime()};

// A flood of lines (a sensor program offering thousands of entries, every pass) must neither
// fill the disk nor drown the rest: lines beyond the burst limit of one window are counted and
// reported once, and a full log moves to one ".old" file.
constexpr int64_t BurstWindowMs = 1000;
bool burstWindowOpen = false;
int64_t burstWindowStart = 0;
int burstLines = 0;
int suppressedLines = 0;
size_t maxLogBytes = 4u << 20;

void WriteAll(int fd, const std::string& text) {
  const char* p = text.data();
  size_t left = text.size();
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n <= 0) break;  // disk full or the like: the line is lost
    p += n;
    left -= static_cast<size_t>(n);
  }
}

// Called with logMutex held: whether this line may be written, and the note about the lines
// dropped in the window before, if any.
bool AdmitLine(std::string& note, TDateTime local) {
  const int64_t now = logClock.load()->MonotonicMs();
  if (!burstWindowOpen || now - burstWindowStart >= BurstWindowMs || now < burstWindowStart) {
    burstWindowOpen = true;
    if (suppressedLines > 0)
      note = FormatLogLine(local, std::to_string(suppressedLines) + " log lines suppressed");
    burstWindowStart = now;
    burstLines = 0;
    suppressedLines = 0;
  }
  if (burstLines >= LogBurstLimit) {
    ++suppressedLines;
    return false;
  }
  ++burstLines;
  return true;
}

}  // namespace

void SetEventLogLimits(size_t maxBytes) {
  std::lock_guard lock(logMutex);
  maxLogBytes = maxBytes;
  burstWindowOpen = false;
  burstLines = 0;
  suppressedLines = 0;
}

void SetEventLogClock(const Clock* clock) { logClock.store(clock ? clock : &SystemTime()); }

void SetEventLogPath(const std::string& path) {
  std::lock_guard lock(logMutex);
  logPath = path;
}

void SetDebugMode(bool on) { debugMode.store(on); }
bool DebugMode() { return debugMode.load(); }

void SetProtocolPasswords(const std::string& ftpPassword, const std::string& proxyPassword) {
  std::lock_guard lock(logMutex);
  ftpPass = ftpPassword;
  proxyPass = proxyPassword;
}

std::string FormatLogLine(TDateTime local, const std::string& message) {
  // Appended in place: GCC 12 at -O3 takes "[" + string&& for an out-of-bounds copy.
  std::string line = "[";
  line.append(DateTimeText(local)).append("] ").append(message).append("\r\n");
  return line;
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
    const TDateTime local = UtcToLocal(logClock.load()->UtcNow());
    const std::string line = FormatLogLine(local, message);
    std::lock_guard lock(logMutex);
    if (logPath.empty()) return;
    std::string note;
    if (!AdmitLine(note, local)) return;
    // Never through a link someone planted in the settings folder.
    const int fd = ::open(logPath.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
      ::close(fd);
      return;
    }
    WriteAll(fd, note + line);
    const bool full = static_cast<size_t>(st.st_size) + note.size() + line.size() >= maxLogBytes;
    ::close(fd);
    if (full) ::rename(logPath.c_str(), (logPath + ".old").c_str());
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
