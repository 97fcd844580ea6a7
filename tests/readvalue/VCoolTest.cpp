#include "readvalue/VCool.h"

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class VCoolTest : public kvtest::SourceTest {};

TEST_F(VCoolTest, TemperaturesFansAndTheFourthLoad) {
  SourceBlock block("VCOOL_SHARED_DATA", 58);
  block.Put<uint32_t>(36, 52);
  block.Put<uint32_t>(40, 0);
  block.Put<uint32_t>(44, 1800);
  block.Put<uint32_t>(48, 25000);
  block.Put<uint32_t>(52, 0);
  block.Put<int16_t>(56, 37);

  ReadVCool(Ctx);

  EXPECT_EQ(Readings.T[0], 5200);
  EXPECT_EQ(Readings.T[1], NoValue16);
  EXPECT_EQ(Readings.F[0], 1800);
  EXPECT_EQ(Readings.F[1], NoValue16);
  EXPECT_EQ(Readings.F[2], 0);  // the end of the pass makes it no value
  EXPECT_EQ(Readings.CPU[3], 3700);
  EXPECT_EQ(Readings.CPU[0], NoValue16);
}

TEST_F(VCoolTest, ShortBlockIsLoggedWithItsTag) {
  SourceBlock block("VCOOL_SHARED_DATA", 50);
  block.Put<uint32_t>(36, 52);
  ReadVCool(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_TRUE(Logged("] rv7 "));
}

}  // namespace
