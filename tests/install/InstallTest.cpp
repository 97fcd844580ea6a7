// The installed programs find their data: cmake --install into a DESTDIR, then the installed
// kvsysinfo and a headless kelvara run from there with fresh settings folders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <functional>

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

// The first line of the answer to "GET /" on the loopback port, empty when nobody answers.
std::string StatusLineOf(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(static_cast<uint16_t>(port));
  timeval wait{5, 0};
  ::setsockopt(s, SOL_SOCKET, SO_RCVTIMEO, &wait, sizeof wait);
  std::string answer;
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
    const std::string request = "GET / HTTP/1.1\r\nHost: localhost\r\nConnection: close\r\n\r\n";
    if (::send(s, request.data(), request.size(), 0) == static_cast<ssize_t>(request.size())) {
      char buf[256];
      const ssize_t n = ::recv(s, buf, sizeof buf, 0);
      if (n > 0) answer.assign(buf, static_cast<size_t>(n));
    }
  }
  ::close(s);
  return answer.substr(0, answer.find('\r'));
}

// The libraries of transfers and of the HTTP(S) server cost megabytes just by being loaded: a
// monitor that does neither never maps them, and switching the server on loads its module from
// the installed library folder.
TEST_F(Installed, TransferAndServerLibrariesAreLoadedOnlyOnUse) {
  TempDir home;
  const QProcessEnvironment env = FreshEnvironment(home);
  const QString kelvara = QString::fromStdString(Bin() + "kelvara");
  const std::string settings = home.File("data/kelvara/");
  // check is given the monitor's memory map as it is when called.
  const auto runMonitor = [&](const std::function<void(const std::function<std::string()>& maps)>& check) {
    QProcess monitor;
    monitor.setProcessEnvironment(env);
    monitor.start(kelvara, {"-headless"});
    ASSERT_TRUE(monitor.waitForStarted());
    for (int i = 0; i < 200 && !FileExists(settings + "Kelvara8h.log6"); ++i) QThread::msleep(50);
    ASSERT_EQ(monitor.state(), QProcess::Running);
    const std::string mapsFile = "/proc/" + std::to_string(monitor.processId()) + "/maps";
    check([&] { return kvtest::ReadFile(mapsFile); });
    EXPECT_EQ(RunProgram(kelvara, {"-close"}, env), 0);
    if (!monitor.waitForFinished(20000)) monitor.kill();
  };

  runMonitor([](const auto& maps) {
    const std::string loaded = maps();
    for (const char* library : {"libcurl", "libgnutls", "libssl", "libcrypto", "kelvara-httpd", "libmicrohttpd", "libQt6Network"})
      EXPECT_EQ(loaded.find(library), std::string::npos) << library << " is loaded at start";
  });

  const int port = kvtest::FreePort();
  kvtest::WriteFile(settings + "KVDisplay.ini",
                    "[Misc]\r\nHTTPServerActive=1\r\nHTTPServerPort=" + std::to_string(port) + "\r\n");
  runMonitor([&](const auto& maps) {
    std::string status;
    for (int i = 0; i < 100 && status.empty(); ++i, QThread::msleep(50)) status = StatusLineOf(port);
    EXPECT_EQ(status, "HTTP/1.1 200 OK");
    const std::string loaded = maps();
    EXPECT_NE(loaded.find("/usr/lib/kelvara/modules/kelvara-httpd.so"), std::string::npos) << loaded;
  });
}

}  // namespace
