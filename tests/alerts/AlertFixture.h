#pragma once
// Fresh readings, default settings and channels, a fake system tree, and every alert event
// caught; acted on as well once a test asks for it.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QLocale>
#include <chrono>
#include <functional>
#include <memory>
#include <thread>
#include <vector>

#include "alerts/AlertActions.h"
#include "alerts/Alerts.h"
#include "displays/DisplayData.h"
#include "statistics/StatStore.h"
#include "readvalue/SystemTree.h"
#include "support/RecordingUi.h"

namespace kvtest {

class AlertTest : public SystemTreeTest {
 protected:
  void SetUp() override {
    SystemTreeTest::SetUp();
    kv::SetDefaultChannelSettings(Settings);
    QLocale::setDefault(QLocale::c());
  }
  void TearDown() override {
    QLocale::setDefault(QLocale::system());
    SystemTreeTest::TearDown();
  }
  // One evaluation: what started or ended is caught, and acted on once Act() was called.
  void Evaluate() {
    for (const kv::tAlertEvent& e : alerts.Evaluate()) {
      events.push_back(e);
      if (actions) actions->Run(e);
    }
  }
  // One pass of T1 (hundredths of a degree), then the evaluation.
  void PassT1(int16_t value) {
    Readings.T[0] = value;
    Evaluate();
  }
  // From now on the events are acted on as the settings ask; the notifier is the session bus's
  // unless one is given.
  kv::tAlertActions& Act(std::unique_ptr<kv::tDesktopNotifier> notifier = nullptr) {
    actions = std::make_unique<kv::tAlertActions>(Display(), alerts, Pass.Time(), ui, std::move(notifier));
    return *actions;
  }
  kv::tDisplayData Display() { return {Settings, Current, series, Process}; }

  kv::tAlerts alerts{Settings, Current, Pass};
  kv::tStatistics series{Settings, Current, Process, Pass.Time(), [](bool) {}};
  RecordingUi ui;
  std::unique_ptr<kv::tAlertActions> actions;
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
