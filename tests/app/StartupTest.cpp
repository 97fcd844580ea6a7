#include "app/Startup.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/Files.h"
#include "settings/IniFile.h"
#include "settings/SettingsFolder.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

using kvtest::TempDir;
using kvtest::WriteFile;

TEST(SettingsFolder, CreatedPrivateUnderTheDataFolder) {
  TempDir app, data;
  const tSettingsFolderChoice choice = ChooseSettingsDir(app.Path(), data.Path() + "deep/share", true);
  EXPECT_EQ(choice.dir, data.Path() + "deep/share/kelvara/");
  EXPECT_TRUE(choice.problem.empty());
  struct stat st {};
  ASSERT_EQ(::stat(choice.dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
}

TEST(SettingsFolder, MarkerFileKeepsEverythingBesideTheProgram) {
  TempDir app, data;
  WriteFile(app.File("oldsettingsdir"), "");
  WriteFile(app.File("KVClient.ini"), "[Misc]\n");
  const tSettingsFolderChoice choice = ChooseSettingsDir(app.Path(), data.Path(), true);
  EXPECT_EQ(choice.dir, app.Path());
  EXPECT_EQ(MoveOldDataFiles(app.Path(), choice.dir), 0);
  EXPECT_TRUE(FileExists(app.File("KVClient.ini")));
}

TEST(OldData, MovedOneByOneOnlyIntoAFolderWithoutStatistics) {
  TempDir app, settings;
  for (const char* name : {"KVServer.ini", "KVClient.ini", "Kelvara8h.log6", "KVLight.txt", "other.txt"})
    WriteFile(app.File(name), name);
  WriteFile(settings.File("KVClient.ini"), "newer");  // this move fails; the others go on
  EXPECT_EQ(MoveOldDataFiles(app.Path(), settings.Path()), 3);
  EXPECT_EQ(kvtest::ReadFile(settings.File("KVServer.ini")), "KVServer.ini");
  EXPECT_EQ(kvtest::ReadFile(settings.File("KVClient.ini")), "newer");
  EXPECT_TRUE(FileExists(app.File("KVClient.ini")));
  EXPECT_FALSE(FileExists(app.File("Kelvara8h.log6")));
  EXPECT_TRUE(FileExists(app.File("other.txt")));

  // Statistics already there: nothing more moves.
  WriteFile(app.File("Stats.txt"), "s");
  EXPECT_EQ(MoveOldDataFiles(app.Path(), settings.Path()), 0);
  EXPECT_TRUE(FileExists(app.File("Stats.txt")));
}

TEST(Language, FileChosenByLocale) {
  EXPECT_EQ(DefaultLanguageFile("de"), "Deutsch.lng");
  EXPECT_EQ(DefaultLanguageFile("pt"), "Portugues - Europeu.lng");
  EXPECT_EQ(DefaultLanguageFile("nb"), "Norsk.lng");
  EXPECT_EQ(DefaultLanguageFile("en"), "English.lng");
  EXPECT_EQ(DefaultLanguageFile("ja"), "English.lng");
}

TEST(Language, FirstStartStoresTheLocalesFile) {
  TempDir app, settings;
  kvtest::RecordingUi ui;
  WriteFile(app.File("English.lng"), "[Main]\n");
  WriteFile(app.File("Deutsch.lng"), "[Main]\n");
  EXPECT_TRUE(CheckLanguageFile(app.Path(), settings.Path(), "de", ui));
  EXPECT_EQ(ui.messages, "");
  EXPECT_EQ(IniFile(settings.File("KVClient.ini")).ReadString("Misc", "LangFile", ""), "Deutsch.lng");
}

TEST(Language, MissingFileResetsToEnglish) {
  TempDir app, settings;
  WriteFile(app.File("English.lng"), "[Main]\n");
  WriteFile(settings.File("KVClient.ini"), "[Misc]\nLangFile=Klingon.lng\nLeft=5\n");
  kvtest::RecordingUi ui;
  EXPECT_TRUE(CheckLanguageFile(app.Path(), settings.Path(), "de", ui));
  EXPECT_NE(ui.messages.find("Klingon.lng not found"), std::string::npos) << ui.messages;
  const IniFile ini(settings.File("KVClient.ini"));
  EXPECT_EQ(ini.ReadString("Misc", "LangFile", ""), "English.lng");
  EXPECT_EQ(ini.ReadInteger("Misc", "Left", 0), 5);
}

TEST(Language, NoEnglishEitherEndsButStoresTheReset) {
  TempDir app, settings;
  kvtest::RecordingUi ui;
  EXPECT_FALSE(CheckLanguageFile(app.Path(), settings.Path(), "en", ui));
  EXPECT_NE(ui.messages.find("English language file not found"), std::string::npos) << ui.messages;
  EXPECT_EQ(IniFile(settings.File("KVClient.ini")).ReadString("Misc", "LangFile", ""), "English.lng");
}

TEST(CheckForUpdate, StoredInMisc) {
  TempDir settings;
  WriteFile(settings.File("KVClient.ini"), "[Misc]\nCheckForUpdate=0\nLeft=3\n[Other]\nx=1\n");
  EXPECT_TRUE(StoreCheckForUpdate(settings.Path()));
  const IniFile ini(settings.File("KVClient.ini"));
  EXPECT_EQ(ini.ReadInteger("Misc", "CheckForUpdate", 0), 1);
  EXPECT_EQ(ini.ReadInteger("Misc", "Left", 0), 3);
  EXPECT_EQ(ini.ReadInteger("Other", "x", 0), 1);
  EXPECT_FALSE(StoreCheckForUpdate(settings.File("missing/")));
}

}  // namespace
}  // namespace kv
