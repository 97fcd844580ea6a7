#include "readvalue/CoreTemp.h"

#include <limits>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class CoreTempTest : public kvtest::SourceTest {};

constexpr size_t Size = 2686;

void PutLayout(SourceBlock& block, uint32_t cores, uint32_t processors) {
  block.Put<uint32_t>(1536, cores);
  block.Put<uint32_t>(1540, processors);
}
void PutCore(SourceBlock& block, size_t n, float t) { block.Put<float>(1544 + 4 * n, t); }

TEST_F(CoreTempTest, CoresOfAllProcessorsFillTheChannelsInOrder) {
  SourceBlock block("CoreTempMappingObject", Size);
  PutLayout(block, 2, 2);
  for (size_t n = 0; n < 4; ++n) PutCore(block, n, 40.0f + static_cast<float>(n));
  block.Put<float>(2568, 1.3125f);
  block.Put<float>(2572, 3192.5f);
  FreqMax = 1000;

  ReadCoreTemp(Ctx);

  for (int n = 0; n < 4; ++n) EXPECT_EQ(Readings.T[n], 4000 + 100 * n);
  EXPECT_EQ(Readings.T[4], NoValue16);
  EXPECT_EQ(Readings.V[9], 131);  // 131.25
  EXPECT_EQ(Readings.Freq, 3192500);
  EXPECT_EQ(FreqMax, 1000);
}

TEST_F(CoreTempTest, FahrenheitIsConverted) {
  SourceBlock block("CoreTempMappingObject", Size);
  PutLayout(block, 1, 1);
  PutCore(block, 0, 122.0f);
  block.Put<uint8_t>(2684, 1);
  ReadCoreTemp(Ctx);
  EXPECT_EQ(Readings.T[0], 5000);
}

TEST_F(CoreTempTest, DistancesToTjMaxPerProcessor) {
  SourceBlock block("CoreTempMappingObject", Size);
  PutLayout(block, 2, 2);
  block.Put<uint32_t>(1024, 100);
  block.Put<uint32_t>(1028, 85);
  for (size_t n = 0; n < 4; ++n) PutCore(block, n, 30.0f);
  block.Put<uint8_t>(2685, 1);
  ReadCoreTemp(Ctx);
  EXPECT_EQ(Readings.T[0], 7000);
  EXPECT_EQ(Readings.T[1], 7000);
  EXPECT_EQ(Readings.T[2], 5500);
  EXPECT_EQ(Readings.T[3], 5500);

  block.Put<uint8_t>(2684, 1);  // distance first, then Fahrenheit
  ReadCoreTemp(Ctx);
  EXPECT_EQ(Readings.T[0], 2111);
}

TEST_F(CoreTempTest, OnlyTenCoresAndNoReadPastTheTemperatures) {
  SourceBlock block("CoreTempMappingObject", Size);
  PutLayout(block, 0xFFFFFFFFu, 0xFFFFFFFFu);
  for (size_t n = 0; n < 12; ++n) PutCore(block, n, 50.0f);
  ReadCoreTemp(Ctx);
  for (int n = 0; n < 10; ++n) EXPECT_EQ(Readings.T[n], 5000);

  Pass.ResetReadings();
  PutLayout(block, 0, 0xFFFFFFFFu);  // no cores: nothing, and quickly
  ReadCoreTemp(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);
}

TEST_F(CoreTempTest, NaNCoreKeepsItsChannel) {
  Readings.T[0] = 4200;
  SourceBlock block("CoreTempMappingObject", Size);
  PutLayout(block, 2, 1);
  PutCore(block, 0, std::numeric_limits<float>::quiet_NaN());
  PutCore(block, 1, 45.0f);
  ReadCoreTemp(Ctx);
  EXPECT_EQ(Readings.T[0], 4200);
  EXPECT_EQ(Readings.T[1], 4500);
}

TEST_F(CoreTempTest, ShortBlockThrowsToTheStep) {
  SourceBlock block("CoreTempMappingObject", Size - 1);
  PutLayout(block, 1, 1);
  PutCore(block, 0, 45.0f);
  EXPECT_THROW(ReadCoreTemp(Ctx), std::out_of_range);
  EXPECT_EQ(Readings.T[0], NoValue16);
}

}  // namespace
