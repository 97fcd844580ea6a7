// The main cycle's signals, its publishing port, its timers across settings reloads, and the
// memory trim after the picture saves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QElapsedTimer>
#include <QThread>
#include <vector>

#include "app/CycleState.h"
#include "app/MainCycle.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/PublishingPort.h"
#include "core/UiPort.h"
#include "platform/Instance.h"
#include "platform/SharedMemory.h"
#include "settings/Settings.h"
#include "support/RecordingUi.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

// Records what the cycle asks of the publishing services.
class RecordingPublishing final : public PublishingPort {
 public:
  bool ImagesWaiting() override { return waiting; }
  bool UploadExists() override { return uploadExists; }
  bool UploadRunning() override { return uploadRunning; }
  void CreateUpload() override { calls.push_back("CreateUpload"), uploadExists = uploadRunning = true; }
  void FreeUpload() override { calls.push_back("FreeUpload"), uploadExists = uploadRunning = false; }
  bool UpdateExists() override { return updateExists; }
  bool UpdateRunning() override { return false; }
  void FreeUpdate() override { calls.push_back("FreeUpdate"); }
  void UpdateCheck(bool force) override { calls.push_back(force ? "UpdateCheck(force)" : "UpdateCheck"); }
  void ApplyHttpServer() override { calls.push_back("ApplyHttpServer"); }
  void UploadNow(const std::function<void()>& saveFresh) override {
    calls.push_back("UploadNow");
    saveFresh();
  }
  bool waiting = false, uploadExists = false, uploadRunning = false, updateExists = false;
  std::vector<std::string> calls;
};

class CycleSignals : public testing::Test, protected kvtest::FakeTime, public kvtest::MonitorState {
 protected:
  CycleSignals() : FakeTime(kvtest::CycleStartMs()), MonitorState(clock_) {}
  void SetUp() override {
    kvtest::EnterCycleState(M, dir, "signals");
    cycle.TrimMemory = [this] { ++trims; };
  }
  void TearDown() override {
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    kvtest::LeaveCycleState();
  }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }
  // Lets real time pass so that a restarted timer can be told from one left running.
  static void Age() { QThread::msleep(400); }

  kvtest::TempDir dir;
  RecordingPublishing publishing;
  kvtest::RecordingUi ui;
  TMainCycle cycle{M, ui, &publishing};
  int trims = 0;
};

TEST_F(CycleSignals, ReloadLeavesRunningTimersAloneAndStartsSwitchedOnOnes) {
  ASSERT_TRUE(cycle.Initialise());
  Age();
  cycle.HandleMessage(WM_OPTIONS_CHANGED);  // nothing changed in the files
  for (auto [which, first] : {std::pair{tCycleTimer::Light, 45000}, {tCycleTimer::Update, 10000}}) {
    const tTimerView t = cycle.Timer(which);
    EXPECT_TRUE(t.active);
    EXPECT_EQ(t.interval, first);
    EXPECT_LE(t.remaining, first - 300) << "restarted by a reload that changed nothing";
  }
  EXPECT_FALSE(cycle.Timer(tCycleTimer::Banner).active);

  // The banner switched on starts counting; the light after its first save runs at the later
  // interval, so the reload's first interval changes it and it starts anew.
  cycle.LightTick();
  ASSERT_EQ(cycle.Timer(tCycleTimer::Light).interval, 600000);
  Age();
  kvtest::WriteFile(dir.File("KVClient.ini"), "[Banner]\nSaveBanner=1\n[Debug]\nDebug=1\n");
  QElapsedTimer reload;
  reload.start();
  cycle.HandleMessage(WM_OPTIONS_CHANGED);
  const int since = static_cast<int>(reload.elapsed()) + 20;
  const tTimerView banner = cycle.Timer(tCycleTimer::Banner);
  EXPECT_TRUE(banner.active);
  EXPECT_GE(banner.remaining, 50000 - since);
  const tTimerView light = cycle.Timer(tCycleTimer::Light);
  EXPECT_EQ(light.interval, 45000);
  EXPECT_GE(light.remaining, 45000 - since);
  EXPECT_LE(cycle.Timer(tCycleTimer::Update).remaining, 10000 - 800);
}

