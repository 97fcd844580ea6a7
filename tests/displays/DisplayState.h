#pragma once
// A known starting state for the formatters, the light and the saving: default settings, no
// readings, every channel hidden, English texts, "." as decimal separator, and a settings folder
// and event log of the test's own.
#include <gtest/gtest.h>

#include <string>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "readvalue/Boinc.h"
#include "displays/Formatting.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace kv {

class DisplayState : public testing::Test {
 protected:
  void SetUp() override {
    Settings = tSettings{};
    Settings.DisplayDateTime = false;
    Settings.ReadUpTime = false;
    ResetReadings();
    SetUpSecs(0);
    CPUCount = 0;
    SetDefaultChannelNames();
    for (auto& c : TCfg) c.Vis = 0;
    for (auto& c : FCfg) c.Vis = 0;
    BOINCTasks.clear();
    BOINCProjects.clear();
    AppDir = KV_BIN_DIR "/";
    SettingsDir = dir.Path();
    ResetTexts();
    LoadLanguage("English.lng");
    SetDecimalSeparator(".");
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDebugMode(true);
    SetUi(&ui);
  }
  void TearDown() override {
    SetUi(nullptr);
    SetDebugMode(false);
    SetEventLogPath("");
    SetDecimalSeparator("");
  }
  std::string EventLog() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }

  kvtest::TempDir dir;
  kvtest::RecordingUi ui;
};

}  // namespace kv
