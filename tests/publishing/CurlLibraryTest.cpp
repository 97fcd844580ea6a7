// libcurl is opened by the first transfer, not at start, and a missing or broken library ends
// the transfer with its reason instead of the program. The start-up cases run in a fresh
// process of this program (this suite does not link libcurl), since this one has loaded it.
#include "core/CurlLibrary.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "core/EventLog.h"
#include "publishing/HttpClient.h"
#include "publishing/Publishing.h"
#include "publishing/UploadFixture.h"
#include "settings/Language.h"
#include "settings/Settings.h"

extern char** environ;

namespace {

using namespace kv;
using kvtest::UploadTest;

constexpr const char* FreshMark = "KV_CURL_FRESH_PROCESS";

bool Has(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

bool InFreshProcess() { return std::getenv(FreshMark) != nullptr; }

bool CurlMapped() {
  std::ifstream maps("/proc/self/maps");
  std::string line;
  while (std::getline(maps, line))
    if (Has(line, "/libcurl")) return true;
  return false;
}

struct tFreshRun {
  int exitCode = -1;
  std::string output;
};

// Runs the current test again as the only one in a new process of this program, with extra
// environment entries; the new process sees FreshMark set.
tFreshRun RunFresh(const std::vector<std::string>& extraEnv) {
  const testing::TestInfo* test = testing::UnitTest::GetInstance()->current_test_info();
  const std::string filter = std::string("--gtest_filter=") + test->test_suite_name() + "." + test->name();
  std::vector<std::string> env = extraEnv;
  env.push_back(std::string(FreshMark).append("=1"));
  std::vector<char*> envp;
  for (const std::string& e : env) envp.push_back(const_cast<char*>(e.c_str()));
  for (char** e = environ; *e; ++e) envp.push_back(*e);
  envp.push_back(nullptr);
  kvtest::TempDir dir;
  const std::string outFile = dir.File("out.txt");
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, outFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  char* argv[] = {const_cast<char*>("/proc/self/exe"), const_cast<char*>(filter.c_str()), nullptr};
  tFreshRun run;
  pid_t pid = 0;
  if (posix_spawn(&pid, "/proc/self/exe", &actions, nullptr, argv, envp.data()) == 0) {
    int status = 0;
    if (waitpid(pid, &status, 0) == pid && WIFEXITED(status)) run.exitCode = WEXITSTATUS(status);
  }
  posix_spawn_file_actions_destroy(&actions);
  run.output = kvtest::ReadFile(outFile);
  return run;
}

// Waits for the publishing threads to end and hands over their status lines.
void Settle(Publishing& publishing) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while ((publishing.UploadRunning() || publishing.UpdateRunning()) && std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(publishing.UploadRunning());
  EXPECT_FALSE(publishing.UpdateRunning());
  kvtest::DeliverMainThreadCalls();
}

// A file that is not there, and one that is a library but not libcurl: the text names the file
// and what the loader said, and nothing is left half loaded to be called.
TEST(CurlLibrary, MissingFileOrFunctionsGiveTheirReason) {
  try {
    OpenCurlLibrary("libkelvara-nothing.so.4");
    ADD_FAILURE() << "a missing file loaded";
  } catch (const CurlLoadError& e) {
    const std::string text = e.what();
    EXPECT_TRUE(text.starts_with("libkelvara-nothing.so.4 cannot be loaded: ")) << text;
    EXPECT_TRUE(Has(text, "cannot open shared object file")) << text;
  }
  try {
    OpenCurlLibrary("libc.so.6");
    ADD_FAILURE() << "the C library passed for libcurl";
  } catch (const CurlLoadError& e) {
    const std::string text = e.what();
    EXPECT_TRUE(text.starts_with("libc.so.6 cannot be loaded: ")) << text;
    EXPECT_TRUE(Has(text, "curl_global_init")) << text;
  }
  // The real one still loads afterwards, and every function is there.
  const tCurlLibrary& lib = CurlLibrary();
  EXPECT_EQ(&lib, &CurlLibrary());
  EXPECT_NE(lib.easy_reset, nullptr);
  EXPECT_NE(lib.version_info, nullptr);
  CURL* curl = lib.easy_init();
  ASSERT_NE(curl, nullptr);
  EXPECT_EQ(lib.Set(curl, CURLOPT_PROTOCOLS_STR, "https"), CURLE_OK);
  lib.easy_cleanup(curl);
}

// What a program start does with publishing - the service built, the settings applied, the
// upload and update threads made and ended without a transfer - leaves libcurl unloaded; the
// first transfer's load then shows in the same check.
TEST(CurlLibrary, StartWithoutTransferLeavesItUnloaded) {
  if (!InFreshProcess()) {
    const tFreshRun run = RunFresh({});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return;
  }
  ASSERT_FALSE(CurlMapped()) << "this test program links libcurl itself";
  {
    UploadTest t;  // nothing queued: the upload thread ends without connecting
    t.settings.CheckForUpdate = false;
    SetDebugMode(true);  // the event log is written in debug mode only
    Publishing publishing(t.Sources());
    publishing.ApplyHttpServer();
    publishing.UpdateCheck(false);
    publishing.CreateUpload();
    Settle(publishing);
    EXPECT_TRUE(Has(t.Log(), "Not uploading any image"));
    EXPECT_TRUE(Has(t.Log(), "Creating autoupdate thread"));
    EXPECT_FALSE(CurlMapped());
  }
  CurlLibrary();
  EXPECT_TRUE(CurlMapped());
}

// With a broken libcurl.so.4 first in the search path, an upload and an update check each end
// with the loader's reason in the status line and the log, the upload after one attempt and with
// its pictures still queued; the program goes on.
TEST(CurlLibrary, BrokenLibraryEndsTransfersWithTheReason) {
  if (!InFreshProcess()) {
    kvtest::TempDir dir;
    kvtest::WriteFile(dir.File("libcurl.so.4"), "not a library");
    const tFreshRun run = RunFresh({"LD_LIBRARY_PATH=" + dir.Path()});
    EXPECT_EQ(run.exitCode, 0) << run.output;
    return;
  }
  UploadTest t;
  t.Queue(tImageKind::Light, "kvlight.png");
  t.settings.Port = kvtest::FreePort();
  t.settings.CheckForUpdate = true;
  t.settings.UpdateServer = "https://127.0.0.1:" + std::to_string(t.settings.Port);
  SetDebugMode(true);
  Publishing publishing(t.Sources());
  publishing.CreateUpload();
  Settle(publishing);
  publishing.UpdateCheck(true);
  Settle(publishing);

  const std::string log = t.Log();
  const std::string failed = Texts()->ConnectionFailed + " (\"libcurl.so.4 cannot be loaded: ";
  size_t withReason = 0;
  for (const std::string& s : t.ui.status)
    if (s.starts_with(failed) && Has(s, "libcurl.so.4: file too short")) ++withReason;
  EXPECT_EQ(withReason, 2u) << log;  // the upload's and the update check's
  size_t attempts = 0;
  for (size_t at = log.find("cp1 libcurl.so.4 cannot be loaded: "); at != std::string::npos;
       at = log.find("cp1 libcurl.so.4", at + 1))
    ++attempts;
  EXPECT_EQ(attempts, 1u) << log;
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_FALSE(CurlMapped());
}

}  // namespace
