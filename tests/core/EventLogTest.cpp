#include "core/EventLog.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QLocale>
#include <ctime>
#include <fstream>
#include <sstream>
#include <thread>
#include <vector>

#include "support/TestSupport.h"

namespace kv {
namespace {

class EventLogTest : public testing::Test {
 protected:
  void SetUp() override {
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    SetEventLogPath(dir.File(EventLogName));
    SetDebugMode(true);
    clock.SetUtc(EncodeDateTime({2026, 12, 8, 14, 3, 7, 0}));
    SetEventLogClock(&clock);
    qputenv("TZ", "UTC");
    tzset();
  }
  void TearDown() override {
    SetEventLogClock(nullptr);
    SetDebugMode(false);
    SetProtocolPasswords("", "");
    SetEventLogPath("");
    QLocale::setDefault(QLocale::system());
    qunsetenv("TZ");
    tzset();
  }
  std::string Log() const { return kvtest::ReadFile(dir.File(EventLogName)); }

  kvtest::TempDir dir;
  FakeClock clock;
};

TEST_F(EventLogTest, LineHasLocalDateTimeAndCrLf) {
  LogEvent("Options change detected");
  LogEvent("second");
  EXPECT_EQ(Log(),
            "[08.12.26 14:03:07] Options change detected\r\n"
            "[08.12.26 14:03:07] second\r\n");
}

TEST_F(EventLogTest, MidnightShowsOnlyTheDate) {
  clock.SetUtc(EncodeDateTime({2026, 12, 9, 0, 0, 0, 0}));
  LogEvent("tick");
  clock.Advance(1000);
  LogEvent("tock");
  EXPECT_EQ(Log(), "[09.12.26] tick\r\n[09.12.26 00:00:01] tock\r\n");
}

TEST_F(EventLogTest, NothingWrittenOutsideDebugMode) {
  SetDebugMode(false);
  LogEvent("hidden");
  EXPECT_FALSE(std::ifstream(dir.File(EventLogName)).good());
}

TEST_F(EventLogTest, UnwritableLogNeverThrows) {
  SetEventLogPath(dir.File("missing/folder/KVEvents.txt"));
  EXPECT_NO_THROW(LogEvent("lost"));
  SetEventLogPath(dir.Path());  // a folder, not a file
  EXPECT_NO_THROW(LogEvent("lost"));
}

TEST_F(EventLogTest, ProtocolLabelsAlignAndPasswordsAreMaskedInAnyCase) {
  SetProtocolPasswords("SeCreT", "pr0xy");
  LogProtocol(tProtocolDirection::Sent, "PASS secret");
  LogProtocol(tProtocolDirection::Received, "echo SECRET and PR0XY and Pr0xy");
  LogProtocol(tProtocolDirection::Sent, "USER anne");
  EXPECT_EQ(Log(),
            "[08.12.26 14:03:07] Sent:     PASS *****\r\n"
            "[08.12.26 14:03:07] Received: echo ***** and ***** and *****\r\n"
            "[08.12.26 14:03:07] Sent:     USER anne\r\n");
}

TEST_F(EventLogTest, EmptyPasswordMasksNothing) {
  SetProtocolPasswords("", "");
  EXPECT_EQ(MaskPassword("PASS x", ""), "PASS x");
  LogProtocol(tProtocolDirection::Sent, "PASS x");
  EXPECT_EQ(Log(), "[08.12.26 14:03:07] Sent:     PASS x\r\n");
}

TEST_F(EventLogTest, ThreadsLoggingAtOnceGiveWholeLines) {
  constexpr int Threads = 4, Lines = 300;
  const std::string payload(200, 'x');
  std::vector<std::thread> workers;
  for (int t = 0; t < Threads; ++t)
    workers.emplace_back([&, t] {
      for (int i = 0; i < Lines; ++i) LogEvent("thread " + std::to_string(t) + " " + payload);
    });
  for (auto& w : workers) w.join();

  std::istringstream in(Log());
  std::string line;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    ASSERT_EQ(line.rfind("[08.12.26 14:03:07] thread ", 0), 0u) << line;
    ASSERT_EQ(line.back(), '\r');
    ASSERT_EQ(line.size(), std::string("[08.12.26 14:03:07] thread 0 ").size() + 200 + 1);
  }
  EXPECT_EQ(count, Threads * Lines);
}

TEST_F(EventLogTest, TimeStampDropsTheZoneAndWhatFramedIt) {
  // Long time formats with the zone in brackets, after a comma, before the clock.
  for (const char* name : {"eu_ES", "ca_ES", "sq_AL", "zh_HK", "zh_TW", "C"}) {
    QLocale::setDefault(QLocale(QString::fromLatin1(name)));
    const std::string text = LongTimeText(EncodeDateTime({2026, 12, 8, 14, 3, 7, 0}));
    EXPECT_EQ(text.find_first_of("()[],"), std::string::npos) << name << ": " << text;
    EXPECT_NE(text.find("03"), std::string::npos) << name << ": " << text;
    EXPECT_NE(text.back(), ' ') << name;
    EXPECT_NE(text.front(), ' ') << name;
  }
  QLocale::setDefault(QLocale(QString::fromLatin1("eu_ES")));
  EXPECT_EQ(LongTimeText(EncodeDateTime({2026, 12, 8, 14, 3, 7, 0})), "14:03:07");
}

TEST(TimeFormatWithoutZone, KeepsTheClockAndQuotedText) {
  const struct {
    const char* format;
    const char* clock;
  } cases[] = {
      {"HH:mm:ss (t)", "HH:mm:ss"},
      {"h:mm:ss AP, t", "h:mm:ss AP"},
      {"t HH:mm:ss", "HH:mm:ss"},
      {"ah:mm:ss [t]", "ah:mm:ss"},
      {"[ t ] HH:mm:ss", "HH:mm:ss"},
      {"HH:mm:ss\u202f(t)", "HH:mm:ss"},             // a non-breaking blank before the frame
      {"H 'h' mm 'et' ss t", "H 'h' mm 'et' ss"},       // the t of quoted text stays
      {"'t' HH:mm", "'t' HH:mm"},
      {"(HH:mm:ss) t", "(HH:mm:ss)"},                   // a frame with something in it stays
      {"HH:mm:ss (z)", "HH:mm:ss (z)"},
      {"HH:mm:ss", "HH:mm:ss"},
      {"t", ""},
      {"(", "("},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(TimeFormatWithoutZone(c.format), c.clock) << c.format;
}

TEST_F(EventLogTest, FloodIsCappedPerSecondAndCounted) {
  SetEventLogLimits();
  for (int i = 0; i < LogBurstLimit + 5000; ++i) LogEvent("sensor " + std::to_string(i));
  clock.Advance(1000);
  LogEvent("next pass");
  std::istringstream in(Log());
  std::string line, last, beforeLast;
  int count = 0;
  while (std::getline(in, line)) {
    ++count;
    beforeLast = last;
    last = line;
  }
  EXPECT_EQ(count, LogBurstLimit + 2);
  EXPECT_EQ(beforeLast, "[08.12.26 14:03:08] 5000 log lines suppressed\r");
  EXPECT_EQ(last, "[08.12.26 14:03:08] next pass\r");
}

TEST_F(EventLogTest, FullLogMovesToOneOldFile) {
  SetEventLogLimits(1000);
  for (int i = 0; i < 52; ++i) LogEvent("line " + std::to_string(i) + std::string(40, '.'));
  const std::string old = kvtest::ReadFile(dir.File(std::string(EventLogName) + ".old"));
  EXPECT_GE(old.size(), 1000u);
  EXPECT_LT(old.size(), 2000u);
  EXPECT_LT(Log().size(), 1000u);
  EXPECT_NE(Log().find("line 51"), std::string::npos);
  SetEventLogLimits();
}

TEST_F(EventLogTest, PlantedLinkIsNeverFollowed) {
  const std::string victim = dir.File("victim");
  kvtest::WriteFile(victim, "precious");
  ASSERT_EQ(::symlink(victim.c_str(), dir.File(EventLogName).c_str()), 0);
  LogEvent("must not land in the victim");
  EXPECT_EQ(kvtest::ReadFile(victim), "precious");
}

}  // namespace
}  // namespace kv
