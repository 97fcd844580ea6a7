#include "core/DateTime.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <cstdlib>
#include <ctime>

namespace kv {
namespace {

class ZoneGuard {
 public:
  explicit ZoneGuard(const char* tz) : old_(qgetenv("TZ")) {
    qputenv("TZ", tz);
    tzset();
  }
  ~ZoneGuard() {
    if (old_.isEmpty()) qunsetenv("TZ"); else qputenv("TZ", old_);
    tzset();
  }
 private:
  QByteArray old_;
};

TEST(DateTime, DaysCountFrom1899) {
  EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
  EXPECT_DOUBLE_EQ(EncodeDateTime({1970, 1, 1}), UnixEpochDays);
  EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0, 0}), 36526.5);
  EXPECT_DOUBLE_EQ(DateTimeFromUnixMs(0), UnixEpochDays);
  const tDateParts p = DecodeDateTime(EncodeDateTime({2026, 3, 29, 1, 59, 58, 250}));
  EXPECT_EQ(p.year, 2026);
  EXPECT_EQ(p.month, 3);
  EXPECT_EQ(p.day, 29);
  EXPECT_EQ(p.hour, 1);
  EXPECT_EQ(p.minute, 59);
  EXPECT_EQ(p.second, 58);
  EXPECT_EQ(p.msec, 250);
}

TEST(DateTime, FakeClockMovesUtcNow) {
  FakeClock clock;
  clock.SetUtc(EncodeDateTime({2026, 12, 9, 10, 0, 0, 0}));
  const TDateTime before = clock.UtcNow();
  clock.Advance(20000);
  EXPECT_NEAR((clock.UtcNow() - before) * SecondsPerDay, 20.0, 1e-6);
  clock.JumpWallClock(-600000);
  EXPECT_NEAR((clock.UtcNow() - before) * SecondsPerDay, -580.0, 1e-6);
  EXPECT_EQ(clock.MonotonicMs(), 20000);
  EXPECT_GT(UtcNow(), EncodeDateTime({2020, 1, 1}));
  EXPECT_GT(SystemTime().UtcNow(), EncodeDateTime({2020, 1, 1}));
}

TEST(DateTime, LocalConversionFollowsDaylightSaving) {
  ZoneGuard zone("Europe/Berlin");
  const TDateTime winter = EncodeDateTime({2026, 1, 15, 12, 0, 0, 0});
  const TDateTime summer = EncodeDateTime({2026, 7, 15, 12, 0, 0, 0});
  EXPECT_NEAR((UtcToLocal(winter) - winter) * 24, 1.0, 1e-9);
  EXPECT_NEAR((UtcToLocal(summer) - summer) * 24, 2.0, 1e-9);
  EXPECT_NEAR(LocalToUtc(UtcToLocal(summer)), summer, 1e-9);
  EXPECT_NEAR(LocalToUtc(UtcToLocal(winter)), winter, 1e-9);
  EXPECT_DOUBLE_EQ(DisplayTime(summer, true), summer);
  EXPECT_NEAR(DisplayTime(summer, false), UtcToLocal(summer), 1e-12);
}

}  // namespace
}  // namespace kv
