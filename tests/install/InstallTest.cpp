// The installed programs find their data: cmake --install into a DESTDIR, then the installed
// kvsysinfo and a headless kelvara run from there with fresh settings folders.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <regex>

#include <QElapsedTimer>
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
        QByteArray* out = nullptr, int ms = 60000, QByteArray* err = nullptr) {
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(program, args);
  if (!p.waitForFinished(ms)) {
    p.kill();
    p.waitForFinished();
    return -1;
  }
  if (out) *out = p.readAllStandardOutput();
  if (err) *err = p.readAllStandardError();
  return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

// A headless monitor of env started and past its single-instance check: its socket exists, so
// the language file was found and the settings were read.
void StartMonitor(QProcess& monitor, const QProcessEnvironment& env, const QString& kelvara,
                  const QStringList& args = {"-headless"}) {
  monitor.setProcessEnvironment(env);
  monitor.start(kelvara, args);
  ASSERT_TRUE(monitor.waitForStarted());
  const std::string socket = env.value("XDG_RUNTIME_DIR").toStdString() + "/kelvara.sock";
  for (int i = 0; i < 200 && !std::filesystem::is_socket(socket) && monitor.state() == QProcess::Running; ++i)
    QThread::msleep(50);
  ASSERT_EQ(monitor.state(), QProcess::Running);
  ASSERT_TRUE(std::filesystem::is_socket(socket));
}

void CloseMonitor(QProcess& monitor, const QProcessEnvironment& env, const QString& kelvara) {
  EXPECT_EQ(RunProgram(kelvara, {"-close"}, env), 0);
  if (!monitor.waitForFinished(20000)) monitor.kill();
  EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
}

// The version the package is built as: the newest entry of the Debian changelog.
std::string PackageVersion() {
  const std::string log = kvtest::ReadFile(KV_SOURCE_DIR "/packaging/changelog");
  const size_t open = log.find('('), close = log.find(')');
  return open < close && close != std::string::npos ? log.substr(open + 1, close - open - 1) : "";
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
                        "applications/org.kelvara.Kelvara.desktop", "icons/hicolor/scalable/apps/kelvara.svg",
                        "icons/hicolor/48x48/apps/kelvara.png", "man/man1/kelvara.1.gz",
                        "man/man1/kvsysinfo.1.gz", "man/man1/kvoptions.1.gz", "doc/kelvara/copyright",
                        "kelvara/COPYING", "metainfo/org.kelvara.Kelvara.metainfo.xml", "kelvara/kelvara-rules.yml",
                        "kelvara/kelvara-dashboard.json", "kelvara/readings.schema.json"})
    EXPECT_TRUE(FileExists(Share() + f)) << f;
  // Nothing of the data lands beside the installed programs.
  EXPECT_FALSE(FileExists(Bin() + "English.lng"));
  const std::string unit = kvtest::ReadFile(root_->Path() + "usr/lib/systemd/user/kelvara.service");
  EXPECT_NE(unit.find("ExecStart=/usr/bin/kelvara -headless"), std::string::npos) << unit;
}

