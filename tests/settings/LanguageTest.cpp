#include <gtest/gtest.h>

#include <atomic>
#include <regex>
#include <thread>

#include "core/Process.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

class LanguageFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    AppDir = dir.Path();
    ResetTexts();
    ResetCaptions();
  }
  void TearDown() override {
    ResetTexts();
    ResetCaptions();
  }
  void Write(const char* name, const std::string& text) { kvtest::WriteFile(dir.File(name), text); }
  kvtest::TempDir dir;
};

TEST_F(LanguageFiles, ChosenFileFallsBackToEnglishPerKey) {
  Write("English.lng", "[Messages]\nUptime=Uptime\nMinutes=minutes\n[Main]\nmnuFile.Caption=File\n");
  Write("OnlyMain.lng", "[Main]\nmnuFile.Caption=Fichier\n");
  LoadLanguage("English.lng");
  LoadLanguage("OnlyMain.lng");
  ApplyCaptions("English.lng");
  ApplyCaptions("OnlyMain.lng");
  EXPECT_EQ(Texts()->Uptime, "Uptime");
  EXPECT_EQ(Captions().Caption("mnuFile"), "Fichier");
}

TEST_F(LanguageFiles, LanguageChangeKeepsEarlierTextsForMissingKeys) {
  Write("English.lng", "[Messages]\nUptime=Uptime\nHour=hour\n");
  Write("Deutsch.lng", "[Messages]\nUptime=Laufzeit\nHour=Stunde\n");
  Write("Sparse.lng", "[Messages]\nHour=heure\nUnknownKey=x\nTime=\n");
  LoadLanguage("English.lng");
  LoadLanguage("Deutsch.lng");
  const std::shared_ptr<const tTexts> german = Texts();
  LoadLanguage("Sparse.lng");
  EXPECT_EQ(Texts()->Uptime, "Laufzeit");
  EXPECT_EQ(Texts()->Hour, "heure");
  EXPECT_EQ(Texts()->Time, "");
  EXPECT_EQ(german->Hour, "Stunde");  // a set once handed out never changes
  LoadLanguage("Missing.lng");
  EXPECT_EQ(Texts()->Hour, "heure");
}

TEST_F(LanguageFiles, CaptionKeysAreMatchedByTheirRules) {
  Write("L.lng",
        "[Main]\nMNUOPTIONS.Caption=Settings\nmnuNoSuchThing.Caption=x\nmnuHelp.caption=lower\n"
        "mnuUpload=no suffix\nmnuExit.Caption=Quit\nmnuExit1.Caption=ignored twin\n"
        "ActionAt=At\nPOSuspendInactive=Timer off\n"
        "[Messages]\nStats24=Day\nMinutes=min\nHours=h\nHour=hr\nPNGImages=PNG\nGIFImages=GIF\n");
  LoadLanguage("L.lng");
  const size_t entries = Captions().entries.size();
  ApplyCaptions("L.lng");
  const tCaptions& c = Captions();
  EXPECT_EQ(c.entries.size(), entries);
  EXPECT_FALSE(c.Has("mnuNoSuchThing"));
  EXPECT_EQ(c.Caption("mnuOptions"), "Settings");
  EXPECT_EQ(c.Caption("mnuOptions1"), "Settings");
  EXPECT_EQ(c.Caption("mnuExit1"), "Quit");
  EXPECT_EQ(c.Caption("mnuHelp"), "mnuHelp");
  EXPECT_EQ(c.Caption("mnuUpload"), "mnuUpload");
  EXPECT_EQ(c.Caption("mnuDebug"), "Debug...");
  EXPECT_EQ(c.Caption("mnuStats24"), "Day");
  EXPECT_EQ(c.Caption("mnu10m"), "10 min");
  EXPECT_EQ(c.Caption("mnu1h"), "1 hr");
  EXPECT_EQ(c.Caption("mnu5h"), "5 h");
  EXPECT_EQ(c.ActionAt, "At");
  EXPECT_EQ(c.POSuspendInactive, "Timer off");
  EXPECT_EQ(c.SaveFilter, "PNG (*.png)|*.png|GIF (*.gif)|*.gif");
}

TEST_F(LanguageFiles, EmptyMinutesGivesBareNumbers) {
  Write("E.lng", "[Messages]\nMinutes=\n");
  LoadLanguage("E.lng");
  ApplyCaptions("E.lng");
  EXPECT_EQ(Captions().Caption("mnu30m"), "30 ");
}

TEST_F(LanguageFiles, ReadersSeeWholeSets) {
  Write("A.lng", "[Messages]\nUptime=aaaa\nHour=aaaa\n");
  Write("B.lng", "[Messages]\nUptime=bbbb\nHour=bbbb\n");
  std::atomic<bool> stop{false};
  std::atomic<int> torn{0};
  std::thread reader([&] {
    while (!stop) {
      const std::shared_ptr<const tTexts> t = Texts();
      if (t->Uptime != t->Hour) ++torn;
    }
  });
  for (int i = 0; i < 200; ++i) LoadLanguage(i % 2 ? "A.lng" : "B.lng");
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

// The shipped files: every key present, and the format texts carry the placeholders the
// drawing and status code pass to them.
class ShippedLanguage : public ::testing::TestWithParam<const char*> {};

int Placeholders(const std::string& text) {
  static const std::regex placeholder("%[sd]");
  return static_cast<int>(std::distance(
      std::sregex_iterator(text.begin(), text.end(), placeholder), std::sregex_iterator()));
}

TEST_P(ShippedLanguage, HasEveryKeyAndMatchingPlaceholders) {
  const IniFile ini(std::string(KV_BIN_DIR) + "/" + GetParam());
  for (const std::string& key : MessageKeyNames())
    EXPECT_FALSE(ini.ReadString("Messages", key, "").empty()) << key;
  const std::pair<const char*, int> formats[] = {
      {"Time", 1},         {"PhysMem", 1},     {"PageMem", 1},         {"AllocDisk", 1},
      {"FreeDisk", 1},     {"Cache", 1},       {"CPUFreq", 2},         {"RemainingBattery", 2},
      {"ChargingTime", 2}, {"BatCapacity", 3}, {"BatFull", 1},         {"BatEmpty", 1},
      {"BatWear", 2},      {"BatFullNoCap", 0}, {"BatEmptyNoCap", 0},  {"BatWearNoCap", 1},
      {"ConnectingTo", 1}, {"ConnectedTo", 1}, {"Uploading", 1},       {"SavedSuccessfully", 1},
      {"UpdateAvailable", 1}, {"Loaded", 3},
  };
  for (const auto& [key, count] : formats)
    EXPECT_EQ(Placeholders(ini.ReadString("Messages", key, "")), count) << key;
  for (const auto& entry : FormCaptions().entries) {
    const std::string& name = entry.first;
    const bool twin = name.back() == '1' && name != "mnuStats31" && name != "mnu1h";
    const bool derived = name.rfind("mnuStats", 0) == 0 && name != "mnuStats";
    const bool timer = name == "mnu5h" || name == "mnu3h" || name == "mnu1h" ||
                       name == "mnu30m" || name == "mnu10m";
    if (twin || derived || timer) continue;
    EXPECT_TRUE(ini.ValueExists("Main", name + ".Caption")) << name;
  }
  EXPECT_TRUE(ini.ValueExists("Main", "ActionAt"));
  EXPECT_TRUE(ini.ValueExists("Main", "POSuspendInactive"));
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::Values("English.lng", "Deutsch.lng"));

}  // namespace
