#include "app/MainCycle.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <unistd.h>

#include "app/CycleState.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/SharedMemory.h"
#include "readvalue/Readings.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class ScriptedUi final : public UiPort {
 public:
  void ShowStatus(const std::string& text) override { status = text; }
  void ShowMessage(const std::string&, const std::string&, bool) override {}
  bool AskYesNo(const std::string&, const std::string&) override { return ++asked, answer; }
  void SetTrayTip(const std::string& t) override { tip = t; }
  void SetTrayIconSlot(int slot) override { iconSlot = slot; }
  void RequestRedraw() override { ++redraws; }
  bool answer = false;
  int asked = 0, iconSlot = -1, redraws = 0;
  std::string status, tip;
};

int BreakSamples(const tStatStore& s) {
  int n = 0;
  for (int i = 0; i <= s.LastIndex; ++i) n += IsBreakSample(s.Samples[i], s.SamplesExtra[i]);
  return n;
}

class MainCycleTest : public testing::Test, protected kvtest::FakeTime, public kvtest::MonitorState {
 protected:
  MainCycleTest() : FakeTime(kvtest::CycleStartMs()), MonitorState(clock_) {}
  void SetUp() override {
    kvtest::EnterCycleState(M, dir, "cycle");
  }
  void TearDown() override {
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    kvtest::LeaveCycleState();
  }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }
  void ExpectTimer(tCycleTimer which, bool active, int interval, const char* name) const {
    const tTimerView t = cycle.Timer(which);
    EXPECT_EQ(t.active, active) << name;
    EXPECT_EQ(t.interval, interval) << name;
  }

  kvtest::TempDir dir;
  ScriptedUi ui;
  TMainCycle cycle{M, ui};
};

TEST_F(MainCycleTest, StartArmsTheTimersAndLoadsWithABreak) {
  ASSERT_TRUE(cycle.Initialise());
  ExpectTimer(tCycleTimer::ReadTemp, true, 2000, "tmrReadTemp");
  ExpectTimer(tCycleTimer::AutoConnect, true, 40000, "tmrAutoConnect");
  ExpectTimer(tCycleTimer::Light, true, 45000, "tmrLight");
  ExpectTimer(tCycleTimer::Banner, false, 50000, "tmrBanner");
  ExpectTimer(tCycleTimer::Log, true, 1800000, "tmrLog");
  ExpectTimer(tCycleTimer::Update, true, 10000, "tmrUpdate");
  for (tSeriesRef s : M.Series.AllSeries()) {
    EXPECT_EQ(s.store.LastIndex, 2);
    EXPECT_EQ(BreakSamples(s.store), 1);
  }
  EXPECT_EQ(ui.iconSlot, 0);
  EXPECT_TRUE(Logged(ProductVersion));
  EXPECT_TRUE(Logged("Initializing log"));
  // Light saved but banner not: the light alone is marked for upload.
  EXPECT_FALSE(Logged("No display marked for upload/mailing"));
}

// A first start (no settings file yet) hides, after its first passes, the channels and slots
// no source fills, and stores that; a start with a settings file changes none of them.
TEST_F(MainCycleTest, FirstStartHidesWhatNothingFills) {
  for (const bool existing : {false, true}) {
    TMainCycle start(M, ui);
    SetDefaultChannelSettings(Settings);
    for (tChannelCfg& v : Settings.VCfg) v.Vis = 1;
    for (tFanCfg& f : Settings.FCfg) f.Vis = 1;
    std::filesystem::remove(dir.File(DisplayIniName));
    if (existing) kvtest::WriteFile(dir.File(ClientIniName), "[Misc]\r\n");
    SilenceSources();
    M.Pass.Sources.Rows[static_cast<size_t>(tPassStep::Hwmon)].read = [](tPassContext& ctx) {
      ctx.Current.Readings.T[1] = 4500;
      ctx.Current.Readings.F[0] = 1200;
    };
    ASSERT_TRUE(start.Initialise());
    for (int pass = 0; pass < 3; ++pass) {
      clock_.Advance(20000);
      start.MainTick();
    }
    const std::string stored = kvtest::ReadFile(dir.File(ClientIniName));
    EXPECT_EQ(Settings.TCfg[0].Vis, existing ? 1 : 0) << existing;
    EXPECT_EQ(Settings.TCfg[1].Vis, 1);
    EXPECT_EQ(Settings.FCfg[0].Vis, 1);
    EXPECT_EQ(Settings.FCfg[1].Vis, existing ? 1 : 0);
    EXPECT_EQ(Settings.VCfg[9].Vis, existing ? 1 : 0);
    EXPECT_EQ(Settings.NetSlots[3].Vis, existing);
    EXPECT_EQ(Settings.DiskSlots[7].Vis, existing);
    if (!existing) {
      EXPECT_NE(stored.find("visT1=0"), std::string::npos) << stored;
    }
    start.SessionEnd();
  }
}

