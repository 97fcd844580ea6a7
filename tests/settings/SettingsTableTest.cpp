#include <gtest/gtest.h>

#include <QString>
#include <cstdio>
#include <map>
#include <set>

#include "core/EventLog.h"
#include "core/Process.h"
#include "settings/Channels.h"
#include "settings/IniFile.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

// The key table against the settings record and against the files.
class SettingsTable : public ::testing::Test {
 protected:
  void SetUp() override {
    Process.SettingsDir = dir.Path();
    Process.AppDir = dir.Path();
  }
  void TearDown() override { SetDebugMode(false); }

  // What a load of an empty folder gives: the record's defaults plus the derived values (the
  // BOINC and aquasuite folders stay empty: the pass looks for them).
  tSettings Expected() const {
    tSettings s;
    s.LocalPath = dir.Path();
    return s;
  }
  void RemoveFiles() {
    for (const char* name : {ClientIniName, DisplayIniName, ServerIniName})
      std::remove(dir.File(name).c_str());
  }
  // The state as the files hold it, channels included: a readable way to see a difference.
  std::string Written() {
    RemoveFiles();
    WriteSettings(Settings, Process.SettingsDir, false);
    std::string text;
    for (const char* name : {ClientIniName, DisplayIniName, ServerIniName})
      text += kvtest::ReadFile(dir.File(name));
    return text;
  }

  kvtest::TempDir dir;
  tProcessFacts Process;
  tSettings Settings;
};

TEST_F(SettingsTable, MissingKeysGiveTheRecordsDefaults) {
  // Every key of the table set to a value that is no default, so that every field and channel
  // record moves away from its default first.
  std::map<std::string, IniFile> files;
  for (const tSettingsKeyInfo& k : SettingsKeyList()) {
    auto it = files.try_emplace(k.file, IniFile::FromText("")).first;
    it->second.WriteString(k.section, k.key, "33");  // a drive text needs two characters
  }
  for (auto& [name, ini] : files)
    kvtest::WriteFile(dir.File(name), ini.ToText());
  ReadSettings(Settings, Process);
  ASSERT_FALSE(Settings == Expected());
  ASSERT_EQ(Settings.TCfg[ChannelIndex(1)].Name, "33");
  ASSERT_EQ(Settings.DiskSlots[ChannelIndex(8)].AlertKB, 33);

  RemoveFiles();
  ReadSettings(Settings, Process);
  EXPECT_TRUE(Settings == Expected());
  const std::string loaded = Written();
  Settings = Expected();
  SetDefaultChannelSettings(Settings);
  EXPECT_EQ(loaded, Written());
}

TEST_F(SettingsTable, FreshDefaultsRoundTripThroughTheFiles) {
  Settings = Expected();
  Settings.Left = Settings.Top = 12;  // written only once set
  SetDefaultChannelSettings(Settings);
  WriteSettings(Settings, Process.SettingsDir, false);
  std::map<std::string, IniFile> files;
  for (const char* name : {ClientIniName, DisplayIniName, ServerIniName})
    files.emplace(name, IniFile(dir.File(name)));
  size_t written = 0;
  for (const tSettingsKeyInfo& k : SettingsKeyList()) {
    EXPECT_EQ(files.at(k.file).ValueExists(k.section, k.key), k.written)
        << k.file << " [" << k.section << "] " << k.key;
    written += k.written;
  }
  size_t inFiles = 0;
  for (const auto& [name, ini] : files)
    for (const std::string& section : ini.Sections()) inFiles += ini.Keys(section).size();
  EXPECT_EQ(inFiles, written) << "a key in the files that the table does not know";
  // File units, not state units.
  const IniFile& display = files.at(DisplayIniName);
  EXPECT_EQ(display.ReadString("Temperatures", "TMaxStats", ""), "55");
  EXPECT_EQ(display.ReadString("Memory", "MemMax", ""), "512");
  EXPECT_EQ(files.at(ClientIniName).ReadString("Misc", "ReadTemp", ""), "20000");

  const tSettings before = Settings;
  Settings = tSettings{};
  Settings.ReadTemp = 1;
  Settings.TCfg[ChannelIndex(5)].Name = "changed";
  ReadSettings(Settings, Process);
  EXPECT_TRUE(Settings == before);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(5)].Name, "T5");
}

