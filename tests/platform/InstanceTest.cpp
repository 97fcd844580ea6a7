// The instance socket with real local sockets: the server runs on this thread's event loop,
// senders on other threads or as raw sockets.
#include "platform/Instance.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <thread>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <sys/stat.h>

#include <QCoreApplication>
#include <QElapsedTimer>
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
  EXPECT_FALSE(ParseInstanceLine(std::string(40, ' ').append("1")).has_value());
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

// A listener that never accepts, so nobody ever answers.
int RawListen(const std::string& path) {
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, path.c_str(), sizeof addr.sun_path - 1);
  if (::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 || ::listen(fd, 4) != 0) {
    ::close(fd);
    return -1;
  }
  return fd;
}

// True when the server has closed its end (a reset when it left data unread); reads a byte.
bool ClosedByPeer(int fd) {
  char c;
  const ssize_t n = ::recv(fd, &c, 1, MSG_DONTWAIT);
  return n == 0 || (n < 0 && errno == ECONNRESET);
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

// A peer that answers the session end and then goes away before the close request arrives
// has been told: that is how a monitor ends on -close.
TEST_F(InstanceServerTest, PeerThatAnswersAndLeavesHasBeenTold) {
  const int listener = RawListen(path);
  ASSERT_GE(listener, 0);
  std::thread peer([&] {
    const int s = ::accept(listener, nullptr, nullptr);
    char buf[16];
    if (s >= 0 && ::recv(s, buf, sizeof buf, 0) > 0) ::send(s, "ok\n", 3, MSG_NOSIGNAL);
    if (s >= 0) ::close(s);
  });
  EXPECT_TRUE(SendInstanceMessages(path, {WM_QUERYENDSESSION, WM_CLOSE}, 2000));
  peer.join();
  ::close(listener);
}

TEST_F(InstanceServerTest, PostDoesNotWaitForTheAnswer) {
  // A listener that never answers (and never even accepts): Send would wait its whole time-out.
  const int silent = RawListen(path);
  ASSERT_GE(silent, 0);
  QElapsedTimer t;
  t.start();
  EXPECT_TRUE(PostInstanceMessage(path, WM_OPTIONS_CHANGED));
  EXPECT_LT(t.elapsed(), 1500);
  // The sender's wait for an answer is bounded too.
  t.restart();
  EXPECT_FALSE(SendInstanceMessages(path, {WM_SHOW_INSTANCE}, 300));
  EXPECT_LT(t.elapsed(), 1500);
  ::close(silent);

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

TEST_F(InstanceServerTest, OnlyOurOwnStaleSocketIsReplaced) {
  // A planted link or file at the path is neither followed nor removed.
  const std::string target = dir.File("target");
  kvtest::WriteFile(target, "keep");
  ASSERT_EQ(::symlink(target.c_str(), path.c_str()), 0);
  {
    InstanceServer server([&](int m) { received.push_back(m); });
    EXPECT_FALSE(server.Listen(path));
  }
  struct stat st {};
  ASSERT_EQ(::lstat(path.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(kvtest::ReadFile(target), "keep");
  ASSERT_EQ(::unlink(path.c_str()), 0);
  kvtest::WriteFile(path, "file");
  {
    InstanceServer server([&](int m) { received.push_back(m); });
    EXPECT_FALSE(server.Listen(path));
  }
  EXPECT_EQ(kvtest::ReadFile(path), "file");
  ASSERT_EQ(::unlink(path.c_str()), 0);

  // The socket file of a crashed instance goes; the new one is for its owner only.
  const int stale = RawListen(path);
  ASSERT_GE(stale, 0);
  ::close(stale);
  {
    InstanceServer server([&](int m) { received.push_back(m); });
    ASSERT_TRUE(server.Listen(path));
    ASSERT_EQ(::lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISSOCK(st.st_mode));
    EXPECT_EQ(st.st_mode & 077, 0u);
    ASSERT_TRUE(Send(WM_SHOW_INSTANCE));
    EXPECT_EQ(received, std::vector<int>{WM_SHOW_INSTANCE});
  }
  EXPECT_NE(::lstat(path.c_str(), &st), 0);  // a closed server leaves no socket file
}

TEST_F(InstanceServerTest, LinesMayComeInPiecesButNeverLongerThanAMessage) {
  InstanceServer server([&](int m) { received.push_back(m); }, nullptr, {16, 60000, 30000});
  ASSERT_TRUE(server.Listen(path));
  auto connect = [&] {
    const int fd = RawConnect(path);
    raw.push_back(fd);
    return fd;
  };
  // A peer that starts a line and stays holds up nobody.
  const int slow = connect();
  ASSERT_GE(slow, 0);
  ASSERT_EQ(::send(slow, "10", 2, MSG_NOSIGNAL), 2);
  ASSERT_TRUE(Send(WM_CLOSE));
  EXPECT_EQ(received, std::vector<int>{WM_CLOSE});
  // Its line completes later, followed by another in the same write; each gets its answer.
  ASSERT_EQ(::send(slow, "26\n17\n", 6, MSG_NOSIGNAL), 6);
  ASSERT_TRUE(Pump([&] { return received.size() == 3; }));
  EXPECT_EQ(received, (std::vector<int>{WM_CLOSE, WM_OPTIONS_CHANGED, WM_QUERYENDSESSION}));
  std::string answers;
  Pump([&] {
    char buffer[16];
    const ssize_t n = ::recv(slow, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n > 0) answers.append(buffer, n);
    return answers.size() >= 6;
  });
  EXPECT_EQ(answers, "ok\nok\n");

  // A line of the longest message length is still read; one byte more and the peer is cut
  // off at once, with or without a line end to come.
  const std::string longest = std::string(28, '0') + "1126";
  const int fits = connect();
  ASSERT_EQ(::send(fits, (longest + "\n").data(), longest.size() + 1, MSG_NOSIGNAL), 33);
  ASSERT_TRUE(Pump([&] { return received.size() == 4; }));
  EXPECT_EQ(received.back(), WM_SHOW_INSTANCE);
  for (const std::string& tooLong : {"0" + longest + "\n", std::string(4000, '7')}) {
    const int fd = connect();
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::send(fd, tooLong.data(), tooLong.size(), MSG_NOSIGNAL), static_cast<ssize_t>(tooLong.size()));
    EXPECT_TRUE(Pump([&] { return ClosedByPeer(fd); }, 3000)) << tooLong.size();
  }
  EXPECT_EQ(received.size(), 4u);
  EXPECT_FALSE(ClosedByPeer(slow));
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
