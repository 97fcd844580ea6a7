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
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

class PassTableTest : public testing::Test, protected kvtest::FakeTime, public kvtest::PassState {
 protected:
  PassTableTest() : FakeTime(1700000000000), PassState(&clock_) {}
  void SetUp() override {
    SetSharedMemoryPrefix("kvtest-table-" + std::to_string(::getpid()) + "-");
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    for (tFanCfg& fan : Settings.FCfg) fan.Div = 1.0;
    SilenceSources();
    Pass.ResetReadings();
  }
  void TearDown() override {
    CloseExternalValueArea(Pass.Memory());
    SetDebugMode(false);
    SetEventLogPath("");
    SetSharedMemoryPrefix("");
  }
  const tStepHealth& Health(tPassStep step) { return Pass.StepHealth()[static_cast<size_t>(step)]; }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  kvtest::TempDir dir_;
};

TEST_F(PassTableTest, EveryStepHasItsEnumNameInPassOrder) {
  ASSERT_EQ(Pass.StepHealth().size(), PassStepCount);
  std::set<std::string> names;
  for (size_t i = 0; i < PassStepCount; ++i) {
    EXPECT_STREQ(Pass.StepHealth()[i].name, PassStepName(static_cast<tPassStep>(i)));
    names.insert(Pass.StepHealth()[i].name);
  }
  EXPECT_EQ(names.size(), PassStepCount);
  EXPECT_STREQ(PassStepName(tPassStep::ClearFreq), "ClearFreq");
  EXPECT_STREQ(PassStepName(tPassStep::Everest), "Everest");
  EXPECT_STREQ(PassStepName(tPassStep::CPULoad), "CPULoad");
  EXPECT_STREQ(PassStepName(tPassStep::MBM509x), "MBM509x");
  EXPECT_STREQ(PassStepName(tPassStep::StampTime), "StampTime");
}

TEST_F(PassTableTest, AnOverrideReplacesTheRowUntilTheStepIsKeptAgain) {
  CreateExternalValueArea(Pass.Memory());
  const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDWR, 0);
  ASSERT_GE(fd, 0);
  const double t1 = 45.5;
  ASSERT_EQ(::pwrite(fd, &t1, sizeof t1, 0), 8);
  ::close(fd);

  Pass.ReadAllValues(false);  // silenced: the area is not read
  EXPECT_EQ(Readings.T[0], NoValue16);

  Row(tPassStep::External).read = [&](kv::tPassContext&) { Readings.T[0] = 1234; };
  clock_.Advance(20000);
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 1234);

  SilenceSources({tPassStep::External});  // the row's own reader again
  clock_.Advance(20000);
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 4550);
}

TEST_F(PassTableTest, ReopenAndCloseReachEveryRowOnceAndAFailureCostsOnlyItsRow) {
  int hwmonReopen = 0, hwmonClose = 0, diskReopen = 0, memClose = 0;
  Row(tPassStep::Hwmon).reopen = [&](kv::tPassContext&) { ++hwmonReopen; };
  Row(tPassStep::Hwmon).close = [&](kv::tPassContext&) { ++hwmonClose; };
  Row(tPassStep::Disks).reopen = [&](kv::tPassContext&) { ++diskReopen; };
  Row(tPassStep::Disks).close = [&](kv::tPassContext&) { throw std::runtime_error("busy"); };
  Row(tPassStep::Mem).reopen = nullptr;
  Row(tPassStep::Mem).close = [&](kv::tPassContext&) { ++memClose; };

  Pass.ReopenSources();
  EXPECT_EQ(hwmonReopen, 1);
  EXPECT_EQ(diskReopen, 1);
  EXPECT_EQ(hwmonClose + memClose, 0);

  Pass.CloseSources();
  EXPECT_EQ(hwmonReopen, 1);
  EXPECT_EQ(hwmonClose, 1);
  EXPECT_EQ(memClose, 1);  // after the failing disk row
  EXPECT_NE(Log().find("] rv22 busy"), std::string::npos) << Log();
}

TEST_F(PassTableTest, HealthKeepsEachStepsLastRun) {
  Row(tPassStep::SpeedFan).read = [&](kv::tPassContext&) { throw std::runtime_error("broken \"block\""); };
  Row(tPassStep::CoreTemp).read = [&](kv::tPassContext&) { std::this_thread::sleep_for(std::chrono::milliseconds(3)); };
  Row(tPassStep::Disks).read = [&](kv::tPassContext&) { throw std::runtime_error("no mounts"); };
  Row(tPassStep::Battery).read = [&](kv::tPassContext&) { throw 42; };
  Settings.ReadAquaero = true;
  Row(tPassStep::Aquaero).read = [&](kv::tPassContext&) { throw std::runtime_error("bad xml"); };
  Settings.ReadMem = false;

  for (const tStepHealth& h : Pass.StepHealth()) EXPECT_FALSE(h.ran) << h.name;
  Pass.ReadAllValues(false);

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
  Row(tPassStep::SpeedFan).read = [&](kv::tPassContext&) {};
  clock_.Advance(20000);
  Pass.ReadAllValues(false);
  EXPECT_TRUE(Health(tPassStep::SpeedFan).ok);
  EXPECT_EQ(Health(tPassStep::SpeedFan).error, "");
  EXPECT_FALSE(Health(tPassStep::Disks).ran);
  EXPECT_FALSE(Health(tPassStep::Disks).ok);
  EXPECT_EQ(Health(tPassStep::Disks).error, "no mounts");

  kvtest::PassState fresh;  // a new state starts healthy
  const tStepHealth& disks = fresh.Pass.StepHealth()[static_cast<size_t>(tPassStep::Disks)];
  EXPECT_TRUE(disks.ok);
  EXPECT_EQ(disks.error, "");
}

}  // namespace
