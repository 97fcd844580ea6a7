#include "readvalue/CpuCool.h"

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class CpuCoolTest : public kvtest::SourceTest {};

constexpr size_t Size = 100;

TEST_F(CpuCoolTest, NothingIsReadUntilTheBlockIsMarkedValid) {
  SourceBlock block("CPUCooL$Data$Area", Size);
  block.Put<int32_t>(0, 45);
  ReadCPUCooL(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);

  block.Put<int32_t>(84, 1);
  ReadCPUCooL(Ctx);
  EXPECT_EQ(Readings.T[0], 4500);
}

TEST_F(CpuCoolTest, EveryFieldLandsInItsChannelAfterItsTest) {
  SourceBlock block("CPUCooL$Data$Area", Size);
  block.Put<int32_t>(84, 1);
  block.Put<int32_t>(0, 41);      // T1
  block.Put<int32_t>(4, 0);       // T2: 0 is an unused sensor
  block.Put<int32_t>(8, 150);     // T3: too hot to be true
  block.Put<int32_t>(36, 77);     // T10
  block.Put<float>(40, 1.375f);   // V1
  block.Put<float>(44, -12.1f);   // V2
  block.Put<float>(48, 20.0f);    // V3: out of range
  block.Put<float>(64, 3.3f);     // V7
  block.Put<int32_t>(68, 2500);   // F1
  block.Put<int32_t>(72, 20000);  // F2: out of range
  block.Put<int32_t>(80, 900);    // F4
  block.Put<int32_t>(92, 512);    // CPU1: half of 1024
  block.Put<int32_t>(96, 1024);   // CPU2

  ReadCPUCooL(Ctx);

  EXPECT_EQ(Readings.T[0], 4100);
  EXPECT_EQ(Readings.T[1], NoValue16);
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Readings.T[9], 7700);
  EXPECT_EQ(Readings.V[0], 138);  // 137.5 to even
  EXPECT_EQ(Readings.V[1], -1210);
  EXPECT_EQ(Readings.V[2], NoValue16);
  EXPECT_EQ(Readings.V[6], 330);
  EXPECT_EQ(Readings.V[7], NoValue16);  // not in this block
  EXPECT_EQ(Readings.F[0], 2500);
  EXPECT_EQ(Readings.F[1], NoValue16);
  EXPECT_EQ(Readings.F[3], 900);
  EXPECT_EQ(Readings.CPU[0], 5000);
  EXPECT_EQ(Readings.CPU[1], 10000);
}

TEST_F(CpuCoolTest, AcceptZeroValueTakesAnyTemperature) {
  Settings.AcceptZeroValue = true;
  SourceBlock block("CPUCooL$Data$Area", Size);
  block.Put<int32_t>(84, 1);
  block.Put<int32_t>(0, 200);
  ReadCPUCooL(Ctx);
  EXPECT_EQ(Readings.T[0], 20000);
  EXPECT_EQ(Readings.T[1], 0);
}

TEST_F(CpuCoolTest, ShortBlockIsLoggedAndChangesNothing) {
  SourceBlock block("CPUCooL$Data$Area", 90);
  block.Put<int32_t>(84, 1);
  block.Put<int32_t>(0, 45);
  EXPECT_THROW(ReadCPUCooL(Ctx), std::out_of_range);  // the pass logs it as the whole step's failure
  EXPECT_EQ(Readings.T[0], NoValue16);
}

}  // namespace
