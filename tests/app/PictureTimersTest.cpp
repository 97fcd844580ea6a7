// The headless cycle's picture timers: the banner timer draws, saves and queues the banner, and
// hands what it wrote on (to the HTTP server).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QImage>

#include <utility>
#include <vector>

#include "app/CycleState.h"
#include "app/Connections.h"
#include "app/MainCycle.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "displays/ImageSaving.h"
#include "platform/Files.h"
#include "platform/SharedMemory.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class PictureTimers : public testing::Test, protected kvtest::FakeTime, public kvtest::MonitorState {
 protected:
  PictureTimers() : FakeTime(kvtest::CycleStartMs()), MonitorState(clock_) {}
  void SetUp() override {
    Process.AppDir = KV_BIN_DIR "/";
    pictures = dir.Path() + "pictures/";
    ASSERT_EQ(::mkdir(pictures.c_str(), 0700), 0);
    kvtest::EnterCycleState(M, dir, "pictimers");
  }
  void TearDown() override {
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    kvtest::LeaveCycleState();
  }
  bool Logged(const std::string& line) const {
    return kvtest::ReadFile(dir.File("KVEvents.txt")).find("] " + line + "\r\n") != std::string::npos;
  }

  kvtest::TempDir dir;
  std::string pictures;
  kvtest::RecordingUi ui;
  TMainCycle cycle{M, ui};
};

TEST_F(PictureTimers, BannerTimerWritesTheBannerAndQueuesIt) {
  Settings.SaveBanner = true;
  Settings.UploadBanner = true;
  Settings.SaveLight = false;
  Settings.AutoConnect = true;
  Settings.LocalPath = pictures;
  Settings.BannerWidth = 640;
  std::vector<std::pair<tImageKind, tSavedPicture>> saved;
  ConnectPictures(cycle,
                  [&saved](tImageKind kind, const tSavedPicture& picture) { saved.emplace_back(kind, picture); });
  ASSERT_TRUE(cycle.Initialise());
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Banner).active);
  EXPECT_EQ(cycle.Timer(tCycleTimer::Banner).interval, 50000);
  EXPECT_FALSE(M.Pictures.Waiting());

  clock_.Advance(20000);
  cycle.MainTick();
  clock_.Advance(30000);
  cycle.BannerTick();
  const tPendingImage banner = M.Pictures.Pending(tImageKind::Banner);
  ASSERT_EQ(banner.name, "kvwide.png") << kvtest::ReadFile(dir.File("KVEvents.txt"));
  EXPECT_EQ(banner.path, pictures + "kvwide.png");
  EXPECT_EQ(QImage(QString::fromStdString(banner.path)).size(), QSize(640, 80));
  EXPECT_TRUE(M.Pictures.Pending(tImageKind::Light).name.empty());
  ASSERT_EQ(saved.size(), 1u);
  EXPECT_EQ(saved[0].first, tImageKind::Banner);
  EXPECT_EQ(saved[0].second.path, banner.path);
  ASSERT_TRUE(saved[0].second.bytes);
  EXPECT_EQ(*saved[0].second.bytes, kvtest::ReadFile(banner.path));
  EXPECT_TRUE(Logged("Drawing banner"));
  EXPECT_TRUE(Logged("Saving kvwide.png"));
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Banner).active);
  EXPECT_EQ(cycle.Timer(tCycleTimer::Banner).interval, 900000);
  cycle.AutoConnectTick();
  EXPECT_TRUE(Logged("Newly saved images detected"));
}

}  // namespace
}  // namespace kv
