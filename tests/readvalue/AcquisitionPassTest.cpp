#include "readvalue/AcquisitionPass.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

#include "core/EventLog.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/PassState.h"
#include "support/TestSupport.h"

namespace {

using namespace kv;

constexpr int64_t Second = 1000;

class AcquisitionPassTest : public testing::Test, protected kvtest::FakeTime, public kvtest::PassState {
 protected:
  AcquisitionPassTest() : FakeTime(1700000000000), PassState(&clock_) {}
  void SetUp() override {
    SetSharedMemoryPrefix("kvtest-" + std::to_string(::getpid()) + "-");
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    for (tFanCfg& fan : Settings.FCfg) fan.Div = 1.0;
    // Only what a test injects, and the external area under the test prefix.
    SilenceSources({tPassStep::External});
    Pass.ResetReadings();
  }
  void TearDown() override {
    CloseExternalValueArea(Pass.Memory());
    SetDebugMode(false);
    SetEventLogPath("");
    SetSharedMemoryPrefix("");
  }
  void PutIntoExternalArea(size_t offset, double value) {
    const int fd = ::shm_open(SharedMemoryPath(ExternalAreaName()).c_str(), O_RDWR, 0);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, &value, sizeof value, static_cast<off_t>(offset)), 8);
    ::close(fd);
  }
  std::string Log() { return kvtest::ReadFile(dir_.File("KVEvents.txt")); }

  kvtest::TempDir dir_;
};

TEST_F(AcquisitionPassTest, WithEverySourceDisabledThePassStillStampsAndCounts) {
  for (bool tSettings::*flag :
       {&tSettings::ReadEverest, &tSettings::ReadCPUID, &tSettings::ReadCPUCooL, &tSettings::ReadVCool,
        &tSettings::ReadHMonitor, &tSettings::ReadSpeedFan, &tSettings::ReadAtiTool,
        &tSettings::ReadRivaTuner, &tSettings::ReadATITrayTools, &tSettings::ReadFreq,
        &tSettings::ReadCoreTemp, &tSettings::ReadCPU, &tSettings::ThermalZones,
        &tSettings::ReadMobileMeter, &tSettings::ReadMBM5190, &tSettings::ReadMBM5107,
        &tSettings::ReadMBM509x, &tSettings::ReadAquaero, &tSettings::ReadNet, &tSettings::ReadBat,
        &tSettings::ReadDisk, &tSettings::ReadSETI, &tSettings::ReadMem, &tSettings::ReadUpTime})
    Settings.*flag = false;
  int guardedCalls = 0;
  for (tPassStep step : {tPassStep::SpeedFan, tPassStep::Disks, tPassStep::BOINC, tPassStep::Mem})
    Row(step).read = [&](kv::tPassContext&) { ++guardedCalls; };
  Readings.Freq = 2400000;

  Pass.ReadAllValues(true);

  const TDateTime now = clock_.UtcNow();
  EXPECT_EQ(Readings.Time, now);
  EXPECT_EQ(ReadingsExtra.Time2, now);
  EXPECT_EQ(PassCount, 1);
  EXPECT_EQ(Readings.Freq, NoValue32);
  EXPECT_EQ(guardedCalls, 0);
}

TEST_F(AcquisitionPassTest, ExternalAreaWinsOverSpeedFan) {
  CreateExternalValueArea(Pass.Memory());
  Row(tPassStep::SpeedFan).read = [&](kv::tPassContext&) {
    Readings.T[0] = 3000;
    Readings.T[1] = 3100;
  };
  PutIntoExternalArea(0, 45.5);

  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 4550);
  EXPECT_EQ(Readings.T[1], 3100);

  PutIntoExternalArea(0, ExternalNoValue);
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 3000);
}

