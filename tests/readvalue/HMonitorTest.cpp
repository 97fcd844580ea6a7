#include "readvalue/HMonitor.h"

#include <limits>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class HMonitorTest : public kvtest::SourceTest {};

TEST_F(HMonitorTest, VoltagesFollowTheirOddOrder) {
  SourceBlock block("Hmonitor_Counters_Block", 56);
  block.Put<float>(4, 38.5f);
  block.Put<float>(8, 0.0f);
  block.Put<float>(12, 151.0f);
  block.Put<float>(16, 3.3f);   // V3
  block.Put<float>(20, 1.5f);   // V1
  block.Put<float>(24, 12.0f);  // V2
  block.Put<float>(40, -5.0f);  // V7
  block.Put<int32_t>(44, 2000);
  block.Put<int32_t>(48, 255);  // a chip's "no fan"
  block.Put<int32_t>(52, 19999);

  ReadHMonitor(Ctx);

  EXPECT_EQ(Readings.T[0], 3850);
  EXPECT_EQ(Readings.T[1], NoValue16);
  EXPECT_EQ(Readings.T[2], NoValue16);
  EXPECT_EQ(Readings.V[0], 150);
  EXPECT_EQ(Readings.V[1], 1200);
  EXPECT_EQ(Readings.V[2], 330);
  EXPECT_EQ(Readings.V[3], NoValue16);  // 0 V is no reading
  EXPECT_EQ(Readings.V[6], -500);
  EXPECT_EQ(Readings.F[0], 2000);
  EXPECT_EQ(Readings.F[1], NoValue16);
  EXPECT_EQ(Readings.F[2], 19999);
}

TEST_F(HMonitorTest, NonNumbersLeaveTheirChannels) {
  Readings.T[0] = 4000;
  Readings.V[0] = 120;
  Settings.AcceptZeroValue = true;
  SourceBlock block("Hmonitor_Counters_Block", 56);
  block.Put<float>(4, std::numeric_limits<float>::quiet_NaN());
  block.Put<float>(20, std::numeric_limits<float>::infinity());
  ReadHMonitor(Ctx);
  EXPECT_EQ(Readings.T[0], 4000);
  EXPECT_EQ(Readings.V[0], 120);
}

}  // namespace
