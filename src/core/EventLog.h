#pragma once
// The diagnostic trace: one line per event in SettingsDir/KVEvents.txt, written only in debug mode.
#include <cstddef>
#include <string>

#include "core/DateTime.h"

namespace kv {

extern const char* const EventLogName;  // "KVEvents.txt"

void SetEventLogPath(const std::string& path);

void SetDebugMode(bool on);
bool DebugMode();

// The clock of the time stamps and of the burst count; nullptr: the system's.
void SetEventLogClock(const Clock* clock);

// The current FTP and FTP proxy passwords, masked in the protocol trace.
void SetProtocolPasswords(const std::string& ftpPassword, const std::string& proxyPassword);

// At most this many lines are written in one second; the rest are counted in one line.
constexpr int LogBurstLimit = 2000;
// The size at which the log moves to "<log>.old" (one generation); resets the burst count.
void SetEventLogLimits(size_t maxBytes = 4u << 20);

// Appends "[date time] message" with CR LF. Callable from any thread; never throws.
void LogEvent(const std::string& message) noexcept;

enum class tProtocolDirection { Sent, Received };
void LogProtocol(tProtocolDirection direction, const std::string& text) noexcept;

// The pieces, for tests.
std::string FormatLogLine(TDateTime local, const std::string& message);
std::string MaskPassword(const std::string& text, const std::string& password);

// Logs tag + the exception's text; for catch blocks.
void LogError(const char* tag, const std::exception& e) noexcept;
void LogUnknownError(const char* tag) noexcept;

}  // namespace kv
