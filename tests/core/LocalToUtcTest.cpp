// LocalToUtc at the wall-clock times a daylight-saving change skips or repeats.
#include <gtest/gtest.h>

#include <QByteArray>
#include <ctime>

#include "core/DateTime.h"
#include "support/TimeZone.h"

namespace kv {
namespace {

TDateTime At(int y, int mo, int d, int h, int mi) { return EncodeDateTime({y, mo, d, h, mi, 0, 0}); }

void ExpectUtc(TDateTime local, TDateTime utc) {
  EXPECT_NEAR((LocalToUtc(local) - utc) * SecondsPerDay, 0.0, 1e-3) << "local " << DateTimeText(local);
}

// A skipped time already counts as daylight time: the offset after the change applies.
TEST(LocalToUtc, SkippedTimesTakeTheOffsetAfterTheChange) {
  {
    kvtest::Zone zone("Europe/Berlin");
    ExpectUtc(At(2026, 3, 29, 1, 59), At(2026, 3, 29, 0, 59));
    ExpectUtc(At(2026, 3, 29, 2, 0), At(2026, 3, 29, 0, 0));
    ExpectUtc(At(2026, 3, 29, 2, 30), At(2026, 3, 29, 0, 30));
    ExpectUtc(At(2026, 3, 29, 3, 0), At(2026, 3, 29, 1, 0));
  }
  {
    kvtest::Zone zone("America/New_York");
    ExpectUtc(At(2026, 3, 8, 2, 30), At(2026, 3, 8, 6, 30));
  }
  {
    // Samoa skipped 30 December 2011 whole, going from -10 to +14 hours.
    kvtest::Zone zone("Pacific/Apia");
    ExpectUtc(At(2011, 12, 30, 12, 0), At(2011, 12, 29, 22, 0));
  }
}

// A repeated hour is still daylight time until the change: the first of the two instants.
TEST(LocalToUtc, RepeatedTimesAreTheDaylightOnes) {
  kvtest::Zone zone("Europe/Berlin");
  ExpectUtc(At(2026, 10, 25, 2, 30), At(2026, 10, 25, 0, 30));
  ExpectUtc(At(2026, 10, 25, 3, 0), At(2026, 10, 25, 2, 0));
}

}  // namespace
}  // namespace kv
