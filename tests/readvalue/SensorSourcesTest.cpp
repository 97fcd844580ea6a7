#include "SourceBlock.h"
#include "readvalue/AcquisitionPass.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

// The sources inside a real pass: their steps, guards, tags and precedence.
class SensorSourcesTest : public kvtest::SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    SilenceSources({tPassStep::Everest, tPassStep::CPUID, tPassStep::CPUCooL, tPassStep::VCool,
                    tPassStep::HMonitor, tPassStep::SpeedFan, tPassStep::AtiTool, tPassStep::RivaTuner,
                    tPassStep::ATITrayTools, tPassStep::CoreTemp, tPassStep::MBM5190, tPassStep::MBM5107,
                    tPassStep::MBM509x, tPassStep::External});
  }
};

TEST_F(SensorSourcesTest, LaterStepsOverwriteEarlierOnesInTheSamePass) {
  SourceBlock everest("AIDA64_SensorValues", 200);
  everest.PutText(0, "<temp><label>CPU</label><value>30</value></temp>"
                     "<temp><label>GPU</label><value>31</value></temp>"
                     "<temp><label>HDD</label><value>32</value></temp>");
  SourceBlock speedFan("SFSharedMemory_ALM", 402);
  speedFan.Put<int32_t>(18 + 4 * 9, 4100);  // T1
  speedFan.Put<int32_t>(18 + 4 * 8, 4200);  // T2
  SourceBlock mbm("$M$B$M$5$D$", 164);
  mbm.Put<int32_t>(160, 1);
  mbm.Put<int32_t>(0, 50);  // T1

  Pass.ReadAllValues(false);

  EXPECT_EQ(Readings.T[0], 5000);  // Motherboard Monitor beats SpeedFan
  EXPECT_EQ(Readings.T[1], 4200);  // SpeedFan beats EVEREST
  EXPECT_EQ(Readings.T[2], 3200);  // EVEREST alone
}

TEST_F(SensorSourcesTest, GuardSwitchesASourceOff) {
  SourceBlock coreTemp("CoreTempMappingObject", 2686);
  coreTemp.Put<uint32_t>(1536, 1);
  coreTemp.Put<uint32_t>(1540, 1);
  coreTemp.Put<float>(1544, 48.0f);
  Settings.ReadCoreTemp = false;
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], NoValue16);

  Settings.ReadCoreTemp = true;
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[0], 4800);
}

TEST_F(SensorSourcesTest, ReadingErrorsOfStepWideSourcesCarryTheStepTag) {
  SourceBlock cpuCool("CPUCooL$Data$Area", 90);
  cpuCool.Put<int32_t>(84, 1);
  SourceBlock hmonitor("Hmonitor_Counters_Block", 20);
  SourceBlock speedFan("SFSharedMemory_ALM", 100);
  SourceBlock coreTemp("CoreTempMappingObject", 1000);
  SourceBlock vcool("VCOOL_SHARED_DATA", 30);

  Pass.ReadAllValues(false);

  for (const char* tag : {"] rv6 ", "] rv10 ", "] rv13 ", "] rv ct 3 ", "] rv7 "}) EXPECT_TRUE(Logged(tag)) << tag;
  for (const char* tag : {"] rv5 ", "] rv9 ", "] rv12 ", "] rv ct 2 "}) EXPECT_FALSE(Logged(tag)) << tag;
  EXPECT_EQ(PassCount, 1);  // the pass went on
}

}  // namespace
