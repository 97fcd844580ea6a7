// The update check against real loopback peers: an HTTPS server whose certificate a test
// authority signed (handed to the client; the system's roots stay the default), a plain HTTP
// server that must never be reached, and an HTTP proxy with basic authentication.
#include "publishing/update/AutoUpdate.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QProcess>
#include <QProcessEnvironment>
#include <QStandardPaths>
#include <QStringList>
#include <chrono>
#include <filesystem>
#include <thread>

#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "publishing/Publishing.h"
#include "publishing/update/HttpsClient.h"
#include "publishing/update/ReleaseInfo.h"
#include "settings/IniFile.h"
#include "settings/Scramble.h"
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;
using kvtest::ReadFile;
using kvtest::TempDir;
using kvtest::WriteFile;

const char* const Fixture = KV_SOURCE_DIR "/tests/publishing/update_fixture.py";

class UpdatePeer {
 public:
  explicit UpdatePeer(const QStringList& args) {
    process_.start("/usr/bin/python3", QStringList{Fixture} + args);
    if (process_.waitForStarted(5000) && process_.waitForReadyRead(20000))
      port_ = process_.readLine().trimmed().toInt();
    if (port_ == 0 && args.value(0) != "pki")
      ADD_FAILURE() << "peer did not start: " << process_.readAllStandardError().toStdString();
  }
  ~UpdatePeer() {
    process_.kill();
    process_.waitForFinished(5000);
  }
  void Finish() { process_.waitForFinished(30000); }
  int Port() const { return port_; }

 private:
  QProcess process_;
  int port_ = 0;
};

class QuestionUi final : public UiPort {
 public:
  void ShowStatus(const std::string& text) override { status.push_back(text); }
  void ShowMessage(const std::string&, const std::string&, bool) override {}
  bool AskYesNo(const std::string& text, const std::string& caption) override {
    questions.push_back(text);
    captions.push_back(caption);
    return answer;
  }
  void SetTrayTip(const std::string&) override {}
  void SetTrayIconSlot(int) override {}
  void RequestRedraw() override {}
  bool SawStatusWith(const std::string& part) const {
    for (const std::string& s : status)
      if (s.find(part) != std::string::npos) return true;
    return false;
  }
  bool answer = false;
  std::vector<std::string> status, questions, captions;
};

std::string Sha256(const std::string& bytes) {
  return QCryptographicHash::hash(QByteArray::fromStdString(bytes), QCryptographicHash::Sha256)
      .toHex()
      .toStdString();
}

class UpdateTest : public ::testing::Test, protected kvtest::FakeTime, public kvtest::PassState {
 protected:
  UpdateTest() : FakeTime(SystemTime().UtcMs()), PassState(&clock_) {}

  static void SetUpTestSuite() {
    pki_ = new TempDir;
    UpdatePeer make({"pki", QString::fromStdString(pki_->Path())});
    make.Finish();
    // Checked by each test: a failure here would only mark them skipped, and the run passed.
    authorityMade_ = std::filesystem::exists(pki_->File("ca.pem"));
  }
  static void TearDownTestSuite() {
    delete pki_;
    pki_ = nullptr;
  }

  void SetUp() override {
    ASSERT_TRUE(authorityMade_) << "the test authority could not be made (openssl is missing?)";
    root = dir.Path() + "root/";
    cache = dir.Path() + "cache/";
    std::filesystem::create_directories(root);
    Process.SettingsDir = dir.Path();
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDebugMode(true);
    ResetTexts();
    Process.AppDir = std::string(KV_BIN_DIR) + "/";
    LoadLanguage(Process, EnglishLanguageFile);
    setenv("XDG_CACHE_HOME", cache.c_str(), 1);
    Open(pki_->File("ca.pem"));
    server = std::make_unique<UpdatePeer>(QStringList{"https", QString::fromStdString(pki_->Path()),
                                                      QString::fromStdString(root),
                                                      QString::fromStdString(dir.File("https.log"))});
    plain = std::make_unique<UpdatePeer>(
        QStringList{"http", QString::fromStdString(root), QString::fromStdString(dir.File("http.log"))});
    Settings.UpdateServer = Base();
    Settings.UpdateCheck = -1;
  }

  void TearDown() override { SetDebugMode(false); }

  // The publishing services, with installers handed to the test and downloads checked against
  // the authorities in trustStore (empty: the system's).
  void Open(const std::string& trustStore) {
    tPublishingOptions options;
    options.opener = [this](const std::string& path) {
      opened.push_back(path);
      openedContent.push_back(ReadFile(path));
    };
    options.trustStore = trustStore;
    publishing.reset();
    publishing = std::make_unique<Publishing>(
        tPublishingSources{Settings, Process, Current, Pass, pictures, ui, clock_}, std::move(options));
  }

