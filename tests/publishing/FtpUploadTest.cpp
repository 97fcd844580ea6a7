#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "core/EventLog.h"
#include "publishing/UploadFixture.h"
#include "publishing/upload/FtpClient.h"
#include "core/TransferProgress.h"
#include "settings/Language.h"

namespace {

using namespace kv;
using kvtest::Peer;
using kvtest::UploadTest;

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// Both pictures land in the nested folders by relative changes, the queue empties, the
// progress counters reach the file size, and the protocol log hides the password the server
// echoes in its welcome.
TEST(FtpUpload, BothPicturesGoIntoRelativeFoldersWithoutShowingThePassword) {
  UploadTest t;
  std::atomic<int> notified{0};
  SetTransferProgressNotifier([&notified] { ++notified; });
  Peer server(t.ServerArgs({"--echo"}));
  t.settings.Port = server.Port();
  t.Queue(tImageKind::Light, "kvlight.png", 5000);
  t.Queue(tImageKind::Banner, "kvwide.png", 7001);
  t.Run();
  EXPECT_EQ(kvtest::ReadFile(t.root + "www/img/kvlight.png"), kvtest::ReadFile(t.pictures + "kvlight.png"));
  EXPECT_EQ(kvtest::ReadFile(t.root + "www/img/b/kvwide.png"), kvtest::ReadFile(t.pictures + "kvwide.png"));
  EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(t.queue.Pending(tImageKind::Banner).name.empty());
  EXPECT_EQ(TransferProgress().total.load(), 7001);
  EXPECT_EQ(TransferProgress().done.load(), 7001);
  EXPECT_FALSE(TransferProgress().transferring.load());
  const std::string log = t.Log();
  EXPECT_FALSE(Has(log, "s3cr3t")) << log;
  EXPECT_TRUE(Has(log, "Sent:     PASS *****"));
  EXPECT_TRUE(Has(log, "Received: 230 Welcome *****"));
  EXPECT_TRUE(Has(log, "Changing dir to /www"));
  EXPECT_TRUE(Has(log, "Changing dir to img"));
  EXPECT_TRUE(Has(log, "Changing dir to b"));
  EXPECT_TRUE(Has(log, "Disconnecting (FTP)"));
  EXPECT_TRUE(t.ui.Saw("Connected to 127.0.0.1"));
  EXPECT_TRUE(t.ui.Saw("Uploading kvwide.png..."));
  SetTransferProgressNotifier(nullptr);
  EXPECT_GT(notified.load(), 0);
  ASSERT_FALSE(t.ui.iconSlots.empty());
  EXPECT_EQ(t.ui.iconSlots.front(), 2);
}

// A refused store closes the session: the banner is not tried and both stay queued.
TEST(FtpUpload, RefusedFirstUploadKeepsBothEntries) {
  UploadTest t;
  Peer server(t.ServerArgs({"--readonly"}));
  t.settings.Port = server.Port();
  t.Queue(tImageKind::Light, "kvlight.png");
  t.Queue(tImageKind::Banner, "kvwide.png");
  t.Run();
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_FALSE(t.queue.Pending(tImageKind::Banner).name.empty());
  const std::string log = t.Log();
  EXPECT_TRUE(Has(log, "ui3 "));
  EXPECT_TRUE(Has(log, "Uploading kvlight.png"));
  EXPECT_FALSE(Has(log, "Uploading kvwide.png"));
  EXPECT_FALSE(std::filesystem::exists(t.root + "www/img/kvlight.png"));
}

// A remote folder that cannot be entered fails the run: nothing lands where the login left
// the session, both entries stay queued, and the session is still closed.
TEST(FtpUpload, RemoteFolderThatCannotBeEnteredFailsTheRun) {
  UploadTest t;
  Peer server(t.ServerArgs());
  t.settings.Port = server.Port();
  t.settings.FTPPath = "/www/site";
  t.settings.LightPath.clear();
  t.Queue(tImageKind::Light, "kvlight.png");
  t.Queue(tImageKind::Banner, "kvwide.png");
  t.Run();
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_FALSE(t.queue.Pending(tImageKind::Banner).name.empty());
  EXPECT_FALSE(std::filesystem::exists(t.root + "kvlight.png"));
  EXPECT_FALSE(t.ui.Saw("Upload finished"));
  bool why = false;
  for (const std::string& s : t.ui.status) why |= s.starts_with("Upload failed (\"Cannot change to /www/site: ");
  EXPECT_TRUE(why);
  const std::string log = t.Log();
  EXPECT_TRUE(Has(log, "tucf4 "));
  EXPECT_TRUE(Has(log, "tue1 Cannot change to /www/site"));
  EXPECT_FALSE(Has(log, "Uploading "));
  EXPECT_TRUE(Has(log, "Disconnecting (FTP)"));
}

// Without host, user or password the run ends before any connection.
TEST(FtpUpload, MissingCredentialsEndTheRunWithoutConnecting) {
  struct Case {
    void (*clear)(tSettings&);
    const char* log;
    const char* status;
  } cases[] = {
      {[](tSettings& s) { s.Host.clear(); }, "No FTP hostname entered", "NoFTPHost"},
      {[](tSettings& s) { s.User.clear(); }, "No FTP username entered", "NoFTPUser"},
      {[](tSettings& s) { s.FTPPass.clear(); }, "No FTP password entered", "NoFTPPassword"},
  };
  for (const Case& c : cases) {
    UploadTest t;
    c.clear(t.settings);
    t.Queue(tImageKind::Light, "kvlight.png");
    t.Run();
    const std::string log = t.Log();
    EXPECT_TRUE(Has(log, c.log)) << c.log;
    EXPECT_FALSE(Has(log, "Connecting to")) << c.log;
    EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
    EXPECT_FALSE(t.ui.status.empty());
  }
}

// An entry whose file vanished is dropped; with nothing left the run says so.
TEST(FtpUpload, VanishedFileIsDroppedFromTheQueue) {
  UploadTest t;
  t.Queue(tImageKind::Light, "kvlight.png");
  std::filesystem::remove(t.pictures + "kvlight.png");
  t.Run();
  EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(Has(t.Log(), "Not uploading any image"));
}

// TLS modes against servers with and without TLS, and the certificate check.
TEST(FtpUpload, TlsModes) {
  UploadTest t;
  const std::string cert = t.dir.Path() + "cert.pem";
  const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " +
                          cert + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  {
    Peer plain(t.ServerArgs());
    t.settings.Port = plain.Port();
    t.Queue(tImageKind::Light, "kvlight.png");
    t.settings.UseTLS = 3;  // required, but not offered: the status line says so
    t.Run();
    EXPECT_TRUE(t.ui.SawStarting("Connection failed (\"")) << t.Log();
    EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
    t.settings.UseTLS = 1;  // when offered
    t.Run();
    EXPECT_TRUE(Has(t.Log(), "Continuing without TLS"));
    EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty());
  }
  Peer tls(t.ServerArgs({"--tls"}));
  t.settings.Port = tls.Port();
  t.settings.UseTLS = 3;
  t.Queue(tImageKind::Light, "kvlight.png");
  t.ui.status.clear();
  t.Run();  // a self-signed certificate is refused, and the status line says why
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(t.ui.SawStarting("Connection failed (\""));
  t.settings.VerifyTLS = false;
  t.Run();
  EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty()) << t.Log();
  EXPECT_TRUE(std::filesystem::exists(t.root + "www/img/kvlight.png"));
  const std::string log = t.Log();
  EXPECT_TRUE(Has(log, "Sent:     PROT P"));
  EXPECT_FALSE(Has(log, "s3cr3t"));
}

