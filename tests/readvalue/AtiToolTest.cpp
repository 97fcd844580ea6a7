#include "readvalue/AtiTool.h"
#include "readvalue/AtiTrayTools.h"

#include <limits>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

// ATITool and ATI Tray Tools: fields placed by string order maps.
class AtiToolTest : public kvtest::SourceTest {};

TEST_F(AtiToolTest, DefaultMapPlacesLocalRemoteAndFan) {
  SourceBlock block("ATIToolData", 90);
  block.Put<double>(72, 55.25);
  block.Put<double>(80, 48.0);
  block.Put<uint16_t>(88, 2100);
  ReadAtiTool(Ctx);
  EXPECT_EQ(Readings.T[3], 5525);
  EXPECT_EQ(Readings.T[4], 4800);
  EXPECT_EQ(Readings.F[3], 2100);
  EXPECT_EQ(Readings.T[0], NoValue16);
}

TEST_F(AtiToolTest, EveryChannelWithTheEntryTakesTheValue) {
  Settings.AtiToolOrderT[0] = "tempremote";
  SourceBlock block("ATIToolData", 90);
  block.Put<double>(80, 61.0);
  ReadAtiTool(Ctx);
  EXPECT_EQ(Readings.T[0], 6100);
  EXPECT_EQ(Readings.T[4], 6100);
}

TEST_F(AtiToolTest, ZeroOnlyWithAcceptZeroValueAndNeverTooHot) {
  SourceBlock block("ATIToolData", 90);
  block.Put<double>(72, 0.0);
  block.Put<double>(80, 150.0);
  ReadAtiTool(Ctx);
  EXPECT_EQ(Readings.T[3], NoValue16);

  Settings.AcceptZeroValue = true;
  ReadAtiTool(Ctx);
  EXPECT_EQ(Readings.T[3], 0);
  EXPECT_EQ(Readings.T[4], NoValue16);  // the range holds even then
}

TEST_F(AtiToolTest, ShortBlockIsLoggedWithTheReadingTag) {
  SourceBlock block("ATIToolData", 88);
  block.Put<double>(72, 55.0);
  ReadAtiTool(Ctx);
  EXPECT_EQ(Readings.T[3], NoValue16);
  EXPECT_TRUE(Logged("] rv30 "));
}

TEST_F(AtiToolTest, TrayToolsTemperaturesAndFanPercent) {
  SourceBlock block("ATITRAY_SMEM", 68);
  block.Put<uint32_t>(20, 63);
  block.Put<uint32_t>(24, 0);
  block.Put<uint32_t>(64, 45);
  ReadATITrayTools(Ctx);
  EXPECT_EQ(Readings.T[3], 6300);
  EXPECT_EQ(Readings.T[4], NoValue16);
  EXPECT_EQ(Readings.F[3], 4500);

  Settings.AcceptZeroValue = true;
  block.Put<uint32_t>(20, 150);
  ReadATITrayTools(Ctx);
  EXPECT_EQ(Readings.T[3], 6300);  // 150 is refused even with AcceptZeroValue
  EXPECT_EQ(Readings.T[4], 0);
}

TEST_F(AtiToolTest, TrayToolsShortBlockIsLogged) {
  SourceBlock block("ATITRAY_SMEM", 40);
  ReadATITrayTools(Ctx);
  EXPECT_TRUE(Logged("] rv att 2 "));
}

}  // namespace