  std::string Base() const { return "https://127.0.0.1:" + std::to_string(server->Port()); }
  std::string PlainBase() const { return "http://127.0.0.1:" + std::to_string(plain->Port()); }

  // The release information the server gives for the default (beta) request.
  void Release(const std::string& text) { WriteFile(root + "kelvarabeta.txt", text); }
  // An installer and its checksum file on the server; answers the installer's address.
  std::string Installer(const std::string& name, const std::string& content,
                        const std::string& checksum) {
    WriteFile(root + name, content);
    if (!checksum.empty()) WriteFile(root + name + ".sha256", checksum + "  " + name + "\n");
    return Base() + "/" + name;
  }

  // One check through the publishing port, run to its end with the main thread's calls delivered.
  void Check(bool forced) {
    publishing->UpdateCheck(forced);
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(40);
    while (publishing->UpdateRunning() && std::chrono::steady_clock::now() < end) {
      QCoreApplication::processEvents();
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_FALSE(publishing->UpdateRunning());
    for (int i = 0; i < 5; ++i) QCoreApplication::processEvents();
  }

  std::string Log() const { return ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& text) const { return Log().find(text) != std::string::npos; }
  std::string Requests() const { return ReadFile(dir.File("https.log")); }
  int64_t Now() const { return UpdateStamp(UtcToLocal(clock_.UtcNow())); }
  std::vector<std::string> CacheFiles() const {
    std::vector<std::string> names;
    if (std::filesystem::exists(cache + "kelvara"))
      for (const auto& e : std::filesystem::directory_iterator(cache + "kelvara"))
        names.push_back(e.path().filename().string());
    return names;
  }

  static TempDir* pki_;
  static inline bool authorityMade_ = false;
  TempDir dir;
  std::string root, cache;
  QuestionUi ui;
  std::vector<std::string> opened, openedContent;
  std::unique_ptr<UpdatePeer> server, plain;
  tPictureQueue pictures;
  std::unique_ptr<Publishing> publishing;
};

TempDir* UpdateTest::pki_ = nullptr;

// A newer release: the question shows the version and the notes; Yes downloads into the private
// folder, the checksum passes and the file reaches the opener; automatic checks end and the
// stamp and switch are stored.
TEST_F(UpdateTest, NewerReleaseAskedDownloadedVerifiedAndHandedOver) {
  std::string package(300'000, '\0');
  for (size_t i = 0; i < package.size(); ++i) package[i] = static_cast<char>(i * 31 + (i >> 9));
  const std::string address = Installer("kelvara_3.39_amd64.deb", package, Sha256(package));
  Release("3.39\r\n2011-04-16\r\n" + address + "\r\nFaster charts\r\nFixed a leak\r\n");
  ui.answer = true;
  Check(true);

  const tTexts& t = *Texts();
  ASSERT_EQ(ui.questions.size(), 1u);
  std::string expected = t.UpdateAvailable;
  expected.replace(expected.find("%s"), 2, "3.39");
  expected += "\r\n\r\nFaster charts\r\nFixed a leak\r\n\r\n" + t.DownloadUpdate;
  EXPECT_EQ(ui.questions[0], expected);
  EXPECT_EQ(ui.captions[0], "Kelvara");
  EXPECT_TRUE(ui.SawStatusWith(t.CheckingForNew));
  ASSERT_FALSE(ui.status.empty());
  EXPECT_NE(ui.status.back().find("kelvara_3.39_amd64.deb"), std::string::npos) << ui.status.back();

  ASSERT_EQ(opened.size(), 1u);
  EXPECT_EQ(opened[0], cache + "kelvara/kelvara_3.39_amd64.deb");
  EXPECT_EQ(openedContent[0], package);
  struct stat st {};
  ASSERT_EQ(::stat((cache + "kelvara").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0700u);
  ASSERT_EQ(::stat(opened[0].c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0600u);  // never made executable

  EXPECT_FALSE(Settings.CheckForUpdate);
  EXPECT_EQ(Settings.UpdateCheck, Now());
  IniFile ini(dir.File(ClientIniName));
  EXPECT_EQ(ini.ReadString("Misc", "CheckForUpdate", "?"), "0");
  EXPECT_EQ(ini.ReadString("Misc", "UpdateCheck", "?"), std::to_string(Now()));
  for (const char* line : {"Checking for new version", "Creating autoupdate thread", "Querying website",
                           "New version detected", "Downloading new version"})
    EXPECT_TRUE(Logged(line)) << line;

  // The release information came from the beta path; the user agent carries the host name,
  // scrambled from its own key.
  const std::string requests = Requests();
  ASSERT_EQ(requests.rfind("/download.php?f=kelvarabeta.txt\t", 0), 0u) << requests;
  const size_t tab = requests.find('\t'), eol = requests.find('\n');
  const std::string agent = requests.substr(tab + 1, eol - tab - 1);
  const std::string prefix = "Kelvara/3.38-pre5.";
  ASSERT_EQ(agent.rfind(prefix, 0), 0u) << agent;
  char host[256] = {};
  ::gethostname(host, sizeof host - 1);
  EXPECT_EQ(UnscramblePassword(agent.substr(prefix.size()), HostNameScrambleKey), host);
  EXPECT_NE(agent.substr(prefix.size()), ScramblePassword(host));

  // The same name again is a new file beside the old one, never the old one overwritten.
  Settings.CheckForUpdate = true;
  Check(true);
  ASSERT_EQ(opened.size(), 2u);
  EXPECT_EQ(opened[1], cache + "kelvara/kelvara_3.39_amd64-1.deb");
}

// Answering No downloads nothing; the check still counts as completed, and the non-beta path
// is asked when Beta is off.
TEST_F(UpdateTest, NoAnswerLeavesEverythingButTheStamp) {
  WriteFile(root + "kelvara.txt", "3.39\n2012-01-01\nhttps://127.0.0.1:1/x.deb\n");
  Settings.Beta = false;
  ui.answer = false;
  Check(true);
  EXPECT_EQ(ui.questions.size(), 1u);
  EXPECT_TRUE(opened.empty());
  EXPECT_TRUE(CacheFiles().empty());
  EXPECT_TRUE(Settings.CheckForUpdate);
  EXPECT_EQ(Settings.UpdateCheck, Now());
  EXPECT_EQ(Requests().rfind("/download.php?f=kelvara.txt\t", 0), 0u);
}

// What each release-information reply does: question, status, log line, stamp.
TEST_F(UpdateTest, ReleaseInformationVerdicts) {
  struct tCase {
    const char* name;
    std::string reply;
    bool completed;
    const char* status;  // a status text part, or null
    const char* log;     // a log line part, or null
  };
  const tTexts& t = *Texts();
  const tCase cases[] = {
      {"same date", "3.38\n2011-04-15\nhttps://x/y\n", true, t.NoNewVersion.c_str(), "No new version detected"},
      {"html second line", "<html>\n<body>\n<p>moved</p>\n", true, t.NoNewVersion.c_str(), nullptr},
      {"beyond 2050", "3.99\n2051-01-01\nhttps://x/y\n", true, t.NoNewVersion.c_str(), nullptr},
      {"site error", "3.39\n1999-12-31\nhttps://x/y\n", false, nullptr,
       "ERROR while connecting to download site! (\"3.39\\n1999-12-31\\nhttps://x/y\\n\")"},
      // An error page cannot forge log lines, nor fill the log.
      {"forged lines", "3.39\r\n1999-12-31\r\n[01.01.2030 00:00:00] Upload completed\r\n" + std::string(5000, 'x'),
       false, nullptr, "1999-12-31\\r\\n[01.01.2030 00:00:00] Upload completed\\r\\nxxx"},
      {"empty date", "3.39\n\nhttps://x/y", false, nullptr, "ERROR while connecting to download site!"},
      {"two lines", "3.39\n2012-01-01\n", false, nullptr, nullptr},
      {"above 64 KiB", "3.39\n2012-01-01\nhttps://x/y\n" + std::string(MaxReleaseInfoBytes, 'n'), false,
       t.ConnectionFailed.c_str(), "larger than 65536 bytes refused"},
  };
  for (const tCase& c : cases) {
    SCOPED_TRACE(c.name);
    Release(c.reply);
    Settings.UpdateCheck = -1;
    ui.status.clear();
    std::filesystem::remove(dir.File("KVEvents.txt"));
    Check(true);
    EXPECT_TRUE(ui.questions.empty());
    EXPECT_EQ(Settings.UpdateCheck, c.completed ? Now() : -1);
    if (c.status) {
      EXPECT_TRUE(ui.SawStatusWith(c.status));
    } else {
      EXPECT_FALSE(ui.SawStatusWith(t.NoNewVersion));
    }
    if (c.log) {
      EXPECT_TRUE(Logged(c.log)) << Log();
    }
    const std::string log = Log();
    for (size_t at = 0, end; at < log.size(); at = end + 1) {
      end = log.find('\n', at);
      if (end == std::string::npos) end = log.size();
      EXPECT_EQ(log[at], '[') << log.substr(at, 80);
      EXPECT_LT(end - at, 400u);
    }
  }
  EXPECT_TRUE(opened.empty());
}

// The timer's check waits 24 hours (in 3-hour units) after a completed one; the menu's forced
// check runs even with automatic checks off, the timer's then does nothing on the wire.
TEST_F(UpdateTest, DailyRuleAndForcedCheck) {
  clock_.SetUtc(EncodeDateTime({2024, 3, 5, 13, 30, 0, 0}));
  Release("3.38\n2011-04-15\nhttps://x/y\n");

  Settings.UpdateCheck = static_cast<int32_t>(Now() - 8);
  Check(false);
  EXPECT_FALSE(publishing->UpdateExists());
  EXPECT_FALSE(Logged("Checking for new version"));
  EXPECT_EQ(Requests(), "");

  Settings.UpdateCheck = static_cast<int32_t>(Now() - 9);
  Check(false);
  EXPECT_TRUE(Logged("Creating autoupdate thread"));
  EXPECT_EQ(Settings.UpdateCheck, Now());
  EXPECT_NE(Requests(), "");

  // With automatic checks off: the forced one asks the server, the timer's only runs empty.
  std::filesystem::remove(dir.File("https.log"));
  Settings.CheckForUpdate = false;
  Settings.UpdateCheck = -1;
  Check(false);
  EXPECT_EQ(Requests(), "");
  EXPECT_EQ(Settings.UpdateCheck, -1);
  Check(true);
  EXPECT_NE(Requests(), "");
  EXPECT_EQ(Settings.UpdateCheck, Now());
}

// Every installer that cannot be trusted is refused, and nothing of it stays on disk.
TEST_F(UpdateTest, UntrustedInstallersRefused) {
  const std::string good = "a real package";
  WriteFile(root + "plain.deb", good);
  WriteFile(root + "plain.deb.sha256", Sha256(good));
  WriteFile(root + "redirects", "/hop.deb " + PlainBase() + "/plain.deb\n");
  struct tCase {
    const char* name;
    std::string address;
    const char* reason;
    bool refused;  // told as an error of the installer, not as a failed connection
  };
  const tCase cases[] = {
      {"plain http address", PlainBase() + "/plain.deb", "Not an https address", true},
      {"redirect to plain http", Base() + "/hop.deb", "only https", false},
      {"checksum mismatch", Installer("bad.deb", good, Sha256("another package")), "checksum mismatch", true},
      {"no checksum", Installer("lone.deb", good, ""), "No checksum", true},
      {"checksum not a digest", Installer("odd.deb", good, "deadbeef"), "No valid checksum", true},
  };
  ui.answer = true;
  for (const tCase& c : cases) {
    SCOPED_TRACE(c.name);
    Release("3.39\n2011-05-01\n" + c.address + "\n");
    Settings.CheckForUpdate = true;
    ui.status.clear();
    Check(true);
    EXPECT_TRUE(opened.empty());
    EXPECT_TRUE(CacheFiles().empty());
    EXPECT_TRUE(Settings.CheckForUpdate);  // tomorrow's check asks again
    EXPECT_TRUE(Logged(std::string("daiw ")));
    EXPECT_TRUE(ui.SawStatusWith(c.reason)) << (ui.status.empty() ? "" : ui.status.back());
    EXPECT_TRUE(ui.SawStatusWith((c.refused ? Texts()->Error : Texts()->ConnectionFailed) + " (\"")) << c.name;
  }
  EXPECT_EQ(ReadFile(dir.File("http.log")), "");  // plain http was never spoken
}

// Through an HTTP proxy with basic authentication: the right login tunnels, a wrong one is
// reported as a failed connection.
TEST_F(UpdateTest, ThroughAnHttpProxyWithBasicAuthentication) {
  UpdatePeer proxy({"proxy", "kvproxy", "p@ss word", QString::fromStdString(dir.File("proxy.log"))});
  Release("3.38\n2011-04-15\nhttps://x/y\n");
  Settings.HTTPProxyHost = "127.0.0.1";
  Settings.HTTPProxyPort = proxy.Port();
  Settings.HTTPProxyAuth = true;
  Settings.HTTPProxyUser = "kvproxy";
  Settings.HTTPProxyPass = "p@ss word";
  Check(true);
  EXPECT_EQ(ReadFile(dir.File("proxy.log")), "CONNECT 127.0.0.1:" + std::to_string(server->Port()) + "\n");
  EXPECT_EQ(Settings.UpdateCheck, Now());

  Settings.UpdateCheck = -1;
  Settings.HTTPProxyPass = "wrong";
  Check(true);
  EXPECT_NE(ReadFile(dir.File("proxy.log")).find("REFUSED"), std::string::npos);
  EXPECT_TRUE(ui.SawStatusWith(Texts()->ConnectionFailed + " (\""));
  EXPECT_EQ(Settings.UpdateCheck, -1);
}

// Without a configured server (the default) the check, automatic or asked for, is one log
// line: no status text, nothing on the wire. The system's roots do not know the test
// authority, so verification is really on.
TEST_F(UpdateTest, NoServerAndUnknownAuthority) {
  EXPECT_EQ(tSettings{}.UpdateServer, "");
  EXPECT_TRUE(tSettings{}.CheckForUpdate);
  Release("3.38\n2011-04-15\nhttps://x/y\n");
  Settings.UpdateServer = "";
  for (const bool forced : {false, true}) Check(forced);
  EXPECT_EQ(Log().find("Connection failed"), std::string::npos) << Log();
  EXPECT_TRUE(ui.status.empty()) << ui.status.front();
  EXPECT_EQ(Settings.UpdateCheck, -1);
  EXPECT_EQ(Requests(), "");
  const std::string line = "] No update server configured: updates come through the package manager\r\n";
  const size_t first = Log().find(line);
  ASSERT_NE(first, std::string::npos) << Log();
  EXPECT_NE(Log().find(line, first + 1), std::string::npos);  // one line for each check
  EXPECT_EQ(Log().find("Querying"), std::string::npos);

  Settings.UpdateServer = Base();
  Open("");
  Check(true);
  EXPECT_EQ(Settings.UpdateCheck, -1);
  EXPECT_TRUE(ui.SawStatusWith(Texts()->ConnectionFailed + " (\""));
  EXPECT_EQ(Requests(), "");
}

// A suite whose set-up cannot be made fails the run, never passes as skipped: one update test
// runs again under ctest with no openssl on the PATH for the test authority.
TEST(SuiteSetUp, FailureFailsTheRun) {
  const QString ctest = QStandardPaths::findExecutable("ctest");
  ASSERT_FALSE(ctest.isEmpty());
  TempDir emptyPath;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("PATH", QString::fromStdString(emptyPath.Path()));
  QProcess run;
  run.setProcessEnvironment(env);
  run.start(ctest, {"--test-dir", KV_BIN_DIR "/..", "-R", "^UpdateTest\\.NoServerAndUnknownAuthority$"});
  ASSERT_TRUE(run.waitForFinished(100000));
  const std::string out = run.readAllStandardOutput().toStdString();
  EXPECT_NE(run.exitCode(), 0) << out;
  EXPECT_NE(out.find("tests passed, 1 tests failed out of 1"), std::string::npos) << out;
}

// The reply pieces the thread relies on.
TEST(ReleaseInfo, LinesChecksumsAddressesAndNames) {
  EXPECT_EQ(SplitReplyLines("a\r\nb\n\nc"), (std::vector<std::string>{"a", "b", "", "c"}));
  EXPECT_EQ(SplitReplyLines("a\r\n"), std::vector<std::string>{"a"});
  EXPECT_TRUE(SplitReplyLines("").empty());

  const std::string digest(64, 'A');
  EXPECT_EQ(ParseChecksum("  " + digest + "  file.deb\n"), std::string(64, 'a'));
  EXPECT_EQ(ParseChecksum(digest), std::string(64, 'a'));
  EXPECT_FALSE(ParseChecksum(digest + "0"));
  EXPECT_FALSE(ParseChecksum(std::string(63, 'a') + "g"));
  EXPECT_FALSE(ParseChecksum(""));

  EXPECT_TRUE(IsHttpsAddress("HTTPS://example.org/x"));
  for (const char* bad : {"http://example.org/x", "https://", "https:///x", "ftp://h/x", "httpsx://h"})
    EXPECT_FALSE(IsHttpsAddress(bad)) << bad;

  EXPECT_EQ(InstallerFileName("https://h/dl/kelvara_3.39.deb?x=1#f"), "kelvara_3.39.deb");
  EXPECT_EQ(InstallerFileName("https://h/../..%2F.bashrc"), "2F.bashrc");
  EXPECT_EQ(InstallerFileName("https://h/"), "setup");
  EXPECT_EQ(InstallerFileName("https://h"), "setup");
  EXPECT_EQ(InstallerFileName("https://h/" + std::string(100, 'k')).size(), 64u);
}

}  // namespace
