// The installed programs find their data: cmake --install into a DESTDIR, then the installed
// kvsysinfo and a headless kelvara run from there with fresh settings folders.
#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>

#include "core/Process.h"
#include "platform/DataFiles.h"
#include "platform/Files.h"
#include "support/TestSupport.h"

using namespace kv;
using kvtest::TempDir;

namespace {

// The binary folder is the parent of the programs' folder.
const std::string BuildDir = std::string(KV_BIN_DIR) + "/..";

QProcessEnvironment FreshEnvironment(const TempDir& home) {
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("XDG_DATA_HOME", QString::fromStdString(home.File("data")));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(home.Path()));
  env.insert("QT_QPA_PLATFORM", "offscreen");
  return env;
}

int RunProgram(const QString& program, const QStringList& args, const QProcessEnvironment& env,
        QByteArray* out = nullptr, int ms = 60000) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(ms)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  if (out) *out = p.readAllStandardOutput();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = new TempDir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("DESTDIR", QString::fromStdString(root_->Path()));
    installed_ = RunProgram("cmake", {"--install", QString::fromStdString(BuildDir), "--prefix", "/usr"}, env) == 0;
  }
  static void TearDownTestSuite() { delete root_; }
  void SetUp() override { ASSERT_TRUE(installed_) << "cmake --install failed"; }
  static std::string Bin() { return root_->Path() + "usr/bin/"; }
  static std::string Share() { return root_->Path() + "usr/share/"; }
  static TempDir* root_;
  static bool installed_;
};
TempDir* Installed::root_ = nullptr;
bool Installed::installed_ = false;

TEST_F(Installed, LayoutHasProgramsDataDesktopEntryIconsManPagesAndUnit) {
  for (const char* p : {"kelvara", "kvsysinfo", "kvoptions"}) EXPECT_TRUE(FileExists(Bin() + p)) << p;
  for (const char* f : {"kelvara/English.lng", "kelvara/Deutsch.lng", "kelvara/cpu.png",
                        "applications/kelvara.desktop", "icons/hicolor/scalable/apps/kelvara.svg",
                        "icons/hicolor/48x48/apps/kelvara.png", "man/man1/kelvara.1.gz",
                        "man/man1/kvsysinfo.1.gz", "man/man1/kvoptions.1.gz", "doc/kelvara/copyright"})
    EXPECT_TRUE(FileExists(Share() + f)) << f;
  // Nothing of the data lands beside the installed programs.
  EXPECT_FALSE(FileExists(Bin() + "English.lng"));
  const std::string unit = kvtest::ReadFile(root_->Path() + "usr/lib/systemd/user/kelvara.service");
  EXPECT_NE(unit.find("ExecStart=/usr/bin/kelvara -headless"), std::string::npos) << unit;
}

TEST_F(Installed, LookupFromTheInstalledProgramFolderFindsLanguagesAndIcons) {
  const std::string savedApp = AppDir, savedSettings = SettingsDir;
  TempDir settings;
  AppDir = Bin();
  SettingsDir = settings.Path();
  EXPECT_EQ(DataFolder("English.lng"), Share() + "kelvara/");
  EXPECT_FALSE(QImage(QString::fromStdString(DataFile("cpu.png"))).isNull());
  // An editable piece in the settings folder wins over the shipped one.
  CreateFolder(settings.File("www"));
  EXPECT_EQ(DataFile("www/"), settings.File("www/"));
  kvtest::WriteFile(Share() + "kelvara/aquaero.xml", "<x/>");
  EXPECT_EQ(DataFile("aquaero.xml"), Share() + "kelvara/aquaero.xml");
  kvtest::WriteFile(settings.File("aquaero.xml"), "<y/>");
  EXPECT_EQ(DataFile("aquaero.xml"), settings.File("aquaero.xml"));
  // A language file is shipped data, never taken from the settings folder.
  kvtest::WriteFile(settings.File("English.lng"), "[Messages]\n");
  EXPECT_EQ(DataFile("English.lng"), Share() + "kelvara/English.lng");
  // Missing everywhere: the path beside the program, for the message that names it.
  EXPECT_EQ(DataFile("Nowhere.lng"), Bin() + "Nowhere.lng");
  AppDir = savedApp;
  SettingsDir = savedSettings;
}

TEST_F(Installed, SysInfoJsonRunsFromTheInstall) {
  TempDir home;
  QByteArray out;
  ASSERT_EQ(RunProgram(QString::fromStdString(Bin() + "kvsysinfo"), {"-json"}, FreshEnvironment(home), &out), 0);
  const QJsonDocument doc = QJsonDocument::fromJson(out);
  ASSERT_TRUE(doc.isObject()) << out.left(200).toStdString();
  EXPECT_TRUE(doc.object().contains("Names"));
}

TEST_F(Installed, HeadlessMonitorFindsItsLanguageAndRunsUntilClosed) {
  TempDir home;
  QProcessEnvironment env = FreshEnvironment(home);
  env.insert("LANG", "de_DE.UTF-8");
  env.insert("LC_ALL", "de_DE.UTF-8");
  env.insert("LANGUAGE", "de");
  const QString kelvara = QString::fromStdString(Bin() + "kelvara");
  QProcess monitor;
  monitor.setProcessEnvironment(env);
  monitor.start(kelvara, {"-headless", "-debug"});
  ASSERT_TRUE(monitor.waitForStarted());
  const std::string settings = home.File("data/kelvara/");
  // Running once the statistics files exist: a missing language file would have ended it before.
  for (int i = 0; i < 200 && !FileExists(settings + "Kelvara8h.log6"); ++i) QThread::msleep(50);
  EXPECT_EQ(monitor.state(), QProcess::Running);
  EXPECT_EQ(RunProgram(kelvara, {"-close"}, env), 0);
  if (!monitor.waitForFinished(20000)) monitor.kill();
  EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
  const std::string ini = kvtest::ReadFile(settings + "KVClient.ini");
  EXPECT_NE(ini.find("LangFile=Deutsch.lng"), std::string::npos) << ini;
  EXPECT_NE(kvtest::ReadFile(settings + "KVEvents.txt").find("Installed in \"" + Bin() + "\""), std::string::npos);
}

}  // namespace
