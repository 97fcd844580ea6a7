// Clients that try to wear the server down: each must cost it little, end soon, and leave the
// others served.
#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "publishing/HttpClient.h"
#include "publishing/HttpFixture.h"
#include "publishing/http/HttpServer.h"

namespace {

using namespace std::chrono_literals;
using kvtest::Get;
using kvtest::HttpTest;
using kvtest::RawClient;
using Clock = std::chrono::steady_clock;

std::vector<std::unique_ptr<RawClient>> SlowClients(int port, int count) {
  std::vector<std::unique_ptr<RawClient>> clients;
  for (int i = 0; i < count; ++i) {
    clients.push_back(std::make_unique<RawClient>(port));
    clients.back()->Send("GET /f.txt HTTP/1.1\r\nHost: x\r\nX-Drip: ");
  }
  return clients;
}

struct Flood {
  const char* name;
  std::string head, piece;  // piece is sent again and again after the head
  const char* answer;       // how the answer starts
};
void PrintTo(const Flood& flood, std::ostream* out) { *out << flood.name; }

struct HostileClients : kvtest::HttpTest, testing::WithParamInterface<Flood> {
  HostileClients() {
    Write(www + "f.txt", "here");
    Start();
  }
};

// Endless heads and bodies: the server reads a few kilobytes, answers or refuses, and hangs
// up; a body is never read, and a POST still gets what a GET would. (Loopback buffers take
// megabytes before any server reads, so the bound shows as the hang-up, not as bytes sent.)
TEST_P(HostileClients, FloodsAreCutShort) {
  const Flood& flood = GetParam();
  RawClient client(Port());
  const auto start = Clock::now();
  for (std::string_view data = flood.head; Clock::now() - start < 2s && client.Send(data, 500ms); data = flood.piece) {
  }
  EXPECT_TRUE(client.ClosedWithin(1s));
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_TRUE(client.received.starts_with(flood.answer)) << client.received.substr(0, 200);
  EXPECT_EQ(Get(Port(), "/f.txt").body, "here");
}

const std::string kFiller = "X-Filler: " + std::string(50, 'a') + "\r\n";
INSTANTIATE_TEST_SUITE_P(
    Heads, HostileClients,
    testing::Values(Flood{"HeaderLines", "GET /f.txt HTTP/1.1\r\nHost: x\r\n", kFiller, "HTTP/1.1 431"},
                    Flood{"OneLongHeader", "GET /f.txt HTTP/1.1\r\nHost: x\r\nX-Long: ", std::string(1000, 'a'),
                          "HTTP/1.1 431"},
                    Flood{"LongTarget", "GET /", std::string(1000, 'a'), "HTTP/1.1 414"},
                    Flood{"ChunkedBody", "POST /f.txt HTTP/1.1\r\nHost: x\r\nTransfer-Encoding: chunked\r\n\r\n",
                          "400\r\n" + std::string(1024, 'b') + "\r\n", "HTTP/1.1 200"},
                    Flood{"DeclaredBody", "POST /f.txt HTTP/1.1\r\nHost: x\r\nContent-Length: 1000000000\r\n\r\n",
                          std::string(1024, 'b'), "HTTP/1.1 200"}),
    [](const auto& param) { return std::string(param.param.name); });

// 300 clients dripping a byte of their heads every 100 ms do not delay anybody else.
TEST_F(HttpTest, SlowClientsDoNotDelayOthers) {
  Write(www + "f.txt", "here");
  Start();
  auto slow = SlowClients(Port(), 300);
  Clock::duration worst{};
  for (const auto end = Clock::now() + 1500ms; Clock::now() < end;) {
    for (auto& c : slow) c->Send("a", 10ms);
    const auto asked = Clock::now();
    EXPECT_EQ(Get(Port(), "/f.txt").body, "here");
    worst = std::max(worst, Clock::now() - asked);
  }
  EXPECT_LT(worst, 1s);
}

// Stopping closes every connection at once, whatever the clients are doing; a change of the
// settings that leaves the server's own alone does not touch it or its connections.
TEST_F(HttpTest, StopAndRestartNeverWaitForClients) {
  Write(www + "f.txt", "here");
  Start();
  auto slow = SlowClients(Port(), 200);
  RawClient kept(Port());
  ASSERT_TRUE(kept.Send("GET /f.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
  kept.Read(300ms);

  settings.Light = "other.png";
  auto begun = Clock::now();
  Start();
  EXPECT_LT(Clock::now() - begun, 1s);
  ASSERT_TRUE(kept.Send("GET /f.txt HTTP/1.1\r\nHost: x\r\n\r\n"));
  kept.Read(300ms);
  EXPECT_EQ(kvtest::CountAnswers(kept.received), 2);
  EXPECT_FALSE(kept.closed);

  settings.HTTPServerActive = false;
  begun = Clock::now();
  Start();
  EXPECT_LT(Clock::now() - begun, 1s);
  EXPECT_TRUE(slow.front()->ClosedWithin(1s));
  EXPECT_TRUE(kept.ClosedWithin(1s));

  settings.HTTPServerActive = true;
  begun = Clock::now();
  Start();
  EXPECT_LT(Clock::now() - begun, 1s);
  EXPECT_EQ(Get(Port(), "/f.txt").body, "here");
}

// Requests sent back to back on one connection get their answers in order.
TEST_F(HttpTest, PipelinedRequestsAreAnsweredInOrder) {
  const char* const names[] = {"one", "two", "three", "four", "five"};
  std::string requests;
  for (const char* name : names) {
    Write(www + name + ".txt", std::string("body of ") + name);
    requests += std::string("GET /") + name + ".txt HTTP/1.1\r\nHost: x\r\n\r\n";
  }
  Start();
  RawClient client(Port());
  ASSERT_TRUE(client.Send(requests));
  for (const auto end = Clock::now() + 2s; kvtest::CountAnswers(client.received) < 5 && Clock::now() < end;)
    client.Read(100ms);
  EXPECT_EQ(kvtest::CountAnswers(client.received), 5) << client.received;
  size_t at = 0;
  for (const char* name : names) {
    at = client.received.find(std::string("body of ") + name, at);
    EXPECT_NE(at, std::string::npos) << name;
  }
}

// The server module alone, with limits small enough to reach within a test.
struct HttpdLimits : testing::Test {
  int port = kvtest::FreePort();
  std::unique_ptr<kv::IHttpd> httpd;

  HttpdLimits() {
    const kv::tHttpdModule module = kv::LoadHttpdModule(std::string(KV_BIN_DIR) + "/");
    if (!module.make) throw std::runtime_error(module.error);
    httpd.reset(module.make());
    kv::tHttpdOptions options;
    options.port = port;
    options.limits.connections = 8;
    options.limits.headSeconds = 1;
    options.limits.idleSeconds = 3;
    options.handler = [](const kv::tHttpdRequest&, kv::tHttpdAnswer& answer) {
      answer.status = 200;
      answer.body = "ok";
    };
    if (!httpd->Start(options).listening) throw std::runtime_error("the server did not start");
  }
};

// A head must be complete within its deadline, however busily it drips; a silent client goes
// too. Beyond the connection cap, the client that has waited longest for its head goes first,
// and the newcomer is served.
TEST_F(HttpdLimits, SlowAndOversizedClientsAreBounded) {
  RawClient silent(port), dripping(port);
  dripping.Send("GET / HTTP/1.1\r\n");
  const auto start = Clock::now();
  while (!dripping.closed && Clock::now() - start < 3s) {
    dripping.Send("X", 100ms);
    dripping.Read(100ms);
  }
  EXPECT_TRUE(dripping.closed);
  EXPECT_GT(Clock::now() - start, 800ms);
  EXPECT_LT(Clock::now() - start, 2s);
  EXPECT_TRUE(silent.ClosedWithin(1s));

  // The first is surely taken in before the others, the others before the newcomer.
  std::vector<std::unique_ptr<RawClient>> idle;
  for (int i = 0; i < 8; ++i) {
    idle.push_back(std::make_unique<RawClient>(port));
    if (i == 0 || i == 7) std::this_thread::sleep_for(100ms);
  }
  RawClient newcomer(port);
  ASSERT_TRUE(newcomer.Send("GET / HTTP/1.1\r\nHost: x\r\n\r\n"));
  newcomer.Read(300ms);
  EXPECT_TRUE(newcomer.received.starts_with("HTTP/1.1 200")) << newcomer.received;
  EXPECT_TRUE(idle.front()->ClosedWithin(500ms));
  EXPECT_FALSE(idle.back()->ClosedWithin(100ms));
}

}  // namespace
