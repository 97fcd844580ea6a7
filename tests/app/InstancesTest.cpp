// Real kelvara processes talking to each other through the lock and the local socket.
#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QProcess>
#include <QProcessEnvironment>
#include <QThread>
#include <functional>

#include "platform/Files.h"
#include "settings/IniFile.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class Instances : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(CreateFolder(dir.File("run"), 0700));
    env.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir.File("run")));
    env.insert("XDG_DATA_HOME", QString::fromStdString(dir.File("data")));
    env.remove("DISPLAY");
    env.remove("WAYLAND_DISPLAY");
  }
  void TearDown() override {
    for (QProcess* p : running) {
      if (p->state() != QProcess::NotRunning) {
        p->kill();
        p->waitForFinished(5000);
      }
      delete p;
    }
  }

  QProcess* Start(const QStringList& args) {
    auto* p = new QProcess;
    p->setProcessEnvironment(env);
    p->start(QStringLiteral(KV_BIN_DIR "/kelvara"), args);
    running.push_back(p);
    EXPECT_TRUE(p->waitForStarted(5000));
    return p;
  }

  // Runs a process to its end; returns its exit code (-1 when it did not end in time).
  int Run(const QStringList& args) {
    QProcess* p = Start(args);
    if (!p->waitForFinished(15000)) return -1;
    return p->exitStatus() == QProcess::NormalExit ? p->exitCode() : -1;
  }

  static bool WaitFor(const std::function<bool()>& condition, int ms = 10000) {
    QElapsedTimer t;
    t.start();
    while (!condition()) {
      if (t.elapsed() > ms) return false;
      QThread::msleep(20);
    }
    return true;
  }

  std::string Settings() const { return dir.File("data") + "/kelvara/"; }
  std::string Log() const { return kvtest::ReadFile(Settings() + "KVEvents.txt"); }

  kvtest::TempDir dir;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  std::vector<QProcess*> running;
};

// A connected AF_UNIX stream socket to path, or -1.
int ConnectUnix(const std::string& path) {
  const int s = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un a{};
  a.sun_family = AF_UNIX;
  if (s < 0 || path.size() >= sizeof a.sun_path) return -1;
  std::memcpy(a.sun_path, path.c_str(), path.size() + 1);
  if (::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) {
    ::close(s);
    return -1;
  }
  return s;
}

// Whether the peer closes s within ms (anything it sends first is read and dropped).
bool EndedByPeer(int s, int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (std::chrono::steady_clock::now() < end) {
    pollfd p{s, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    char buf[256];
    const ssize_t n = ::recv(s, buf, sizeof buf, 0);
    if (n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR)) return true;
  }
  return false;
}

TEST_F(Instances, SecondStartSignalsTheFirstAndCloseEndsIt) {
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }))
      << Log();
  EXPECT_NE(Log().find("Settings are in: \"" + Settings() + "\""), std::string::npos);

  EXPECT_EQ(Run({"-headless"}), 0);
  EXPECT_EQ(first->state(), QProcess::Running);
  ASSERT_TRUE(WaitFor([&] { return Log().find("Show instance requested") != std::string::npos; }));
  // The second start emptied the running instance's log.
  EXPECT_EQ(Log().find("Kelvara 3.38-pre5"), std::string::npos);

  // -checkforupdate only changes the stored setting, even with an instance running.
  EXPECT_EQ(Run({"/CheckForUpdate"}), 0);
  EXPECT_EQ(IniFile(Settings() + "KVClient.ini").ReadInteger("Misc", "CheckForUpdate", 0), 1);
  EXPECT_EQ(first->state(), QProcess::Running);

  EXPECT_EQ(Run({"-debug", "-close"}), 0);
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_EQ(first->exitCode(), 0);
  const std::string log = Log();
  EXPECT_NE(log.find("Shutdown/logoff detected"), std::string::npos) << log;
  EXPECT_NE(log.find("Exiting"), std::string::npos) << log;
}

TEST_F(Instances, CloseWithoutARunningInstanceEndsAtOnce) {
  EXPECT_EQ(Run({"-close"}), 0);
  // A one-shot switch ends before any folder is set up.
  EXPECT_FALSE(FolderExists(Settings()));
}

TEST_F(Instances, UnsafeSettingsFolderIsRefusedWithAMessage) {
  ASSERT_TRUE(CreateFolder(Settings(), 0700));
  ASSERT_EQ(::chmod(Settings().c_str(), 0777), 0);
  QProcess* p = Start({"-headless", "-debug"});
  ASSERT_TRUE(p->waitForFinished(15000));
  EXPECT_EQ(p->exitCode(), 1);
  const QByteArray err = p->readAllStandardError();
  EXPECT_TRUE(err.contains("writable by group or others")) << err.toStdString();
  EXPECT_FALSE(FileExists(Settings() + "KVClient.ini"));  // nothing was written into it
}

TEST_F(Instances, ExitSetsUpTheFolderAndEnds) {
  EXPECT_EQ(Run({"-debug", "-exit"}), 0);
  EXPECT_TRUE(FolderExists(Settings()));
  EXPECT_FALSE(FileExists(Settings() + "KVEvents.txt"));
}

