#include <gtest/gtest.h>

#include <QStringDecoder>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <filesystem>
#include <set>
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
    process.AppDir = dir.Path();
    ResetTexts();
    ResetCaptions();
  }
  void TearDown() override {
    ResetTexts();
    ResetCaptions();
  }
  void Write(const char* name, const std::string& text) { kvtest::WriteFile(dir.File(name), text); }
  kvtest::TempDir dir;
  tProcessFacts process;
};

TEST_F(LanguageFiles, ChosenFileFallsBackToEnglishPerKey) {
  Write("English.lng", "[Messages]\nUptime=Uptime\nMinutes=minutes\n[Main]\nmnuFile.Caption=File\n");
  Write("OnlyMain.lng", "[Main]\nmnuFile.Caption=Fichier\n");
  LoadLanguage(process, "English.lng");
  LoadLanguage(process, "OnlyMain.lng");
  ApplyCaptions(process, "English.lng");
  ApplyCaptions(process, "OnlyMain.lng");
  EXPECT_EQ(Texts()->Uptime, "Uptime");
  EXPECT_EQ(Captions().Caption("mnuFile"), "Fichier");
}

TEST_F(LanguageFiles, LanguageChangeKeepsEarlierTextsForMissingKeys) {
  Write("English.lng", "[Messages]\nUptime=Uptime\nHour=hour\n");
  Write("Deutsch.lng", "[Messages]\nUptime=Laufzeit\nHour=Stunde\n");
  Write("Sparse.lng", "[Messages]\nHour=heure\nUnknownKey=x\nTime=\n");
  LoadLanguage(process, "English.lng");
  LoadLanguage(process, "Deutsch.lng");
  const std::shared_ptr<const tTexts> german = Texts();
  LoadLanguage(process, "Sparse.lng");
  EXPECT_EQ(Texts()->Uptime, "Laufzeit");
  EXPECT_EQ(Texts()->Hour, "heure");
  EXPECT_EQ(Texts()->Time, "");
  EXPECT_EQ(german->Hour, "Stunde");  // a set once handed out never changes
  LoadLanguage(process, "Missing.lng");
  EXPECT_EQ(Texts()->Hour, "heure");
}

TEST_F(LanguageFiles, CaptionKeysAreMatchedByTheirRules) {
  Write("L.lng",
        "[Main]\nMNUOPTIONS.Caption=Settings\nmnuNoSuchThing.Caption=x\nmnuHelp.caption=lower\n"
        "mnuUpload=no suffix\nmnuExit.Caption=Quit\nmnuExit1.Caption=ignored twin\n"
        "ActionAt=At\nPOSuspendInactive=Timer off\n"
        "[Messages]\nStats24=Day\nMinutes=min\nHours=h\nHour=hr\nPNGImages=PNG\nGIFImages=GIF\n");
  LoadLanguage(process, "L.lng");
  const size_t entries = Captions().entries.size();
  ApplyCaptions(process, "L.lng");
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
  LoadLanguage(process, "E.lng");
  ApplyCaptions(process, "E.lng");
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
  for (int i = 0; i < 200; ++i) LoadLanguage(process, i % 2 ? "A.lng" : "B.lng");
  stop = true;
  reader.join();
  EXPECT_EQ(torn, 0);
}

// The shipped files: every key of English.lng in every section, the format texts carrying the
// placeholders the drawing and status code pass to them, in English's order.
std::vector<std::string> ShippedFiles() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(KV_SOURCE_DIR) + "/data"))
    if (entry.path().extension() == ".lng") names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

IniFile Shipped(const std::string& name) { return IniFile(std::string(KV_SOURCE_DIR) + "/data/" + name); }

// The printf conversions in order ("%%" counts as one of them).
std::vector<std::string> Placeholders(const std::string& text) {
  static const std::regex placeholder("%(%|[-+ #0-9.]*[a-zA-Z])");
  std::vector<std::string> found;
  for (auto it = std::sregex_iterator(text.begin(), text.end(), placeholder); it != std::sregex_iterator(); ++it)
    found.push_back(it->str());
  return found;
}

