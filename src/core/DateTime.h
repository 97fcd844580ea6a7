#pragma once
// Date-times are doubles counting days since 1899-12-30; the fraction is the time of day.
#include <cstdint>
#include <string>

namespace kv {

using TDateTime = double;

constexpr TDateTime UnixEpochDays = 25569.0;  // 1970-01-01 as a TDateTime
constexpr double MsPerDay = 86400000.0;
constexpr double SecondsPerDay = 86400.0;

TDateTime DateTimeFromUnixMs(int64_t unixMs);
int64_t UnixMsFromDateTime(TDateTime t);  // rounded to the nearest millisecond

struct tDateParts {
  int year = 1899, month = 12, day = 30;
  int hour = 0, minute = 0, second = 0, msec = 0;
};
TDateTime EncodeDateTime(const tDateParts& p);
tDateParts DecodeDateTime(TDateTime t);

// A time source. A monitor is made with one; tests give a FakeClock to move time without sleeping.
class Clock {
 public:
  virtual ~Clock() = default;
  virtual int64_t UtcMs() const = 0;        // milliseconds since the Unix epoch
  virtual int64_t MonotonicMs() const = 0;  // never jumps; counts while suspended
  TDateTime UtcNow() const { return DateTimeFromUnixMs(UtcMs()); }
};

class SystemClock final : public Clock {
 public:
  int64_t UtcMs() const override;
  int64_t MonotonicMs() const override;
};

class FakeClock final : public Clock {
 public:
  explicit FakeClock(int64_t utcMs = 0) : utcMs_(utcMs) {}
  int64_t UtcMs() const override { return utcMs_; }
  int64_t MonotonicMs() const override { return monoMs_; }
  void SetUtc(TDateTime t) { utcMs_ = UnixMsFromDateTime(t); }
  void SetUtcMs(int64_t ms) { utcMs_ = ms; }
  void Advance(int64_t ms) { utcMs_ += ms; monoMs_ += ms; }
  void JumpWallClock(int64_t ms) { utcMs_ += ms; }  // a clock change: monotonic stays
 private:
  int64_t utcMs_;
  int64_t monoMs_ = 0;
};

// The system's clock.
const Clock& SystemTime();

// The system clock's time; a monitor asks its own clock (tMonitor::Time).
TDateTime UtcNow();
TDateTime LocalNow();
TDateTime UtcToLocal(TDateTime utc);
// The reverse of UtcToLocal, with the offset in force at that local time.
TDateTime LocalToUtc(TDateTime local);
// Local time unless timeInUtc, for every date-time shown to the user.
TDateTime DisplayTime(TDateTime utc, bool timeInUtc);

// The system's short-date and long-time texts (the locale of the user).
std::string ShortDateText(TDateTime t);
std::string LongTimeText(TDateTime t);
std::string ShortTimeText(TDateTime t);
// Short date, a blank and long time; the time is left out at exact midnight.
std::string DateTimeText(TDateTime t);
// A locale's time format (UTF-8) without the zone name 't' and what only framed it.
std::string TimeFormatWithoutZone(const std::string& format);

}  // namespace kv