TEST_F(CycleSignals, PictureTimersSignalAndTrimOnlyWhenKeepingMemoryLow) {
  ASSERT_TRUE(cycle.Initialise());
  int light = 0, banner = 0;
  QObject::connect(&cycle, &TMainCycle::LightDue, [&] { ++light; });
  QObject::connect(&cycle, &TMainCycle::BannerDue, [&] { ++banner; });
  Settings.KeepMemoryLow = false;
  cycle.LightTick();
  cycle.BannerTick();
  EXPECT_EQ(trims, 0);
  EXPECT_EQ(light, 1);
  EXPECT_EQ(banner, 1);
  EXPECT_EQ(cycle.Timer(tCycleTimer::Light).interval, 600000);
  EXPECT_EQ(cycle.Timer(tCycleTimer::Banner).interval, 900000);
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Banner).active);
  Settings.KeepMemoryLow = true;
  cycle.LightTick();
  cycle.BannerTick();
  EXPECT_EQ(trims, 2);
}

// The upload command saves fresh pictures only from the timers that are switched on.
TEST_F(CycleSignals, UploadCommandRunsOnlyTheEnabledPictureTimers) {
  Settings.SaveLight = true;
  Settings.SaveBanner = false;
  ASSERT_TRUE(cycle.Initialise());
  int light = 0, banner = 0;
  QObject::connect(&cycle, &TMainCycle::LightDue, [&] { ++light; });
  QObject::connect(&cycle, &TMainCycle::BannerDue, [&] { ++banner; });
  publishing.calls.clear();
  cycle.UploadNow();
  EXPECT_EQ(publishing.calls, std::vector<std::string>{"UploadNow"});
  EXPECT_EQ(light, 1);
  EXPECT_EQ(banner, 0);
  EXPECT_EQ(cycle.Timer(tCycleTimer::Light).interval, 600000);  // re-armed like a tick
}

TEST_F(CycleSignals, TicksAnnounceReadingsOnlyWhenTheyRead) {
  ASSERT_TRUE(cycle.Initialise());
  int readings = 0, draws = 0;
  QObject::connect(&cycle, &TMainCycle::ReadingsChanged, [&] { ++readings; });
  QObject::connect(&cycle, &TMainCycle::DisplaysDue, [&] { ++draws; });
  clock_.Advance(500);
  cycle.MainTick();
  EXPECT_EQ(readings, 0);
  EXPECT_EQ(draws, 1);
  clock_.Advance(20000);
  cycle.MainTick();
  EXPECT_EQ(readings, 1);
  EXPECT_EQ(draws, 2);
  cycle.PowerBroadcast(false);  // the wake reads at once
  EXPECT_EQ(readings, 2);
}

TEST_F(CycleSignals, PublishingIsAskedThroughThePort) {
  ASSERT_TRUE(cycle.Initialise());
  EXPECT_EQ(publishing.calls, std::vector<std::string>{"ApplyHttpServer"});
  publishing.calls.clear();

  Settings.AutoConnect = true;
  publishing.waiting = true;
  cycle.AutoConnectTick();
  EXPECT_TRUE(Logged("Newly saved images detected"));
  EXPECT_TRUE(Logged("Creating upload/mailing thread"));
  cycle.AutoConnectTick();  // still running: not created twice
  EXPECT_TRUE(Logged("Upload/mailing thread still running"));
  publishing.uploadRunning = false;
  publishing.waiting = false;
  cycle.AutoConnectTick();  // a finished thread is freed
  EXPECT_TRUE(Logged("No new images detected"));
  cycle.UpdateTick();
  EXPECT_EQ(cycle.Timer(tCycleTimer::Update).interval, 300000);
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Update).active);
  Settings.CheckForUpdate = false;  // as after an accepted update
  cycle.UpdateTick();
  EXPECT_FALSE(cycle.Timer(tCycleTimer::Update).active);
  Settings.CheckForUpdate = true;
  EXPECT_EQ(publishing.calls,
            (std::vector<std::string>{"CreateUpload", "FreeUpload", "UpdateCheck", "UpdateCheck"}));
  publishing.calls.clear();

  std::vector<std::string> order;
  QObject::connect(&cycle, &TMainCycle::ShuttingDown, [&] { order.push_back("ShuttingDown"); });
  QObject::connect(&cycle, &TMainCycle::Finished, [&] { order.push_back("Finished"); });
  publishing.uploadExists = publishing.updateExists = true;
  cycle.HandleMessage(WM_QUERYENDSESSION);
  EXPECT_EQ(order, (std::vector<std::string>{"ShuttingDown", "Finished"}));
  EXPECT_EQ(publishing.calls, (std::vector<std::string>{"FreeUpload", "FreeUpdate"}));
  EXPECT_TRUE(Logged("Freeing thread ressources"));

  // Once done, nothing runs the shut-down again.
  cycle.EnsureShutDown();
  cycle.SessionEnd();
  EXPECT_EQ(order.size(), 2u);
}

}  // namespace
}  // namespace kv