TEST_F(Installed, LookupFromTheInstalledProgramFolderFindsLanguagesAndIcons) {
  TempDir settings;
  tProcessFacts process;
  process.AppDir = Bin();
  process.SettingsDir = settings.Path();
  EXPECT_EQ(DataFolder("English.lng", process), Share() + "kelvara/");
  EXPECT_FALSE(QImage(QString::fromStdString(DataFile("cpu.png", process))).isNull());
  // An editable piece in the settings folder wins over the shipped one.
  CreateFolder(settings.File("www"));
  EXPECT_EQ(DataFile("www/", process), settings.File("www/"));
  kvtest::WriteFile(Share() + "kelvara/aquaero.xml", "<x/>");
  EXPECT_EQ(DataFile("aquaero.xml", process), Share() + "kelvara/aquaero.xml");
  kvtest::WriteFile(settings.File("aquaero.xml"), "<y/>");
  EXPECT_EQ(DataFile("aquaero.xml", process), settings.File("aquaero.xml"));
  // A language file is shipped data, never taken from the settings folder.
  kvtest::WriteFile(settings.File("English.lng"), "[Messages]\n");
  EXPECT_EQ(DataFile("English.lng", process), Share() + "kelvara/English.lng");
  // Missing everywhere: the path beside the program, for the message that names it.
  EXPECT_EQ(DataFile("Nowhere.lng", process), Bin() + "Nowhere.lng");
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
  const std::string settings = home.File("data/kelvara/");
  StartMonitor(monitor, env, kelvara, {"-headless", "-debug"});
  CloseMonitor(monitor, env, kelvara);
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
    StartMonitor(monitor, env, kelvara);
    if (monitor.state() != QProcess::Running) return;
    QThread::msleep(2000);  // the rest of the start-up and its first pass
    const std::string mapsFile = "/proc/" + std::to_string(monitor.processId()) + "/maps";
    check([&] { return kvtest::ReadFile(mapsFile); });
    CloseMonitor(monitor, env, kelvara);
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

// --help and --version answer at once, wherever they stand: no settings folder, no display, and
// the running monitor is neither shown nor closed.
TEST_F(Installed, HelpAndVersionAnswerWithoutTouchingSettingsDisplayOrTheRunningMonitor) {
  TempDir home;
  const QProcessEnvironment env = FreshEnvironment(home);
  const QString kelvara = QString::fromStdString(Bin() + "kelvara");
  QProcess monitor;
  StartMonitor(monitor, env, kelvara, {"-headless", "-debug"});
  // The monitor's instance socket, another data folder, and a display that does not exist.
  QProcessEnvironment probe = env;
  probe.insert("XDG_DATA_HOME", QString::fromStdString(home.File("other")));
  probe.insert("DISPLAY", ":32761");
  probe.remove("QT_QPA_PLATFORM");
  probe.remove("WAYLAND_DISPLAY");

  const std::string version = " " + PackageVersion();
  const struct {
    const char* program;
    QStringList args;
    std::string start;
  } answers[] = {
      {"kelvara", {"--help"}, "usage: kelvara "},
      {"kelvara", {"-close", "/H"}, "usage: kelvara "},
      {"kelvara", {"-wait", "30", "--VERSION"}, "kelvara" + version},
      {"kvoptions", {"--help"}, "usage: kvoptions "},
      {"kvoptions", {"1", "D", "-version"}, "kvoptions" + version},
      {"kvsysinfo", {"--version"}, "kvsysinfo" + version},
      {"kvsysinfo", {"-json", "-h"}, "usage: kvsysinfo "},
  };
  for (const auto& a : answers) {
    const std::string what = std::string(a.program) + " " + a.args.join(' ').toStdString();
    QByteArray out, err;
    QElapsedTimer took;
    took.start();
    EXPECT_EQ(RunProgram(QString::fromStdString(Bin() + a.program), a.args, probe, &out, 10000, &err), 0) << what;
    // Far above the tens of milliseconds it takes: fails on a wait for a socket or a display.
    EXPECT_LT(took.elapsed(), 3000) << what;
    EXPECT_TRUE(out.startsWith(QByteArray::fromStdString(a.start))) << what << ": " << out.left(100).toStdString();
    EXPECT_TRUE(err.isEmpty()) << what << ": " << err.toStdString();
  }
  EXPECT_NE(kvtest::ReadFile(Bin() + "../share/kelvara/COPYING").find("GNU GENERAL PUBLIC LICENSE"), std::string::npos);
  EXPECT_FALSE(FileExists(home.File("other")));
  EXPECT_EQ(monitor.state(), QProcess::Running);
  EXPECT_EQ(kvtest::ReadFile(home.File("data/kelvara/KVEvents.txt")).find("Show instance requested"), std::string::npos);
  CloseMonitor(monitor, env, kelvara);

  // An answer that cannot be written is a failure, not a help shown.
  QProcess full;
  full.setProcessEnvironment(probe);
  full.setStandardOutputFile("/dev/full");
  full.start(QString::fromStdString(Bin() + "kvsysinfo"), {"--help"});
  ASSERT_TRUE(full.waitForFinished(10000));
  EXPECT_EQ(full.exitCode(), 1);
  EXPECT_TRUE(full.readAllStandardError().contains("cannot write to standard output"));
}

// Each program's --help names every switch its man page documents, and each page documents
// --help and --version.
TEST_F(Installed, HelpNamesTheSwitchesOfTheManPage) {
  // "\fB\-json\fR" in a synopsis, ".B \-close" or ".BR \-h" opening an option.
  const std::regex switchInPage(R"(\\fB((?:\\-)+[a-z][a-z0-9]*)\\fR|^\.B[IR]? ((?:\\-)+[a-z][a-z0-9]*))",
                                std::regex::multiline);
  TempDir home;
  for (const char* program : {"kelvara", "kvsysinfo", "kvoptions"}) {
    const std::string page = kvtest::ReadFile(std::string(KV_SOURCE_DIR "/man/") + program + ".1");
    QByteArray help;
    ASSERT_EQ(RunProgram(QString::fromStdString(Bin() + program), {"--help"}, FreshEnvironment(home), &help), 0);
    EXPECT_NE(page.find("\\-\\-help"), std::string::npos) << program;
    EXPECT_NE(page.find("\\-\\-version"), std::string::npos) << program;
    int switches = 0;
    for (auto m = std::sregex_iterator(page.begin(), page.end(), switchInPage); m != std::sregex_iterator(); ++m, ++switches) {
      const std::string name = std::regex_replace((*m)[1].matched ? (*m)[1].str() : (*m)[2].str(), std::regex(R"(\\-)"), "-");
      // A line of its own, after the synopsis: "  -json   ..." or "  -h, --help   ...".
      const std::regex line("\n  (\\S+, )*" + name + "[ ,]");
      EXPECT_TRUE(std::regex_search(help.toStdString(), line)) << program << " --help lacks " << name;
    }
    EXPECT_GE(switches, 2) << program;
  }
}

// The software centre and the desktop read the installed metadata: both validators pass, they
// name each other, the screenshots they show are shipped at their stated size, and the release,
// the man pages and the package agree on the version.
TEST_F(Installed, DesktopEntryAndMetainfoValidateAndAgree) {
  const std::string metainfo = Share() + "metainfo/org.kelvara.Kelvara.metainfo.xml";
  const std::string desktop = Share() + "applications/org.kelvara.Kelvara.desktop";
  QByteArray out;
  EXPECT_EQ(RunProgram("appstreamcli", {"validate", "--no-net", "--strict", QString::fromStdString(metainfo)},
                       QProcessEnvironment::systemEnvironment(), &out), 0) << out.toStdString();
  EXPECT_EQ(RunProgram("desktop-file-validate", {QString::fromStdString(desktop)},
                       QProcessEnvironment::systemEnvironment(), &out), 0) << out.toStdString();

  const std::string xml = kvtest::ReadFile(metainfo);
  std::smatch m;
  ASSERT_TRUE(std::regex_search(xml, m, std::regex("<launchable type=\"desktop-id\">([^<]+)</launchable>")));
  EXPECT_EQ(Share() + "applications/" + m[1].str(), desktop);
  ASSERT_TRUE(std::regex_search(xml, m, std::regex("<id>([^<]+)</id>")));
  EXPECT_EQ(m[1].str() + ".desktop", "org.kelvara.Kelvara.desktop");
  int binaries = 0;
  const std::regex binary("<binary>([^<]+)</binary>");
  for (auto b = std::sregex_iterator(xml.begin(), xml.end(), binary); b != std::sregex_iterator(); ++b, ++binaries)
    EXPECT_TRUE(FileExists(Bin() + (*b)[1].str())) << (*b)[1];
  EXPECT_EQ(binaries, 3);
  const std::regex image(R"re(<image type="source" width="(\d+)" height="(\d+)">[^<]*/([^/<]+)</image>)re");
  int images = 0;
  for (auto i = std::sregex_iterator(xml.begin(), xml.end(), image); i != std::sregex_iterator(); ++i, ++images) {
    const QImage shot(QString::fromStdString(Share() + "kelvara/screenshots/" + (*i)[3].str()));
    EXPECT_EQ(shot.width(), std::stoi((*i)[1].str())) << (*i)[3];
    EXPECT_EQ(shot.height(), std::stoi((*i)[2].str())) << (*i)[3];
  }
  EXPECT_GE(images, 1);

  const std::string version = PackageVersion();
  ASSERT_FALSE(version.empty());
  EXPECT_NE(xml.find("<release version=\"" + version + "\""), std::string::npos) << version;
  for (const char* page : {"kelvara", "kvsysinfo", "kvoptions"})
    EXPECT_NE(kvtest::ReadFile(std::string(KV_SOURCE_DIR "/man/") + page + ".1").find("\"Kelvara " + version + "\""),
              std::string::npos) << page;
}

}  // namespace