TEST_F(Instances, LockDiesWithACrashedInstance) {
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  first->kill();
  first->waitForFinished(5000);
  DeleteFile(Settings() + "KVEvents.txt");  // so the wait below sees the new instance's lines
  QProcess* second = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  EXPECT_EQ(second->state(), QProcess::Running);
  EXPECT_EQ(Run({"-close"}), 0);
  EXPECT_TRUE(second->waitForFinished(10000));
}

TEST_F(Instances, HeadlessRunLeavesStatisticsSettingsAndLog) {
  ASSERT_TRUE(CreateFolder(Settings(), 0700));
  kvtest::WriteFile(Settings() + "KVClient.ini", "[Misc]\nReadTemp=1000\n");
  // What a save killed long ago left behind: its writer is dead, so the start removes it.
  const pid_t dead = fork();
  if (dead == 0) _exit(0);
  ASSERT_EQ(waitpid(dead, nullptr, 0), dead);
  const std::string stale = Settings() + "Kelvara8h.log6.kvtmp." + std::to_string(dead) + ".0";
  kvtest::WriteFile(stale, "half a save");
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  QThread::msleep(3500);  // the first tick comes after 2 s, then one every second
  EXPECT_EQ(Run({"-close"}), 0);
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_EQ(first->exitCode(), 0);

  for (const char* base : {"Kelvara8h.log", "Kelvara7d.log", "Kelvara1a.log"}) {
    const std::string main = kvtest::ReadFile(Settings() + base + "6");
    const std::string extra = kvtest::ReadFile(Settings() + base + "7");
    // A break and two fresh samples at start, then at least the forced sample of the close.
    EXPECT_GE(main.size(), 4 * 141u) << base;
    EXPECT_EQ(main.size() % 141, 0u) << base;
    EXPECT_EQ(extra.size() / 172, main.size() / 141) << base;
    int32_t userSecs = 0;
    std::memcpy(&userSecs, extra.data() + 8, 4);
    EXPECT_EQ(userSecs, 2147483647) << base;  // the first record is the break
  }
  for (const char* ini : {"KVClient.ini", "KVDisplay.ini", "KVServer.ini"})
    EXPECT_TRUE(FileExists(Settings() + ini)) << ini;
  EXPECT_EQ(IniFile(Settings() + "KVClient.ini").ReadInteger("Misc", "ReadTemp", 0), 1000);
  EXPECT_FALSE(FileExists(stale));
  const std::string log = Log();
  for (const char* line : {"Initializing log", "Inserting break value", "Shutdown/logoff detected",
                           "Writing log", "Exiting"})
    EXPECT_NE(log.find(std::string("] ") + line + "\r\n"), std::string::npos) << line;
}

TEST_F(Instances, TerminationSignalRunsTheShutDown) {
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  first->terminate();  // SIGTERM, as systemd stops a service
  ASSERT_TRUE(first->waitForFinished(10000));
  EXPECT_EQ(first->exitStatus(), QProcess::NormalExit);
  EXPECT_NE(Log().find("] Exiting\r\n"), std::string::npos);
  EXPECT_TRUE(FileExists(Settings() + "Kelvara8h.log6"));
}

TEST_F(Instances, CloseThatCannotReachTheRunningInstanceFails) {
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  const std::string socket = dir.File("run") + "/kelvara.sock";
  ASSERT_TRUE(DeleteFile(socket));
  QProcess* close = Start({"-close"});
  ASSERT_TRUE(close->waitForFinished(15000));
  EXPECT_NE(close->exitCode(), 0);
  EXPECT_NE(close->readAllStandardError().toStdString().find("could not be told to close"), std::string::npos);
  EXPECT_EQ(first->state(), QProcess::Running);
}

TEST_F(Instances, GarbageOnTheSocketDoesNotBlock) {
  QProcess* first = Start({"-headless", "-debug"});
  ASSERT_TRUE(WaitFor([&] { return Log().find("Kelvara 3.38-pre5") != std::string::npos; }));
  const std::string path = dir.File("run") + "/kelvara.sock";
  const int idle = ConnectUnix(path), garbage = ConnectUnix(path);
  ASSERT_GE(idle, 0);
  ASSERT_GE(garbage, 0);
  const std::string junk(100000, 'x');
  ::send(garbage, junk.data(), junk.size(), MSG_NOSIGNAL);
  EXPECT_TRUE(EndedByPeer(garbage, 5000));  // dropped, not buffered without end
  const int unknown = ConnectUnix(path);
  ASSERT_GE(unknown, 0);
  const std::string lines = "hello\n4711\n";
  ASSERT_EQ(::send(unknown, lines.data(), lines.size(), MSG_NOSIGNAL), static_cast<ssize_t>(lines.size()));
  std::string answer;
  ASSERT_TRUE(WaitFor([&] {
    char buf[64];
    const ssize_t n = ::recv(unknown, buf, sizeof buf, MSG_DONTWAIT);
    if (n > 0) answer.append(buf, static_cast<size_t>(n));
    return answer.size() >= 6;  // "ok" for both lines
  }));
  for (const int s : {idle, garbage, unknown}) ::close(s);
  EXPECT_EQ(Run({"-close"}), 0);
  EXPECT_TRUE(first->waitForFinished(10000));
  EXPECT_NE(Log().find("] Unknown message 4711\r\n"), std::string::npos);
}

}  // namespace
}  // namespace kv
