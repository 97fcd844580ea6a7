#pragma once
// A fixture that points the system readers at a fake /proc and /sys tree in a temporary folder,
// with fresh readings, default channel settings and an event log to look into.
#include <gtest/gtest.h>

#include "core/EventLog.h"
#include "platform/FakeTree.h"
#include "readvalue/Readings.h"
#include "readvalue/SystemSources.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/PassState.h"

namespace kvtest {

class SystemTreeTest : public testing::Test, public PassState {
 protected:
  void SetUp() override {
    kv::SetEventLogPath(log_.File("KVEvents.txt"));
    kv::SetDebugMode(true);
    Pass.Sources.SystemRoot = root_.Path();
    Settings.NetSlots = {};
    Settings.DiskSlots = {};
    kv::SetDefaultChannelNames(Settings);
    Pass.Sources.ResetBatteries = nullptr;
    Pass.ResetReadings();
  }
  void TearDown() override {
    kv::SetDebugMode(false);
    kv::SetEventLogPath("");
  }
  void Put(const std::string& relative, const std::string& content) {
    kvtest::Put(root_.Path(), relative, content);
  }
  std::string Log() { return ReadFile(log_.File("KVEvents.txt")); }
  const std::string& Root() const { return root_.Path(); }

 private:
  TempDir log_;
  TempDir root_;
};

}  // namespace kvtest
