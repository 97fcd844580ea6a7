// The instance socket with real local sockets: the server runs on this thread's event loop,
// senders on other threads or as raw sockets.
#include "platform/Instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLocalServer>
#include <chrono>
#include <cstring>
#include <future>
#include <vector>

#include "core/EventLog.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

TEST(InstanceLine, OnlyAShortDecimalNumberIsAMessage) {
  EXPECT_EQ(ParseInstanceLine("1026"), 1026);
  EXPECT_EQ(ParseInstanceLine(" 16\r"), 16);
  EXPECT_EQ(ParseInstanceLine("-5"), -5);
  EXPECT_EQ(ParseInstanceLine("+7"), 7);
  EXPECT_EQ(ParseInstanceLine("2147483647"), 2147483647);
  for (const char* bad : {"", " ", "+", "-", "hello", "12x", "0x10", "1 2", "2147483648", "++1",
                          "99999999999999999999999999999999999"})
    EXPECT_FALSE(ParseInstanceLine(bad).has_value()) << bad;
  EXPECT_FALSE(ParseInstanceLine(std::string("1\0", 2)).has_value());
  EXPECT_FALSE(ParseInstanceLine(std::string(40, ' ') + "1").has_value());
}

// A raw client socket, connected without the event loop's help.
int RawConnect(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// True when the server has closed its end.
bool ClosedByPeer(int fd) {
  char c;
  return ::recv(fd, &c, 1, MSG_DONTWAIT) == 0;
}

class InstanceServerTest : public testing::Test {
 protected:
  void SetUp() override {
    SetEventLogPath(dir.File("KVEvents.txt"));
    SetDebugMode(true);
  }
  void TearDown() override {
    for (int fd : raw) ::close(fd);
    SetDebugMode(false);
    SetEventLogPath("");
  }
  // Runs the event loop until done() or ms have passed.
  static bool Pump(const std::function<bool()>& done, int ms = 5000) {
    QElapsedTimer t;
    t.start();
    while (!done()) {
      if (t.elapsed() > ms) return false;
      QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
      QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return true;
  }
  // Sends from another thread while this one serves.
  bool Send(int message) {
    auto sent = std::async(std::launch::async, [&] { return SendInstanceMessages(path, {message}, 3000); });
    Pump([&] { return sent.wait_for(std::chrono::seconds(0)) == std::future_status::ready; }, 8000);
    return sent.get();
  }

  kvtest::TempDir dir;
  std::string path = dir.File("kelvara.sock");
  std::vector<int> received;
  std::vector<int> raw;
};

TEST_F(InstanceServerTest, IdleConnectionsAreCappedAndDoNotStopAMessage) {
  InstanceServer server([&](int m) { received.push_back(m); }, nullptr, {16, 60000, 30000});
  ASSERT_TRUE(server.Listen(path));
  for (int i = 0; i < 120; ++i) {
    int fd = -1;
    Pump([&] { return (fd = RawConnect(path)) >= 0; });
    ASSERT_GE(fd, 0) << i;
    raw.push_back(fd);
    QCoreApplication::processEvents();
  }
  Pump([&] { return server.Connections() <= 16; }, 2000);
  EXPECT_LE(server.Connections(), 16);
  ASSERT_TRUE(Send(4711));
  EXPECT_EQ(received, std::vector<int>{4711});
  // The server dropped the extras instead of holding a descriptor for each.
  int closed = 0;
  Pump([&] {
    closed = 0;
    for (int fd : raw) closed += ClosedByPeer(fd);
    return closed >= 104;
  }, 3000);
  EXPECT_GE(closed, 104);
}

TEST_F(InstanceServerTest, IdleConnectionIsClosedAfterTheTimeOut) {
  InstanceServer server([&](int m) { received.push_back(m); }, nullptr, {16, 300, 30000});
  ASSERT_TRUE(server.Listen(path));
  const int idle = RawConnect(path);
  ASSERT_GE(idle, 0);
  raw.push_back(idle);
  Pump([&] { return server.Connections() == 1; });
  QElapsedTimer t;
  t.start();
  ASSERT_TRUE(Pump([&] { return ClosedByPeer(idle); }, 3000));
  EXPECT_GE(t.elapsed(), 200);
  // A connection that talks is served, and goes too once it is quiet.
  const int talking = RawConnect(path);
  ASSERT_GE(talking, 0);
  raw.push_back(talking);
  ASSERT_EQ(::send(talking, "1126\n", 5, MSG_NOSIGNAL), 5);
  ASSERT_TRUE(Pump([&] { return received.size() == 1; }));
  EXPECT_EQ(received[0], 1126);
  EXPECT_TRUE(Pump([&] { return ClosedByPeer(talking); }, 3000));
  EXPECT_TRUE(Pump([&] { return server.Connections() == 0; }));
}

TEST_F(InstanceServerTest, RemovedSocketFileIsMadeAgain) {
  InstanceServer server([&](int m) { received.push_back(m); }, nullptr, {16, 5000, 200});
  ASSERT_TRUE(server.Listen(path));
  ASSERT_EQ(::unlink(path.c_str()), 0);
  EXPECT_FALSE(SendInstanceMessages(path, {1}, 500));
  ASSERT_TRUE(Pump([&] { return ::access(path.c_str(), F_OK) == 0; }, 3000));
  ASSERT_TRUE(Send(WM_SHOW_INSTANCE));
  EXPECT_EQ(received, std::vector<int>{WM_SHOW_INSTANCE});
  EXPECT_NE(kvtest::ReadFile(dir.File("KVEvents.txt")).find("was gone; listening again"), std::string::npos);
}

TEST_F(InstanceServerTest, PostDoesNotWaitForTheAnswer) {
  // A listener that never answers (and never even accepts): Send would wait its whole time-out.
  QLocalServer silent;
  ASSERT_TRUE(silent.listen(QString::fromStdString(path)));
  QElapsedTimer t;
  t.start();
  EXPECT_TRUE(PostInstanceMessage(path, WM_OPTIONS_CHANGED));
  EXPECT_LT(t.elapsed(), 1500);
  silent.close();

  // A real server gets the posted line, even from its own thread.
  InstanceServer server([&](int m) { received.push_back(m); });
  ASSERT_TRUE(server.Listen(path));
  t.restart();
  EXPECT_TRUE(PostInstanceMessage(path, WM_OPTIONS_CHANGED));
  EXPECT_LT(t.elapsed(), 1500);
  EXPECT_TRUE(Pump([&] { return received.size() == 1; }));
  EXPECT_EQ(received, std::vector<int>{WM_OPTIONS_CHANGED});
  EXPECT_FALSE(PostInstanceMessage(dir.File("none.sock"), WM_OPTIONS_CHANGED));
}

TEST(InstanceRunning, OnlyAHeldLockCounts) {
  kvtest::TempDir dir;
  const std::string lock = dir.File("kelvara.lock");
  EXPECT_FALSE(InstanceRunning(lock));
  EXPECT_NE(::access(lock.c_str(), F_OK), 0);  // nothing was created
  {
    InstanceLock held;
    ASSERT_TRUE(held.Acquire(lock));
    // flock locks belong to the open file: a second open in this process sees it as another's.
    EXPECT_TRUE(InstanceRunning(lock));
  }
  EXPECT_FALSE(InstanceRunning(lock));
  InstanceLock again;
  EXPECT_TRUE(again.Acquire(lock));  // looking took nothing
}

}  // namespace
}  // namespace kv
