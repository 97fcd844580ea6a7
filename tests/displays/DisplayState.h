#pragma once
// A known starting state for the formatters, the light and the saving: a monitor's state of the
// test's own with default settings, no readings, every channel hidden, English texts, "." as
// decimal separator, and a settings folder and event log of the test's own.
#include <gtest/gtest.h>

#include <QLocale>
#include <string>

#include "core/EventLog.h"
#include "displays/DisplayData.h"
#include "displays/Formatting.h"
#include "displays/ImageSaving.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "support/RecordingUi.h"
#include "support/SeriesState.h"
#include "support/TestSupport.h"

namespace kv {

class DisplayState : public testing::Test, public kvtest::SeriesState {
 protected:
  void SetUp() override {
    Settings.DisplayDateTime = false;
    Settings.ReadUpTime = false;
    ResetReadings(Current);
    SetDefaultChannelNames(Settings);
    for (auto& c : Settings.TCfg) c.Vis = 0;
    for (auto& c : Settings.FCfg) c.Vis = 0;
    Process.AppDir = KV_BIN_DIR "/";
    Process.SettingsDir = dir.Path();
    ResetTexts();
    LoadLanguage(Process, "English.lng");
    QLocale::setDefault(QLocale::c());
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDebugMode(true);
  }
  void TearDown() override {
    SetDebugMode(false);
    SetEventLogPath("");
    QLocale::setDefault(QLocale::system());
  }
  std::string EventLog() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  // What the pictures of this state show.
  tDisplayData Display() { return {Settings, Current, Series, Process}; }

  kvtest::TempDir dir;
  kvtest::RecordingUi ui;
  tPictureQueue Pictures;
};

}  // namespace kv
