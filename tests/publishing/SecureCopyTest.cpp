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
                        "kvwide.png\narg:kv@example.org:/srv/www\n" + AppDir.substr(0, AppDir.size() - 1) + "\n"),
            std::string::npos)
      << record;
  EXPECT_NE(record.find("mode:600\npw:s3cr3t!\n"), std::string::npos) << record;
  EXPECT_EQ(record.find("arg:s3cr3t"), std::string::npos);
  const size_t at = record.find("pwfile:");
  ASSERT_NE(at, std::string::npos);
  const std::string file = record.substr(at + 7, record.find('\n', at) - at - 7);
  EXPECT_FALSE(std::filesystem::exists(file));
  EXPECT_TRUE(t.queue[tImageKind::Light].name.empty());
  EXPECT_TRUE(t.queue[tImageKind::Banner].name.empty());
  EXPECT_TRUE(t.ui.Saw("Upload completed"));
  EXPECT_NE(t.Log().find("Started with pid "), std::string::npos);
}

// Whatever the exit code, an ended copy empties the queue.
TEST(SecureCopy, FailedCopyStillEmptiesTheQueue) {
  UploadTest t;
  SetUpCopy(t);
  StandIn pscp(t, "exit 3");
  t.Run();
  EXPECT_TRUE(t.queue[tImageKind::Light].name.empty());
  EXPECT_TRUE(t.queue[tImageKind::Banner].name.empty());
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
  EXPECT_FALSE(t.queue[tImageKind::Light].name.empty());
  EXPECT_FALSE(t.queue[tImageKind::Banner].name.empty());
  const std::string log = t.Log();
  EXPECT_NE(log.find("Killing process with handle "), std::string::npos);
  EXPECT_NE(log.find("Done."), std::string::npos);
}

}  // namespace
