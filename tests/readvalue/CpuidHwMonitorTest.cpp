#include "readvalue/CpuidHwMonitor.h"

#include <memory>
#include <vector>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

class CpuidTest : public kvtest::SourceTest {};

struct tSensor {
  std::string name;
  float value;
};
struct tDevice {
  std::string name;
  std::vector<std::vector<tSensor>> kinds;  // by kind 0..9
};

// The block as CPUID Hardware Monitor lays it out: devices, then every sensor in device and
// kind order. `extra` bytes of slack at the end.
size_t WriteDevices(std::unique_ptr<SourceBlock>& block, const std::vector<tDevice>& devices, size_t extra = 0) {
  size_t sensors = 0;
  for (const tDevice& d : devices)
    for (const auto& kind : d.kinds) sensors += kind.size();
  const size_t size = 84 + 152 * devices.size() + 48 * sensors + extra;
  block = std::make_unique<SourceBlock>("$CPUID$HWM$", size);
  block->Put<uint8_t>(80, static_cast<uint8_t>(devices.size()));
  size_t at = 84 + 152 * devices.size();
  for (size_t d = 0; d < devices.size(); ++d) {
    block->PutText(84 + 152 * d, devices[d].name);
    for (size_t j = 0; j < devices[d].kinds.size(); ++j) {
      block->Put<uint8_t>(84 + 152 * d + 72 + 8 * j, static_cast<uint8_t>(devices[d].kinds[j].size()));
      for (const tSensor& s : devices[d].kinds[j]) {
        block->PutText(at, s.name);
        block->Put<float>(at + 36, s.value);
        at += 48;
      }
    }
  }
  return size;
}

std::vector<tSensor> Sensors(const char* prefix, int count, float first) {
  std::vector<tSensor> list;
  for (int i = 0; i < count; ++i) list.push_back({prefix + std::to_string(i + 1), first + static_cast<float>(i)});
  return list;
}

TEST_F(CpuidTest, TwelveVoltagesFillV1ToV9AndZeroTemperaturesShowNoValue) {
  std::unique_ptr<SourceBlock> block;
  WriteDevices(block, {{"IT8718F", {Sensors("VIN", 12, 1.0f), {{"TMPIN0", 0.0f}, {"TMPIN1", 41.5f}}}}});

  ReadCPUID(Ctx);

  for (int i = 0; i < 9; ++i) EXPECT_EQ(Readings.V[i], 100 * (i + 1));
  EXPECT_EQ(Readings.V[9], NoValue16);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_EQ(Readings.T[1], 4150);
  EXPECT_EQ(Settings.VCfg[0].Name, "IT8718F VIN1");
  EXPECT_EQ(Settings.VCfg[9].Name, "V10");
  EXPECT_EQ(Settings.TCfg[1].Name, "IT8718F TMPIN1");
  EXPECT_FALSE(HWMNamesPending);
}

TEST_F(CpuidTest, ZeroTemperatureIsKeptWithAcceptZeroValue) {
  Settings.AcceptZeroValue = true;
  std::unique_ptr<SourceBlock> block;
  WriteDevices(block, {{"CPU", {{}, {{"Core #0", 0.0f}}}}});
  ReadCPUID(Ctx);
  EXPECT_EQ(Readings.T[0], 0);
}

TEST_F(CpuidTest, ChannelsRunOnAcrossDevicesAndSkipOtherKinds) {
  std::vector<std::vector<tSensor>> first(10), second(10);
  first[1] = {{"TMPIN0", 38.0f}};
  first[2] = {{"FANIN0", 1500.4f}};
  first[3] = Sensors("power", 3, 10.0f);  // other quantities take sensor records too
  first[9] = Sensors("other", 2, 1.0f);
  second[1] = {{"Core #0", 52.0f}, {"Core #1", 53.0f}};
  second[2] = {{"FANIN1", 900.0f}};
  std::unique_ptr<SourceBlock> block;
  WriteDevices(block, {{"  W83627EHF ", first}, {"Intel Core", second}});
  Settings.TCfg[2].Name = "CPU";

  ReadCPUID(Ctx);

  EXPECT_EQ(Readings.T[0], 3800);
  EXPECT_EQ(Readings.T[1], 5200);
  EXPECT_EQ(Readings.T[2], 5300);
  EXPECT_EQ(Readings.F[0], 1500);
  EXPECT_EQ(Readings.F[1], 900);
  EXPECT_EQ(Settings.TCfg[0].Name, "W83627EHF TMPIN0");
  EXPECT_EQ(Settings.TCfg[1].Name, "Intel Core Core #0");
  EXPECT_EQ(Settings.TCfg[2].Name, "CPU");
  EXPECT_EQ(Settings.FCfg[1].Name, "Intel Core FANIN1");
}

TEST_F(CpuidTest, NamesAreTakenOnlyOnce) {
  std::unique_ptr<SourceBlock> block;
  WriteDevices(block, {{"ITE", {{}, {{"TMPIN0", 40.0f}}}}});
  ReadCPUID(Ctx);
  Settings.TCfg[0].Name = "T1";
  ReadCPUID(Ctx);
  EXPECT_EQ(Settings.TCfg[0].Name, "T1");
}

TEST_F(CpuidTest, CountsPastTheEndOfTheBlockChangeNothing) {
  std::unique_ptr<SourceBlock> block;
  WriteDevices(block, {{"ITE", {Sensors("VIN", 2, 1.0f), {{"TMPIN0", 40.0f}}}}});
  block->Put<uint8_t>(84 + 72 + 8, 200);  // 200 temperatures that are not there

  ReadCPUID(Ctx);
  EXPECT_EQ(Readings.V[0], NoValue16);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_TRUE(HWMNamesPending);
  EXPECT_TRUE(Logged("] rv2 "));

  block->Put<uint8_t>(84 + 72 + 8, 1);
  block->Put<uint8_t>(80, 255);  // devices past the end
  ReadCPUID(Ctx);
  EXPECT_EQ(Readings.T[0], NoValue16);
}

}  // namespace
