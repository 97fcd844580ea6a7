#pragma once
// A settings folder, an event log in debug mode, a fake clock and series whose acquisition
// stamps the clock's time and the figures a test chose.
#include <gtest/gtest.h>

#include "core/EventLog.h"
#include "statistics/StatStore.h"
#include "support/SeriesState.h"
#include "support/TestSupport.h"

namespace kv {

class StatFixture : public testing::Test, protected kvtest::FakeTime, public kvtest::SeriesState {
 protected:
  StatFixture() : FakeTime(UnixMsFromDateTime(EncodeDateTime({2026, 12, 9, 12, 0, 0, 0}))), SeriesState(&clock_) {}
  void SetUp() override {
    Process.SettingsDir = dir.Path();
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDebugMode(true);
    ResetReadings(Current);
    Acquire = [this](bool) {
      Readings.Time = clock_.UtcNow();
      ReadingsExtra.Time2 = Readings.Time;
      Readings.T[0] = temperature;
      Readings.V[0] = voltage;
      ++passes;
    };
  }
  void TearDown() override {
    SetDebugMode(false);
    SetEventLogPath("");
  }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }

  kvtest::TempDir dir;
  int16_t temperature = 4500;
  int16_t voltage = 1200;
  int passes = 0;
};

}  // namespace kv
