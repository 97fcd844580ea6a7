#include "readvalue/RivaTuner.h"

#include <vector>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class RivaTunerTest : public kvtest::SourceTest {};

constexpr uint32_t Signature = 0x5254484D;

struct tEntry {
  std::string name;
  float value1, value2;
};

std::unique_ptr<SourceBlock> WriteBlock(uint32_t signature, uint32_t version, uint32_t entrySize,
                                        const std::vector<tEntry>& entries) {
  const size_t stride = version == 0x10000 ? 64 : entrySize;
  auto block = std::make_unique<SourceBlock>("RTHMSharedMemory", 20 + stride * entries.size());
  block->Put<uint32_t>(0, signature);
  block->Put<uint32_t>(4, version);
  block->Put<int32_t>(8, static_cast<int32_t>(entries.size()));
  block->Put<uint32_t>(16, entrySize);
  for (size_t e = 0; e < entries.size(); ++e) {
    block->PutText(20 + stride * e, entries[e].name);
    block->Put<float>(20 + stride * e + 52, entries[e].value1);
    block->Put<float>(20 + stride * e + 56, entries[e].value2);
  }
  return block;
}

TEST_F(RivaTunerTest, WrongSignatureLogsTheVersionAndChangesNothing) {
  auto block = WriteBlock(0x12345678, 0x20000, 64, {{"GPU temperature", 60.0f, 0.0f}});
  ReadRivaTuner(Ctx);
  EXPECT_TRUE(Logged("] Reading from RivaTuner shared memory version 20000 305419896\r\n"));
  EXPECT_FALSE(Logged("GPU temperature"));
  EXPECT_EQ(Readings.T[3], NoValue16);
  EXPECT_EQ(Settings.RivaOrderT[3], "temperature");
}

TEST_F(RivaTunerTest, TwoTemperatureSensorsBindToT4AndT5AndStayBound) {
  auto block = WriteBlock(Signature, 0x10000, 0,
                          {{"GPU temperature", 60.0f, 0.5f}, {"Memory temperature", 50.0f, 0.0f}});
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], 6050);
  EXPECT_EQ(Readings.T[4], 5000);
  EXPECT_EQ(Settings.RivaOrderT[3], "gpu temperature");
  EXPECT_EQ(Settings.RivaOrderT[4], "memory temperature");
  EXPECT_TRUE(Logged("] Reading from RivaTuner shared memory version 10000 1381255245\r\n"));
  EXPECT_TRUE(Logged("] GPU temperature 60.5\r\n"));
  EXPECT_TRUE(Logged("] Memory temperature 50\r\n"));

  // Next pass the sensors appear the other way round; each keeps its channel.
  block.reset();
  block = WriteBlock(Signature, 0x10000, 0,
                     {{"Memory temperature", 52.0f, 0.0f}, {"GPU temperature", 63.0f, 0.0f}});
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], 6300);
  EXPECT_EQ(Readings.T[4], 5200);
  EXPECT_EQ(Readings.T[5], NoValue16);
}

TEST_F(RivaTunerTest, OneSensorFeedsATemperatureAndAFanChannel) {
  Settings.RivaOrderT[0] = "fan";
  auto block = WriteBlock(Signature, 0x20000, 80, {{"Fan speed", 2200.0f, 0.0f}});
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);  // too large for a temperature
  EXPECT_EQ(Settings.RivaOrderT[0], "fan speed");
  EXPECT_EQ(Readings.F[3], 2200);
  EXPECT_EQ(Settings.RivaOrderF[3], "fan speed");
}

TEST_F(RivaTunerTest, EntrySizeComesFromTheHeaderForOtherVersions) {
  auto block = WriteBlock(Signature, 0x20000, 100, {{"Core clock", 500.0f, 0.0f}, {"GPU temperature", 70.0f, 0.0f}});
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], 7000);
}

TEST_F(RivaTunerTest, HeaderThatReachesPastTheBlockChangesNothing) {
  auto block = WriteBlock(Signature, 0x20000, 64, {{"GPU temperature", 70.0f, 0.0f}});
  block->Put<int32_t>(8, 1000);
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], NoValue16);
  EXPECT_TRUE(Logged("] rv rt 2 "));

  block->Put<uint32_t>(16, 0x80000000u);
  block->Put<int32_t>(8, 3);  // huge entries: the arithmetic must not wrap into the block
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], NoValue16);

  block->Put<uint32_t>(16, 8);  // entries that would overlap
  ReadRivaTuner(Ctx);
  EXPECT_EQ(Readings.T[3], NoValue16);
  EXPECT_EQ(Settings.RivaOrderT[3], "temperature");
}

TEST(RivaTunerFormat, OneOptionalDecimal) {
  EXPECT_EQ(FormatOneDecimal(60.0), "60");
  EXPECT_EQ(FormatOneDecimal(60.54), "60.5");
  EXPECT_EQ(FormatOneDecimal(-3.96), "-4");
  EXPECT_EQ(FormatOneDecimal(-0.01), "0");
}

}  // namespace