TEST_F(AcquisitionPassTest, SlowScansRunOnTheFirstAndEveryTenthPassOrWhenForced) {
  int disks = 0;
  Row(tPassStep::Disks).read = [&](kv::tPassContext&) { ++disks; };
  Pass.ReadAllValues(false);
  EXPECT_EQ(disks, 1);
  for (int i = 0; i < 9; ++i) {
    clock_.Advance(20 * Second);
    Pass.ReadAllValues(false);
  }
  EXPECT_EQ(disks, 1);
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);  // PassCount 10 before the increment
  EXPECT_EQ(disks, 2);
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(true);
  EXPECT_EQ(disks, 3);
  EXPECT_EQ(PassCount, 12);
}

TEST_F(AcquisitionPassTest, BoincNeedsMoreThanThreeSecondsSinceThePreviousPass) {
  int boinc = 0;
  Row(tPassStep::BOINC).read = [&](kv::tPassContext&) { ++boinc; };
  Pass.ReadAllValues(true);
  EXPECT_EQ(boinc, 1);
  clock_.Advance(2 * Second);
  Pass.ReadAllValues(true);
  EXPECT_EQ(boinc, 1);
  clock_.Advance(2900);
  Pass.ReadAllValues(true);
  EXPECT_EQ(boinc, 1);
  clock_.Advance(3100);
  Pass.ReadAllValues(true);
  EXPECT_EQ(boinc, 2);
}

TEST_F(AcquisitionPassTest, UserActivityAddsShortGapsWhileTheUserIsThere) {
  std::optional<uint32_t> idle = 5;
  Pass.Sources.IdleSeconds = [&] { return idle; };
  Pass.ReadAllValues(false);  // the first pass has no previous one to measure from
  EXPECT_EQ(ReadingsExtra.UserSecs, 0);

  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 20);

  clock_.Advance(3 * 60 * Second);  // more than 2 minutes: standby or a stalled timer
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 20);

  idle = 60;
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 20);

  idle.reset();  // unknown
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 20);

  idle = 0;
  clock_.Advance(90 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 110);
}

TEST_F(AcquisitionPassTest, IdleTimeFailureIsLoggedAsGis) {
  Pass.Sources.IdleSeconds = []() -> std::optional<uint32_t> { throw std::runtime_error("no X display"); };
  Pass.ReadAllValues(false);
  clock_.Advance(20 * Second);
  Pass.ReadAllValues(false);
  EXPECT_EQ(ReadingsExtra.UserSecs, 0);
  EXPECT_NE(Log().find("] gis no X display"), std::string::npos) << Log();
}

TEST_F(AcquisitionPassTest, AFailingSourceIsLoggedWithItsTagAndThePassGoesOn) {
  Row(tPassStep::RivaTuner).read = [&](kv::tPassContext&) { throw std::runtime_error("broken block"); };
  Row(tPassStep::CoreTemp).read = [&](kv::tPassContext&) { Readings.T[3] = 5100; };
  Settings.ReadAquaero = true;
  Row(tPassStep::Aquaero).read = [&](kv::tPassContext&) { throw std::runtime_error("bad xml"); };

  Pass.ReadAllValues(false);

  EXPECT_EQ(Readings.T[3], 5100);
  EXPECT_EQ(PassCount, 1);
  EXPECT_EQ(Readings.Time, clock_.UtcNow());
  const std::string log = Log();
  EXPECT_NE(log.find("] rv rt 3 broken block"), std::string::npos) << log;
  EXPECT_EQ(log.find("bad xml"), std::string::npos) << log;  // aquaero failures are swallowed
}

TEST_F(AcquisitionPassTest, FansGetTheirDivisorsAtTheEndOfThePass) {
  Settings.FCfg[0].Div = 2.0;
  Settings.FCfg[1].Div = -10.0;
  Row(tPassStep::SpeedFan).read = [&](kv::tPassContext&) {
    Readings.F[0] = 3001;
    Readings.F[1] = 3000;
    Readings.F[2] = 0;
  };
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.F[0], 1500);
  EXPECT_EQ(Readings.F[1], -30000);
  EXPECT_EQ(Readings.F[2], NoValue16);
}

}  // namespace
