#include <gtest/gtest.h>
#include <sys/stat.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>

#include "core/Process.h"
#include "publishing/UploadFixture.h"
#include "publishing/upload/SecureCopy.h"

namespace {

using namespace kv;
using kvtest::UploadTest;

// A pscp stand-in first on PATH: records its arguments, its working directory and the password
// file's mode and content, then behaves as the script's tail says.
class StandIn {
 public:
  StandIn(UploadTest& t, const std::string& tail) : t_(t), oldPath_(std::getenv("PATH")) {
    const std::string bin = t.dir.Path() + "bin/";
    std::filesystem::create_directories(bin);
    record_ = t.dir.Path() + "record.txt";
    kvtest::WriteFile(bin + "pscp",
                      "#!/bin/sh\n"
                      "{ for a in \"$@\"; do echo \"arg:$a\"; done; pwd;\n"
                      "  while [ $# -gt 0 ]; do if [ \"$1\" = -pwfile ]; then\n"
                      "    stat -c 'mode:%a' \"$2\"; echo \"pw:$(cat \"$2\")\"; echo \"pwfile:$2\"; fi; shift; done\n"
                      "} > " + record_ + "\n" + tail + "\n");
    std::filesystem::permissions(bin + "pscp", std::filesystem::perms::owner_all);
    setenv("PATH", (bin + ":" + oldPath_).c_str(), 1);
  }
  ~StandIn() { setenv("PATH", oldPath_.c_str(), 1); }
  std::string Record() const { return kvtest::ReadFile(record_); }

 private:
  UploadTest& t_;
  std::string oldPath_, record_;
};

void SetUpCopy(UploadTest& t) {
  t.settings.UploadType = 3;
  t.settings.Port = 2222;
  t.settings.FTPPath = "/srv/www";
  t.settings.Host = "example.org";
  t.Queue(tImageKind::Light, "kvlight.png");
  t.Queue(tImageKind::Banner, "kvwide.png");
}

// The argument vector holds no password; the password file is private and deleted after.
TEST(SecureCopy, ArgumentsAndPasswordFile) {
  UploadTest t;
  SetUpCopy(t);
  StandIn pscp(t, "exit 0");
  t.Run();
  const std::string record = pscp.Record();
  const std::string expected = "arg:-v\narg:-batch\narg:-P\narg:2222\narg:-pwfile\n";
  EXPECT_NE(record.find(expected), std::string::npos) << record;
  EXPECT_NE(record.find("arg:" + t.pictures + "kvlight.png\narg:" + t.pictures +
                        "kvwide.png\narg:kv@example.org:/srv/www\n" + t.process.AppDir.substr(0, t.process.AppDir.size() - 1) + "\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("mode:600\npw:s3cr3t!\n"), std::string::npos) << record;
  EXPECT_EQ(record.find("arg:s3cr3t"), std::string::npos);
  const size_t at = record.find("pwfile:");
  ASSERT_NE(at, std::string::npos);
  const std::string file = record.substr(at + 7, record.find('\n', at) - at - 7);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(t.queue.Pending(tImageKind::Banner).name.empty());
  EXPECT_TRUE(t.ui.Saw("Upload completed"));
  EXPECT_NE(t.Log().find("Started with pid "), std::string::npos);
}

// A copy that fails or cannot start is a failed run: the queue stays, the status line says why
// and never "Upload completed". The real pscp meets a port nobody listens on.
TEST(SecureCopy, FailedOrMissingCopyKeepsTheQueue) {
  const struct {
    const char* path;  // PATH for the run
    const char* status;
  } cases[] = {
      {"/usr/bin", "Upload failed (\"pscp ended with exit code 1\")"},
      {"", "Upload failed (\"pscp cannot be started; the package putty-tools provides it\")"},
  };
  const std::string oldPath = std::getenv("PATH");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.status);
    UploadTest t;
    SetUpCopy(t);
    t.settings.Host = "127.0.0.1";
    t.settings.Port = kvtest::FreePort();
    const std::string empty = t.dir.Path() + "nothing/";
    std::filesystem::create_directories(empty);
    setenv("PATH", *c.path ? c.path : empty.c_str(), 1);
    t.Run();
    setenv("PATH", oldPath.c_str(), 1);
    EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
    EXPECT_FALSE(t.queue.Pending(tImageKind::Banner).name.empty());
    EXPECT_TRUE(t.ui.Saw(c.status)) << (t.ui.status.empty() ? "" : t.ui.status.back());
    EXPECT_FALSE(t.ui.Saw("Upload completed"));
    EXPECT_NE(t.Log().find("tue1 pscp "), std::string::npos);
  }
}

// A hanging copy is killed after 15 s and leaves the queue as it was.
TEST(SecureCopy, HangingCopyIsKilledAfterFifteenSeconds) {
  EXPECT_EQ(PscpPolls * PscpPollMs, 15000);
  UploadTest t;
  SetUpCopy(t);
  StandIn pscp(t, "sleep 20");
  const auto start = std::chrono::steady_clock::now();
  t.Run();
  const auto took = std::chrono::steady_clock::now() - start;
  EXPECT_GE(took, std::chrono::milliseconds(14900));
  EXPECT_LT(took, std::chrono::seconds(19));
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_FALSE(t.queue.Pending(tImageKind::Banner).name.empty());
  const std::string log = t.Log();
  EXPECT_NE(log.find("Killing process with handle "), std::string::npos);
  EXPECT_NE(log.find("Done."), std::string::npos);
  EXPECT_FALSE(t.ui.Saw("Upload completed"));
}

}  // namespace
