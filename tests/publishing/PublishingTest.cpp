#include "publishing/Publishing.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "core/EventLog.h"
#include "core/Process.h"
#include "publishing/UploadFixture.h"
#include "core/TransferProgress.h"
#include "settings/Settings.h"
#include "system/Processes.h"

namespace {

using namespace kv;
using kvtest::Peer;
using kvtest::UploadTest;

// While a slow transfer runs, the upload command only says so; shutting down then aborts the
// transfer well within the time-out and keeps the entry queued.
TEST(Publishing, UploadCommandDuringARunAndShutDownDuringATransfer) {
  UploadTest t;
  Peer server(t.ServerArgs({"--throttle", "200000"}));
  t.settings.Port = server.Port();
  t.Queue(tImageKind::Light, "kvlight.png", 8'000'000);
  SetDebugMode(true);
  Publishing publishing(t.Sources());
  publishing.CreateUpload();
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (!std::filesystem::exists(t.root + "www/img/kvlight.png") &&
         std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  ASSERT_TRUE(publishing.UploadRunning());
  EXPECT_TRUE(TransferProgress().transferring.load());
  bool saved = false;
  publishing.UploadNow([&] { saved = true; });
  EXPECT_FALSE(saved);
  EXPECT_NE(t.Log().find("Upload/mailing thread still running"), std::string::npos);
  const auto start = std::chrono::steady_clock::now();
  publishing.FreeUpload();
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_FALSE(publishing.UploadExists());
  EXPECT_FALSE(t.queue.Pending(tImageKind::Light).name.empty());
  EXPECT_TRUE(publishing.ImagesWaiting());
  kvtest::DeliverMainThreadCalls();
}

// Spawned from an argument vector in the folder given, watched until it ends and reaped; pid 0 and
// below touch nothing.
TEST(Processes, StartWatchKill) {
  kvtest::TempDir dir;
  const int quick = StartHidden({"/bin/sh", "-c", "pwd > here.txt", "ignored $(touch no)"}, dir.Path());
  ASSERT_GT(quick, 0);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (IsRunning(quick) && std::chrono::steady_clock::now() < deadline)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  EXPECT_FALSE(IsRunning(quick));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(quick)));  // no zombie left
  EXPECT_EQ(kvtest::ReadFile(dir.File("here.txt")), dir.Path().substr(0, dir.Path().size() - 1) + "\n");
  EXPECT_FALSE(std::filesystem::exists(dir.File("no")));

  const int slow = StartHidden({"sleep", "30"}, {});
  ASSERT_GT(slow, 0);
  EXPECT_TRUE(IsRunning(slow));
  EXPECT_TRUE(KillProcess(slow));
  EXPECT_FALSE(IsRunning(slow));
  EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(slow)));

  EXPECT_EQ(StartHidden({"no-such-program-kv"}, {}), 0);
  EXPECT_FALSE(IsRunning(0));
  EXPECT_FALSE(KillProcess(0));
  EXPECT_FALSE(KillProcess(-1));
}

}  // namespace
