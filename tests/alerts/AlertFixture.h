#pragma once
// Fresh readings, default settings and channels, a fake system tree, and every alert event
// caught instead of acted on.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "alerts/AlertActions.h"
#include "alerts/Alerts.h"
#include "displays/Formatting.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/SystemTree.h"

namespace kvtest {

class AlertTest : public SystemTreeTest {
 protected:
  void SetUp() override {
    SystemTreeTest::SetUp();
    kv::SetDefaultChannelSettings();
    kv::SetDecimalSeparator(".");
    kv::Alerts().Reset();
    kv::SetAlertSink([this](const kv::tAlertEvent& e) { events.push_back(e); });
  }
  void TearDown() override {
    kv::SetAlertSink(kv::RunAlertActions);
    kv::Alerts().Reset();
    kv::ClearSourceOverrides();
    kv::SetDecimalSeparator("");
    kv::SetDefaultChannelSettings();
    SystemTreeTest::TearDown();
  }
  // One pass of T1 (hundredths of a degree), then the evaluation.
  void PassT1(int16_t value) {
    kv::Readings.T[0] = value;
    kv::EvaluateAlerts();
  }

  std::vector<kv::tAlertEvent> events;
};

// Runs the event loop until done() or the time is up.
inline bool SpinUntil(const std::function<bool()>& done, std::chrono::milliseconds limit) {
  const auto end = std::chrono::steady_clock::now() + limit;
  while (!done()) {
    if (std::chrono::steady_clock::now() > end) return false;
    QCoreApplication::processEvents();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return true;
}

}  // namespace kvtest
