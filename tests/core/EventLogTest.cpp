#include "core/EventLog.h"

#include <gtest/gtest.h>

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
    SetClock(&clock);
    qputenv("TZ", "UTC");
    tzset();
  }
  void TearDown() override {
    SetClock(nullptr);
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

}  // namespace
}  // namespace kv
