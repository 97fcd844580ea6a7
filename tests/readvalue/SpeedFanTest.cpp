#include "readvalue/SpeedFan.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <future>

#include "SourceBlock.h"

namespace {

using namespace kv;
using kvtest::SourceBlock;

constexpr size_t Size = 402;
constexpr size_t Temps = 18, Fans = 146, Volts = 274;

class SpeedFanTest : public kvtest::SourceTest {
 protected:
  void SetUp() override {
    SourceTest::SetUp();
    Process.AppDir = dir_.Path() + "Kelvara/";
    std::filesystem::create_directories(Process.AppDir);
    std::filesystem::create_directories(dir_.Path() + "SpeedFan");
  }
  std::string SensorFile() const { return dir_.Path() + "SpeedFan/speedfansens.cfg"; }
};

TEST_F(SpeedFanTest, DefaultOrderIsReversed) {
  SourceBlock block("SFSharedMemory_ALM", Size);
  block.Put<int32_t>(Temps + 4 * 9, 4750);  // the tenth temperature
  block.Put<int32_t>(Temps + 4 * 0, 3125);  // the first
  block.Put<int32_t>(Fans + 4 * 9, 2400);
  block.Put<int32_t>(Volts + 4 * 9, 1205);
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Readings.T[0], 4750);
  EXPECT_EQ(Readings.T[9], 3125);
  EXPECT_EQ(Readings.F[0], 2400);
  EXPECT_EQ(Readings.V[0], 1205);
}

TEST_F(SpeedFanTest, UnusedZeroTemperatureKeepsTheOldValueUnlessZeroIsAccepted) {
  Readings.T[0] = 4000;
  SourceBlock block("SFSharedMemory_ALM", Size);
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Readings.T[0], 4000);

  Settings.AcceptZeroValue = true;
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Readings.T[0], 0);
}

TEST_F(SpeedFanTest, TestsOfEachArray) {
  for (uint8_t& i : Settings.SFOrderT) i = 0;
  Settings.SFOrderT[1] = 1;
  Settings.SFOrderF[0] = 0;
  Settings.SFOrderF[1] = 1;
  Settings.SFOrderV[0] = 0;
  Settings.SFOrderV[1] = 1;
  Settings.SFOrderV[2] = 31;
  SourceBlock block("SFSharedMemory_ALM", Size);
  block.Put<int32_t>(Temps, 14999);
  block.Put<int32_t>(Temps + 4, 15000);
  block.Put<int32_t>(Fans, -1);
  block.Put<int32_t>(Fans + 4, 19999);
  block.Put<int32_t>(Volts, -1999);
  block.Put<int32_t>(Volts + 4, 2000);
  block.Put<int32_t>(Volts + 4 * 31, 330);  // the last slot
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Readings.T[0], 14999);
  EXPECT_EQ(Readings.T[1], NoValue16);
  EXPECT_EQ(Readings.F[0], NoValue16);
  EXPECT_EQ(Readings.F[1], 19999);
  EXPECT_EQ(Readings.V[0], -1999);
  EXPECT_EQ(Readings.V[1], NoValue16);
  EXPECT_EQ(Readings.V[2], 330);
}

TEST_F(SpeedFanTest, ShortBlockThrowsToTheStepAndChangesNothing) {
  SourceBlock block("SFSharedMemory_ALM", Size - 1);
  block.Put<int32_t>(Temps + 4 * 9, 4750);
  EXPECT_THROW(ReadSpeedFan(Ctx), std::out_of_range);
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_TRUE(SFNamesPending);
}

const char* const SensorFileText =
    "xxx Temp Temp1 from IT8712F@ISA 290\r\n"
    "name=Case\r\n"
    "active=true\r\n"
    "xxx end\r\n"
    "xxx Fan Fan1 from IT8712F@ISA 290\r\n"
    "name=CPU fan\r\n"
    "xxx end\r\n"
    "xxx Volt Vcore from W83627HF\r\n"
    "name=Vcore\r\n"
    "xxx end\r\n"
    "xxx Temp Temp2 from IT8712F@ISA 290\r\n"
    "name=CPU\r\n"
    "xxx end\r\n";