TEST_F(MainCycleTest, TickWithinASecondNeitherSamplesNorReads) {
  ASSERT_TRUE(cycle.Initialise());
  const int passes = Current.PassCount;
  const int samples = Stats8h.LastIndex;
  clock_.Advance(500);
  cycle.MainTick();
  EXPECT_EQ(Current.PassCount, passes);
  EXPECT_EQ(Stats8h.LastIndex, samples);
  ExpectTimer(tCycleTimer::ReadTemp, true, Settings.ReadTemp, "tmrReadTemp");
  clock_.Advance(20000);
  cycle.MainTick();
  EXPECT_EQ(Current.PassCount, passes + 1);
  EXPECT_NE(ui.tip.find("Kelvara"), std::string::npos);
}

// The tray holds 63 characters: a longer tip is cut there, a shorter one (in bytes perhaps
// longer) is whole, and no cut ends inside a character.
TEST_F(MainCycleTest, TrayTipIsCutOnCharactersInEveryLanguage) {
  Settings.ReadUpTime = true;
  for (const std::string& language : kvtest::ShippedLanguages()) {
    Process.AppDir = KV_SOURCE_DIR "/data/";
    LoadLanguage(Process, language);
    const QString tip = QString::fromUtf8(cycle.TrayTip());
    EXPECT_EQ(tip.toStdString(), cycle.TrayTip()) << language;  // valid UTF-8 survives the round trip
    EXPECT_LE(tip.size(), 63) << language;
    const std::string upload = Settings.AutoConnect ? Texts()->UploadActive : Texts()->UploadInactive;
    if (tip.size() < 63) {
      EXPECT_TRUE(tip.endsWith(QString::fromStdString(upload))) << language;
    }
  }
  ResetTexts();
}

TEST_F(MainCycleTest, OptionsChangeSetsTheFirstIntervalsAgain) {
  ASSERT_TRUE(cycle.Initialise());
  clock_.Advance(20000);
  cycle.MainTick();
  ASSERT_EQ(cycle.Timer(tCycleTimer::ReadTemp).interval, 20000);
  kvtest::WriteFile(dir.File("KVClient.ini"), "[Light]\nSaveLight=0\n[Misc]\nAutoConnect=0\nCheckForUpdate=0\n[Debug]\nDebug=1\n");
  const int passes = Current.PassCount;
  cycle.HandleMessage(WM_OPTIONS_CHANGED);
  EXPECT_TRUE(Logged("Options change detected"));
  ExpectTimer(tCycleTimer::ReadTemp, true, 2000, "tmrReadTemp");
  EXPECT_FALSE(cycle.Timer(tCycleTimer::Light).active);
  EXPECT_FALSE(cycle.Timer(tCycleTimer::Update).active);
  EXPECT_EQ(Current.PassCount, passes + 1);  // a forced pass
  EXPECT_EQ(ui.iconSlot, 1);
  EXPECT_TRUE(Logged("No display marked for upload/mailing"));
}

TEST_F(MainCycleTest, StandbyStopsReadingAndWakingInsertsOneBreak) {
  ASSERT_TRUE(cycle.Initialise());
  cycle.PowerBroadcast(true);
  EXPECT_FALSE(cycle.Timer(tCycleTimer::ReadTemp).active);
  EXPECT_FALSE(cycle.Timer(tCycleTimer::Log).active);
  EXPECT_FALSE(cycle.Timer(tCycleTimer::AutoConnect).active);
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Light).active);  // untouched
  EXPECT_TRUE(Logged("Entering standby/suspend/hibernation"));

  clock_.Advance(3600 * 1000);
  cycle.PowerBroadcast(false);
  for (tSeriesRef s : M.Series.AllSeries()) EXPECT_EQ(BreakSamples(s.store), 2);
  ExpectTimer(tCycleTimer::ReadTemp, true, 10000, "tmrReadTemp");
  ExpectTimer(tCycleTimer::AutoConnect, true, 40000, "tmrAutoConnect");
  EXPECT_TRUE(cycle.Timer(tCycleTimer::Log).active);
  EXPECT_TRUE(Logged("Awaking from standby/suspend"));
}

