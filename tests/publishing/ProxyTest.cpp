#include <gtest/gtest.h>

#include <filesystem>

#include "publishing/UploadFixture.h"
#include "publishing/upload/FtpProxyRelay.h"

namespace {

using namespace kv;
using kvtest::Peer;
using kvtest::UploadTest;

// Each proxy mode logs in with its own sequence, which the fixture proxy checks before it
// relays to the server (the lines it got up to then are compared); the picture then arrives.
TEST(FtpProxy, EveryModeLogsInThroughTheProxy) {
  UploadTest t;
  Peer server(t.ServerArgs());
  const std::string site = "127.0.0.1:" + std::to_string(server.Port());
  const std::string log = t.dir.Path() + "proxy.log";
  Peer proxy({"proxy", std::to_string(server.Port()), "pu", "pp#1", log});
  const std::vector<std::string> expected[] = {
      {"USER pu", "PASS pp#1", "USER kv@" + site},
      {"USER pu", "PASS pp#1", "SITE " + site},
      {"USER pu", "PASS pp#1", "OPEN " + site},
      {"USER kv@pu@" + site, "PASS s3cr3t!@pp#1"},
      {"USER pu", "PASS pp#1", "USER kv"},
  };
  for (int mode = 1; mode <= 5; ++mode) {
    std::filesystem::remove(log);
    std::filesystem::remove(t.root + "www/img/kvlight.png");
    t.settings.Port = server.Port();
    t.settings.ProxyType = mode;
    t.settings.ProxyHost = "127.0.0.1";
    t.settings.ProxyPort = proxy.Port();
    t.settings.ProxyUser = "pu";
    t.settings.FTPProxyPass = "pp#1";
    t.Queue(tImageKind::Light, "kvlight.png");
    t.Run();
    EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty()) << "mode " << mode << t.Log();
    EXPECT_TRUE(std::filesystem::exists(t.root + "www/img/kvlight.png")) << "mode " << mode;
    std::vector<std::string> lines;
    std::string text = kvtest::ReadFile(log);
    for (size_t at = 0, eol; (eol = text.find('\n', at)) != std::string::npos; at = eol + 1)
      lines.push_back(text.substr(at, eol - at));
    lines.resize(std::min(lines.size(), expected[mode - 1].size()));
    EXPECT_EQ(lines, expected[mode - 1]) << "mode " << mode;
  }
  const std::string events = t.Log();
  EXPECT_EQ(events.find("pp#1"), std::string::npos);
  EXPECT_EQ(events.find("s3cr3t"), std::string::npos);
}

// A proxy that refuses the login ends the attempt; nothing goes around it.
TEST(FtpProxy, RefusedProxyLoginFailsWithoutDirectConnection) {
  UploadTest t;
  Peer server(t.ServerArgs());
  Peer proxy({"proxy", std::to_string(server.Port()), "pu", "right", t.dir.Path() + "proxy.log"});
  t.settings.Port = server.Port();
  t.settings.ProxyType = 2;
  t.settings.ProxyHost = "127.0.0.1";
  t.settings.ProxyPort = proxy.Port();
  t.settings.ProxyUser = "pu";
  t.settings.FTPProxyPass = "wrong";
  t.Queue(tImageKind::Light, "kvlight.png");
  t.Run();
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(t.ui.SawStarting("Connection failed (\""));
  EXPECT_FALSE(std::filesystem::exists(t.root + "www/img/kvlight.png"));
}

}  // namespace