TEST_F(SettingsTable, SaveWindowStateWritesExactlyTheWindowRows) {
  Settings.ShowLight = Settings.ShowBanner = true;
  Settings.Left = Settings.Top = 5;
  SaveWindowState(Settings, Process.SettingsDir);
  const IniFile client(dir.File(ClientIniName));
  std::set<std::string> expected, stored;
  for (const tSettingsKeyInfo& k : SettingsKeyList())
    if (k.windowState) expected.insert(std::string(k.section) + "/" + k.key);
  for (const std::string& section : client.Sections())
    for (const std::string& key : client.Keys(section)) stored.insert(section + "/" + key);
  EXPECT_EQ(stored, expected);
  EXPECT_EQ(expected.size(), 9u);
}

// Hand-edited periods: a zero tick would spin, a negative one stop the cycle, a zero span
// divide by zero.
TEST_F(SettingsTable, PeriodsAreClampedOnLoad) {
  struct tCase {
    const char* value;
    int32_t readTemp;
    double span;
  };
  const tCase cases[] = {
      {"0", 1000, 1.0 / 60},
      {"-5", 1000, 1.0 / 60},
      {"-2147483648", 1000, 1.0 / 60},
      {"2147483647", 3600000, 366 * 24},
      {"1500", 1500, 1500},
  };
  for (const tCase& c : cases) {
    const std::string v = c.value;
    kvtest::WriteFile(dir.File(ClientIniName), "[Misc]\nReadTemp=" + v + "\n[Stats]\nSpanStats=" +
                                                   v + "\n[Banner]\nSpanBanner=" + v + "\n");
    ReadSettings(Settings, Process);
    EXPECT_EQ(Settings.ReadTemp, c.readTemp) << v;
    EXPECT_DOUBLE_EQ(Settings.SpanStats, c.span) << v;
    EXPECT_DOUBLE_EQ(Settings.SpanBanner, c.span) << v;
  }
  kvtest::WriteFile(dir.File(ClientIniName), "[Stats]\nSpanStats=1e300\nSpanBanner=0,5\n");
  ReadSettings(Settings, Process);
  EXPECT_DOUBLE_EQ(Settings.SpanStats, 366 * 24);
  // A clamped value is what the next write stores.
  WriteSettings(Settings, Process.SettingsDir, false);
  kvtest::WriteFile(dir.File(ClientIniName), "[Misc]\nReadTemp=-1\n");
  ReadSettings(Settings, Process);
  WriteSettings(Settings, Process.SettingsDir, false);
  EXPECT_EQ(IniFile(dir.File(ClientIniName)).ReadInteger("Misc", "ReadTemp", 0), 1000);
}

// A sensor label in another code page, or with control characters, must not spoil the file:
// read back, every other name is as it was.
TEST_F(SettingsTable, RawLabelsLeaveTheOtherNamesIntact) {
  ReadSettings(Settings, Process);
  Settings.TCfg[ChannelIndex(1)].Name = "Geh\xC3\xA4use";
  Settings.TCfg[ChannelIndex(2)].Name = "Fl\xFCssigkeit \xE4";  // Windows-1252 bytes
  Settings.TCfg[ChannelIndex(3)].Name = "red\x1B[31m\x07 chip\x7F";
  Settings.NetSlots[ChannelIndex(1)].Name = "eth\x01\x02" "0";
  WriteSettings(Settings, Process.SettingsDir, false);
  const std::string text = kvtest::ReadFile(dir.File(ClientIniName));
  EXPECT_EQ(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())).toStdString(), text)
      << "not valid UTF-8";
  Settings = tSettings{};
  ReadSettings(Settings, Process);
  EXPECT_EQ(Settings.TCfg[ChannelIndex(1)].Name, "Geh\xC3\xA4use");
  EXPECT_EQ(Settings.TCfg[ChannelIndex(2)].Name, "Fl\xC3\xBCssigkeit \xC3\xA4");
  EXPECT_EQ(Settings.TCfg[ChannelIndex(3)].Name, "red[31m chip");
  EXPECT_EQ(Settings.NetSlots[ChannelIndex(1)].Name, "eth0");
}

}  // namespace