// The hour, minute and second letters of a time pattern, leaving out quoted literals.
std::string TimeFields(const std::string& pattern) {
  std::string fields;
  char quote = 0;
  for (const char ch : pattern) {
    if (quote) {
      if (ch == quote) quote = 0;
    } else if (ch == '\'' || ch == '"') {
      quote = ch;
    } else if (std::strchr("hnsHNS", ch)) {
      fields += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    }
  }
  return fields;
}

bool ValidUtf8(const std::string& text) {
  const QByteArray bytes = QByteArray::fromStdString(text);
  QStringDecoder decoder(QStringDecoder::Utf8);
  const QString decoded = decoder.decode(bytes);
  return !decoder.hasError() && !decoded.contains(QChar::ReplacementCharacter);
}

class ShippedLanguage : public ::testing::TestWithParam<std::string> {};

TEST_P(ShippedLanguage, HasEveryEnglishKeyWithItsPlaceholders) {
  ASSERT_TRUE(ValidUtf8(kvtest::ReadFile(std::string(KV_SOURCE_DIR) + "/data/" + GetParam())));
  const IniFile english = Shipped("English.lng");
  const IniFile ini = Shipped(GetParam());
  for (const char* section : {"Main", "Messages", "Options"}) {
    const std::vector<std::string> keys = english.Keys(section);
    ASSERT_FALSE(keys.empty()) << section;
    for (const std::string& key : keys) {
      const std::string text = ini.ReadString(section, key, "");
      const std::string original = english.ReadString(section, key, "");
      EXPECT_FALSE(text.empty()) << section << "/" << key;
      EXPECT_EQ(Placeholders(text), Placeholders(original)) << section << "/" << key << ": " << text;
    }
    // A key English lacks is a misspelt one: the program would never read it.
    for (const std::string& key : ini.Keys(section))
      EXPECT_TRUE(english.ValueExists(section, key)) << section << "/" << key;
  }
  EXPECT_EQ(TimeFields(ini.ReadString("Messages", "TimeFormat", "")), "hhnn");
}

TEST_P(ShippedLanguage, FormatTextsTakeTheArgumentsTheirCallersPass) {
  const IniFile ini = Shipped(GetParam());
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
  for (const auto& [key, count] : formats) {
    const std::vector<std::string> found = Placeholders(ini.ReadString("Messages", key, ""));
    EXPECT_EQ(std::count(found.begin(), found.end(), "%s"), count) << key;
  }
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

// The menu bar's entries each carry one accelerator, and no two share a letter.
TEST_P(ShippedLanguage, MenuBarAcceleratorsAreUnique) {
  const IniFile ini = Shipped(GetParam());
  std::set<QString> letters;
  for (const char* menu : {"mnuFile", "mnuDisplay", "mnuOptions", "mnuUpload", "mnuHelp"}) {
    const QString caption = QString::fromStdString(ini.ReadString("Main", std::string(menu) + ".Caption", ""));
    const qsizetype amp = caption.indexOf(QLatin1Char('&'));
    ASSERT_GE(amp, 0) << menu;
    ASSERT_LT(amp + 1, caption.size()) << menu;
    EXPECT_EQ(caption.count(QLatin1Char('&')), 1) << menu;
    EXPECT_TRUE(letters.insert(caption.mid(amp + 1, 1).toLower()).second) << caption.toStdString();
  }
  const std::string exit = ini.ReadString("Main", "mnuExit.Caption", "");
  EXPECT_EQ(std::count(exit.begin(), exit.end(), '&'), 1) << exit;
}

INSTANTIATE_TEST_SUITE_P(Files, ShippedLanguage, ::testing::ValuesIn(ShippedFiles()),
                         [](const ::testing::TestParamInfo<std::string>& p) {
                           std::string name;
                           for (const char ch : p.param.substr(0, p.param.find('.')))
                             if (std::isalnum(static_cast<unsigned char>(ch))) name += ch;
                           return name;
                         });

TEST(ShippedLanguages, EveryLocaleFileIsThere) {
  const std::vector<std::string> names = ShippedFiles();
  for (const char* file : {"English.lng", "Czech.lng", "Deutsch.lng", "Spanish.lng", "Finnish.lng",
                           "Francais.lng", "Italian.lng", "Korean.lng", "Nederlands.lng", "Norsk.lng",
                           "Polish.lng", "Portugues - Europeu.lng", "Russian.lng"})
    EXPECT_TRUE(std::count(names.begin(), names.end(), file)) << file;
}

}  // namespace