TEST(FtpClientPaths, JoinAndEscape) {
  EXPECT_EQ(JoinRemoteDir("/www", "img"), "/www/img");
  EXPECT_EQ(JoinRemoteDir("/", "img/"), "/img");
  EXPECT_EQ(JoinRemoteDir("/www", "/abs"), "/abs");
  EXPECT_EQ(EscapeUrlPath("a b%/?#"), "a%20b%25%2F%3F%23");
}

}  // namespace

namespace {

using namespace kv;
using kvtest::Peer;
using kvtest::UploadTest;

// Implicit TLS speaks TLS from the first byte and still protects the data channel.
TEST(FtpUpload, ImplicitTls) {
  UploadTest t;
  const std::string cert = t.dir.Path() + "cert.pem";
  const std::string cmd = "openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=localhost -keyout " +
                          cert + " -out " + cert + " >/dev/null 2>&1";
  ASSERT_EQ(std::system(cmd.c_str()), 0);
  Peer implicit(t.ServerArgs({"--tls", "--implicit"}));
  t.settings.Port = implicit.Port();
  t.settings.UseTLS = 2;
  t.settings.VerifyTLS = false;
  t.Queue(tImageKind::Light, "kvlight.png");
  t.Run();
  EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty()) << t.Log();
  EXPECT_TRUE(std::filesystem::exists(t.root + "www/img/kvlight.png"));
  const std::string log = t.Log();
  EXPECT_EQ(log.find("AUTH "), std::string::npos);
  EXPECT_NE(log.find("Sent:     PROT P"), std::string::npos);
}

}  // namespace