TEST_F(MainCycleTest, ClockStepsBeyondFiveMinutesInsertABreak) {
  ASSERT_TRUE(cycle.Initialise());
  clock_.JumpWallClock(-4 * 60 * 1000);
  cycle.ClockChanged();
  EXPECT_EQ(BreakSamples(Stats8h), 1);
  clock_.JumpWallClock(10 * 60 * 1000 + 4 * 60 * 1000);
  cycle.ClockChanged();
  EXPECT_EQ(BreakSamples(Stats8h), 2);
  EXPECT_TRUE(Logged("Time change detected"));
  EXPECT_EQ(cycle.Timer(tCycleTimer::ReadTemp).interval, Settings.ReadTemp);
}

TEST_F(MainCycleTest, HideOnCloseAndTheExitQuestion) {
  ASSERT_TRUE(cycle.Initialise());
  Settings.HideOnClose = true;
  EXPECT_FALSE(cycle.Close());
  EXPECT_FALSE(cycle.ShutDownDone());
  EXPECT_FALSE(Logged("Attempt to close Kelvara detected"));

  Process.HeadlessMode = false;
  Settings.ShowWarning = true;
  ui.answer = false;
  EXPECT_FALSE(cycle.Close(true));  // Exit from the menu asks; No keeps running
  EXPECT_TRUE(Logged("Kelvara may not close"));
  EXPECT_TRUE(cycle.Timer(tCycleTimer::ReadTemp).active);

  Process.HeadlessMode = true;  // nobody could answer: never held up
  EXPECT_TRUE(cycle.Close(true));
  EXPECT_EQ(ui.asked, 1);
  EXPECT_TRUE(Logged("HWM is not present"));
  EXPECT_TRUE(cycle.ShutDownDone());
}

TEST_F(MainCycleTest, SessionEndShutsDownInOrderWithoutAQuestion) {
  ASSERT_TRUE(cycle.Initialise());
  Process.HeadlessMode = false;
  Settings.ShowWarning = true;
  Settings.HideOnClose = true;
  bool finished = false;
  QObject::connect(&cycle, &TMainCycle::Finished, [&] { finished = true; });
  cycle.HandleMessage(WM_QUERYENDSESSION);
  EXPECT_TRUE(finished);
  EXPECT_EQ(ui.asked, 0);
  for (tCycleTimer t : {tCycleTimer::ReadTemp, tCycleTimer::Log, tCycleTimer::AutoConnect, tCycleTimer::Light})
    EXPECT_FALSE(cycle.Timer(t).active);
  const std::string log = Log();
  size_t at = 0;
  for (const char* line : {"Shutdown/logoff detected", "Writing log", "Closing display forms",
                           "Checking upload/mailing thread", "Checking autoupdate thread",
                           "Unmapping shared mem", "Closing handle", "Destroying tray icon",
                           "Exiting"}) {
    const size_t next = log.find(std::string("] ") + line + "\r\n", at);
    ASSERT_NE(next, std::string::npos) << line << "\n" << log;
    at = next;
  }
  EXPECT_EQ(log.find("Attempt to close Kelvara detected"), std::string::npos);
  for (const char* file : {"KVClient.ini", "KVDisplay.ini", "KVServer.ini", "Kelvara8h.log6",
                           "Kelvara7d.log7", "Kelvara1a.log6"})
    EXPECT_TRUE(FileExists(dir.File(file))) << file;
}

TEST_F(MainCycleTest, UnknownMessagesAreOnlyLogged) {
  ASSERT_TRUE(cycle.Initialise());
  cycle.HandleMessage(4711);
  EXPECT_TRUE(Logged("Unknown message 4711"));
  EXPECT_FALSE(cycle.ShutDownDone());
}

}  // namespace
}  // namespace kv
