// The pass table as the registry of the sources: names, test overrides, reopen and close, and
// the health every step keeps.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <stdexcept>
#include <thread>

#include "core/EventLog.h"
#include "platform/SharedMemory.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

const tStepHealth& Health(tPassStep step) { return StepHealth()[static_cast<size_t>(step)]; }

class PassTableTest : public testing::Test {
 protected:
  void SetUp() override {
    SetClock(&clock_);
    SetSharedMemoryPrefix("kvtest-table-" + std::to_string(::getpid()) + "-");
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    Settings = tSettings{};
    for (tFanCfg& fan : FCfg) fan.Div = 1.0;
    ClearSourceOverrides();
    SilenceSourcesForTest();
    ClearReadingsState();
    ResetReadings();
  }
  void TearDown() override {
    ClearSourceOverrides();
    CloseExternalValueArea();
    SetDebugMode(false);
    SetEventLogPath("");
    SetSharedMemoryPrefix("");
    SetClock(nullptr);
  }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  FakeClock clock_{1700000000000};
  kvtest::TempDir dir_;
};

TEST_F(PassTableTest, EveryStepHasItsEnumNameInPassOrder) {
  ASSERT_EQ(StepHealth().size(), PassStepCount);
  std::set<std::string> names;
  for (size_t i = 0; i < PassStepCount; ++i) {
    EXPECT_STREQ(StepHealth()[i].name, PassStepName(static_cast<tPassStep>(i)));
    names.insert(StepHealth()[i].name);
  }
  EXPECT_EQ(names.size(), PassStepCount);
  EXPECT_STREQ(PassStepName(tPassStep::ClearFreq), "ClearFreq");
  EXPECT_STREQ(PassStepName(tPassStep::Everest), "Everest");
  EXPECT_STREQ(PassStepName(tPassStep::CPULoad), "CPULoad");
  EXPECT_STREQ(PassStepName(tPassStep::MBM509x), "MBM509x");
  EXPECT_STREQ(PassStepName(tPassStep::StampTime), "StampTime");
}

TEST_F(PassTableTest, AnOverrideReplacesTheRowUntilTheStepIsKeptAgain) {
  CreateExternalValueArea();
  const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  const double t1 = 45.5;
  ASSERT_EQ(::pwrite(fd, &t1, sizeof t1, 0), 8);
  ::close(fd);

  ReadAllValues(false);  // silenced: the area is not read
  EXPECT_EQ(Readings.T[0], NoValue16);

  SetSourceReaderForTest(tPassStep::External, [] { Readings.T[0] = 1234; });
  clock_.Advance(20000);
  ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 1234);

  SilenceSourcesForTest({tPassStep::External});  // the row's own reader again
  clock_.Advance(20000);
  ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 4550);
}

TEST_F(PassTableTest, ReopenAndCloseReachEveryRowOnceAndAFailureCostsOnlyItsRow) {
  int hwmonReopen = 0, hwmonClose = 0, diskReopen = 0, memClose = 0;
  SetSourceLifecycleForTest(tPassStep::Hwmon, [&] { ++hwmonReopen; }, [&] { ++hwmonClose; });
  SetSourceLifecycleForTest(tPassStep::Disks, [&] { ++diskReopen; }, [] { throw std::runtime_error("busy"); });
  SetSourceLifecycleForTest(tPassStep::Mem, nullptr, [&] { ++memClose; });

  ReopenSources();
  EXPECT_EQ(hwmonReopen, 1);
  EXPECT_EQ(diskReopen, 1);
  EXPECT_EQ(hwmonClose + memClose, 0);

  CloseSources();
  EXPECT_EQ(hwmonReopen, 1);
  EXPECT_EQ(hwmonClose, 1);
  EXPECT_EQ(memClose, 1);  // after the failing disk row
  EXPECT_NE(Log().find("] rv22 busy"), std::string::npos) << Log();
}

TEST_F(PassTableTest, HealthKeepsEachStepsLastRun) {
  SetSourceReaderForTest(tPassStep::SpeedFan, [] { throw std::runtime_error("broken \"block\""); });
  SetSourceReaderForTest(tPassStep::CoreTemp, [] { std::this_thread::sleep_for(std::chrono::milliseconds(3)); });
  SetSourceReaderForTest(tPassStep::Disks, [] { throw std::runtime_error("no mounts"); });
  SetSourceReaderForTest(tPassStep::Battery, [] { throw 42; });
  Settings.ReadAquaero = true;
  SetSourceReaderForTest(tPassStep::Aquaero, [] { throw std::runtime_error("bad xml"); });
  Settings.ReadMem = false;

  for (const tStepHealth& h : StepHealth()) EXPECT_FALSE(h.ran) << h.name;
  ReadAllValues(false);

  EXPECT_TRUE(Health(tPassStep::SpeedFan).ran);
  EXPECT_FALSE(Health(tPassStep::SpeedFan).ok);
  EXPECT_EQ(Health(tPassStep::SpeedFan).error, "broken \"block\"");
  EXPECT_TRUE(Health(tPassStep::CoreTemp).ok);
  EXPECT_GE(Health(tPassStep::CoreTemp).micros, 3000);
  EXPECT_LT(Health(tPassStep::CoreTemp).micros, 3000000);
  EXPECT_EQ(Health(tPassStep::Battery).error, "unknown error");
  EXPECT_EQ(Health(tPassStep::Aquaero).error, "bad xml");  // visible, though never logged
  EXPECT_EQ(Log().find("bad xml"), std::string::npos);
  EXPECT_FALSE(Health(tPassStep::Mem).ran);  // switched off
  EXPECT_TRUE(Health(tPassStep::Mem).ok);
  EXPECT_TRUE(Health(tPassStep::StampTime).ok);
  EXPECT_FALSE(Health(tPassStep::Disks).ok);

  // A step that is skipped keeps what its last run said; one that recovers forgets its error.
  SetSourceReaderForTest(tPassStep::SpeedFan, [] {});
  clock_.Advance(20000);
  ReadAllValues(false);
  EXPECT_TRUE(Health(tPassStep::SpeedFan).ok);
  EXPECT_EQ(Health(tPassStep::SpeedFan).error, "");
  EXPECT_FALSE(Health(tPassStep::Disks).ran);
  EXPECT_FALSE(Health(tPassStep::Disks).ok);
  EXPECT_EQ(Health(tPassStep::Disks).error, "no mounts");

  ClearSourceOverrides();  // forgets the health too
  EXPECT_TRUE(Health(tPassStep::Disks).ok);
  EXPECT_EQ(Health(tPassStep::Disks).error, "");
}

}  // namespace