TEST_F(SpeedFanTest, SensorFileNamesDefaultChannelsOnce) {
  kvtest::WriteFile(SensorFile(), SensorFileText);
  Settings.TCfg[8].Name = "Board";  // T9 takes the second temperature entry, but the user named it
  SourceBlock block("SFSharedMemory_ALM", Size);

  ReadSpeedFan(Ctx);

  EXPECT_FALSE(SFNamesPending);
  EXPECT_EQ(Settings.TCfg[9].Name, "Case (IT8712F)");  // T10 takes the first entry
  EXPECT_EQ(Settings.TCfg[8].Name, "Board");
  EXPECT_EQ(Settings.FCfg[9].Name, "CPU fan (IT8712F)");
  EXPECT_EQ(Settings.VCfg[9].Name, "Vcore (W83627HF)");
  EXPECT_EQ(Settings.FCfg[0].Name, "F1");

  Settings.TCfg[9].Name = "T10";
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Settings.TCfg[9].Name, "T10");  // read once only
}

TEST_F(SpeedFanTest, SensorFileFollowsTheOrderMap) {
  kvtest::WriteFile(SensorFile(), SensorFileText);
  Settings.SFOrderT[2] = 1;
  SourceBlock block("SFSharedMemory_ALM", Size);
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Settings.TCfg[2].Name, "CPU (IT8712F)");
}

TEST_F(SpeedFanTest, MissingSensorFileIsLookedForAgain) {
  SourceBlock block("SFSharedMemory_ALM", Size);
  ReadSpeedFan(Ctx);
  EXPECT_TRUE(SFNamesPending);

  kvtest::WriteFile(SensorFile(), SensorFileText);
  ReadSpeedFan(Ctx);
  EXPECT_FALSE(SFNamesPending);
  EXPECT_EQ(Settings.FCfg[9].Name, "CPU fan (IT8712F)");
}

TEST_F(SpeedFanTest, NoBlockNoNames) {
  kvtest::WriteFile(SensorFile(), SensorFileText);
  ReadSpeedFan(Ctx);
  EXPECT_TRUE(SFNamesPending);
  EXPECT_EQ(Settings.FCfg[9].Name, "F10");
}

TEST_F(SpeedFanTest, PlantedLinkOrFifoIsNoSensorFile) {
  SourceBlock block("SFSharedMemory_ALM", Size);
  kvtest::WriteFile(dir_.File("elsewhere.cfg"), SensorFileText);
  ASSERT_EQ(::symlink(dir_.File("elsewhere.cfg").c_str(), SensorFile().c_str()), 0);
  ReadSpeedFan(Ctx);
  EXPECT_TRUE(SFNamesPending);  // treated as absent, looked for again
  EXPECT_EQ(Settings.FCfg[9].Name, "F10");
  EXPECT_TRUE(Logged("rv12 refusing ") && Logged("speedfansens.cfg: is a link")) << Log();

  ASSERT_EQ(::unlink(SensorFile().c_str()), 0);
  ASSERT_EQ(::mkfifo(SensorFile().c_str(), 0666), 0);
  auto read = std::async(std::launch::async, [this] { ReadSpeedFan(Ctx); });
  if (read.wait_for(std::chrono::seconds(3)) != std::future_status::ready) {
    const int writer = ::open(SensorFile().c_str(), O_WRONLY | O_NONBLOCK);  // frees the stuck open
    if (writer >= 0) ::close(writer);  // closed at once: the stuck read then sees the end
    read.wait();
    FAIL() << "reading the sensor file hung on a FIFO";
  }
  EXPECT_TRUE(SFNamesPending);
  EXPECT_EQ(Settings.FCfg[9].Name, "F10");
}

TEST_F(SpeedFanTest, SensorFileInWindows1252GivesUtf8Names) {
  kvtest::WriteFile(SensorFile(), "xxx Fan Fan1 from IT8712F@ISA 290\r\nname=Geh\xe4use\x07\r\nxxx end\r\n");
  SourceBlock block("SFSharedMemory_ALM", Size);
  ReadSpeedFan(Ctx);
  EXPECT_EQ(Settings.FCfg[9].Name, "Geh\u00e4use (IT8712F)");
}

}  // namespace
