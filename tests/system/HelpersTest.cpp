#include "system/Helpers.h"

#include <gtest/gtest.h>

#include "core/Process.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

TEST(OptionsProgram, Arguments) {
  EXPECT_EQ(OptionsProgramArguments(4, false, false),
            (std::vector<std::string>{"4", "-", "-"}));
  EXPECT_EQ(OptionsProgramArguments(13, true, true),
            (std::vector<std::string>{"13", "D", "E"}));
}

// A missing program is reported, and the window state is saved before the options program
// would start, so that it edits current values.
TEST(OptionsProgram, MissingProgramFailsAfterSavingTheWindowState) {
  kvtest::TempDir dir;
  tProcessFacts process;
  process.AppDir = dir.Path();
  process.SettingsDir = dir.Path();
  tSettings settings;
  settings.Left = 42;
  tProductPrograms programs(process);
  EXPECT_FALSE(programs.StartOptionsProgram(3, settings));
  EXPECT_EQ(IniFile(dir.File(ClientIniName)).ReadInteger("Misc", "Left", 0), 42);
  EXPECT_FALSE(programs.StartSysInfoProgram());
}

}  // namespace
