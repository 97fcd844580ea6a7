// First starts of the real program in a given locale: the language it settles on, whether it
// complains, and what the chosen file then shows.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <filesystem>
#include <memory>

#include "core/Process.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

const std::string BinDir = std::string(KV_BIN_DIR) + "/";

struct tStart {
  std::string langFile;  // Misc/LangFile afterwards
  std::string errors;    // what the program told its starter
};

class LanguageStart : public ::testing::Test {
 protected:
  void TearDown() override {
    ResetTexts();
    ResetCaptions();
  }

  std::string SettingsFolder() const { return home->Path() + "data/kelvara/"; }

  void SeedSettings(const std::string& client) {
    ::mkdir((home->Path() + "data").c_str(), 0700);
    ::mkdir(SettingsFolder().c_str(), 0700);
    kvtest::WriteFile(SettingsFolder() + "KVClient.ini", client);
  }

  QProcessEnvironment Environment(const char* locale) const {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("XDG_DATA_HOME", QString::fromStdString(home->Path() + "data"));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home->Path()));
    env.remove("LANGUAGE");
    env.insert("LANG", locale);
    env.insert("LC_ALL", locale);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
  }

  // One headless run of the program in programDir, closed again once it listens.
  tStart Start(const std::string& programDir, const char* locale) {
    const QString program = QString::fromStdString(programDir + "kelvara");
    QProcess kelvara;
    kelvara.setProcessEnvironment(Environment(locale));
    kelvara.start(program, {"-headless"});
    EXPECT_TRUE(kelvara.waitForStarted(10000)) << programDir;
    bool closed = false;
    for (int attempt = 0; attempt < 50 && !closed; ++attempt) {
      QProcess closer;
      closer.setProcessEnvironment(Environment(locale));
      closer.start(program, {"-close"});
      closer.waitForFinished(30000);
      closed = kelvara.waitForFinished(200);
    }
    if (!closed) {
      kelvara.kill();
      kelvara.waitForFinished(5000);
    }
    EXPECT_TRUE(closed);
    return {IniFile(SettingsFolder() + "KVClient.ini").ReadString("Misc", "LangFile", ""),
            kelvara.readAllStandardError().toStdString()};
  }

  // A program folder holding only the given language files.
  std::string ProgramWith(std::initializer_list<const char*> languages) {
    namespace fs = std::filesystem;
    const std::string dir = app.Path();
    fs::copy_file(BinDir + "kelvara", dir + "kelvara", fs::copy_options::overwrite_existing);
    fs::permissions(dir + "kelvara", fs::perms::owner_all);
    for (const char* name : languages) fs::copy_file(BinDir + name, dir + name);
    return dir;
  }

  std::unique_ptr<kvtest::TempDir> home = std::make_unique<kvtest::TempDir>();
  kvtest::TempDir app;
};

TEST_F(LanguageStart, GermanAndFrenchLocalesShowTheirOwnTexts) {
  struct tCase {
    const char* locale;
    const char* file;
    const char* fileMenu;
    const char* uptime;
    const char* minutes;
  };
  const tCase cases[] = {
      {"de_DE.UTF-8", "Deutsch.lng", "&Datei", "Laufzeit", "10 Minuten"},
      {"fr_FR.UTF-8", "Francais.lng", "&Fichier", "Temps de fonctionnement", "10 minutes"},
  };
  for (const tCase& c : cases) {
    SCOPED_TRACE(c.locale);
    home = std::make_unique<kvtest::TempDir>();  // every case is a first start
    const tStart start = Start(BinDir, c.locale);
    EXPECT_EQ(start.langFile, c.file);
    EXPECT_EQ(start.errors.find("not found"), std::string::npos) << start.errors;

    // What that start loads: English first, the stored choice over it.
    tProcessFacts process;
    process.AppDir = BinDir;
    ResetTexts();
    ResetCaptions();
    LoadLanguage(process, "English.lng");
    LoadLanguage(process, start.langFile);
    ApplyCaptions(process, "English.lng");
    ApplyCaptions(process, start.langFile);
    EXPECT_EQ(Captions().Caption("mnuFile"), c.fileMenu);
    EXPECT_EQ(Captions().Caption("mnu10m"), c.minutes);
    EXPECT_EQ(Captions().Caption("mnuOptions1"), Captions().Caption("mnuOptions"));
    EXPECT_EQ(Texts()->Uptime, c.uptime);
  }
}

TEST_F(LanguageStart, UntranslatedLocaleQuietlyBecomesEnglish) {
  const std::string program = ProgramWith({"English.lng", "Deutsch.lng"});
  const tStart start = Start(program, "ru_RU.UTF-8");
  EXPECT_EQ(start.langFile, "English.lng");
  EXPECT_EQ(start.errors.find("not found"), std::string::npos) << start.errors;

  // The stored choice holds on later starts, whatever the locale.
  EXPECT_EQ(Start(program, "de_DE.UTF-8").langFile, "English.lng");
}

TEST_F(LanguageStart, ChosenFileThatVanishedIsReported) {
  const std::string program = ProgramWith({"English.lng"});
  SeedSettings("[Misc]\nLangFile=Deutsch.lng\n");
  const tStart start = Start(program, "de_DE.UTF-8");
  EXPECT_EQ(start.langFile, "English.lng");
  EXPECT_NE(start.errors.find("Language file Deutsch.lng not found!"), std::string::npos)
      << start.errors;
}

}  // namespace
