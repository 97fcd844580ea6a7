#include <dlfcn.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <chrono>
#include <filesystem>
#include <optional>
#include <thread>

#include "platform/GpuCards.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/GpuSource.h"
#include "readvalue/SystemTree.h"
#include "support/ChildProcess.h"

namespace {

using namespace kv;
using namespace std::chrono_literals;

// Two NVIDIA GPUs: the first reports its fan in RPM, the second only in percent.
const std::string TwoGpus =
    "gpu Fake GeForce A\ntemp 66\nfanrpm 1500\npower 120500\nlimit 250000\nutil 87 33\n"
    "mem 2147483648 8589934592\nclock 1800 7000\n"
    "gpu Fake GeForce B\ntemp 48\nfan 40\npower 30000\nlimit 150000\nutil 5 2\n"
    "mem 1073741824 4294967296\nclock 300 405\n";

class GpuSourceTest : public kvtest::SystemTreeTest {
 protected:
  void SetUp() override {
    SystemTreeTest::SetUp();
    ::unsetenv("KV_FAKE_NVML");
    SilenceSources({tPassStep::GPU});
  }
  void TearDown() override {
    Pass.CloseSources();
    ::unsetenv("KV_FAKE_NVML");
    SystemTreeTest::TearDown();
  }
  void Nvml(const std::string& figures) {
    Put("nvml.txt", figures);
    ::setenv("KV_FAKE_NVML", (Root() + "/nvml.txt").c_str(), 1);
  }
  static bool StandInLoadable() {
    const char* path = std::getenv("LD_LIBRARY_PATH");
    return path != nullptr && std::string(path).find(KV_FAKE_NVML_DIR) != std::string::npos;
  }
  static int PowerCalls() {
    void* lib = ::dlopen("libnvidia-ml.so.1", RTLD_NOW | RTLD_NOLOAD);
    if (lib == nullptr) return -1;
    auto calls = reinterpret_cast<int (*)()>(::dlsym(lib, "fakeNvmlPowerCalls"));
    const int n = calls ? calls() : -1;
    ::dlclose(lib);
    return n;
  }
  // card0 amdgpu with every figure, card1 i915 with a clock and a power limit; an nvidia card,
  // a virtual one and a connector that are no GPU slots.
  void Cards() {
    const std::string amd = "sys/class/drm/card0/device/";
    Put(amd + "uevent", "DRIVER=amdgpu\nPCI_ID=1002:73BF\nPCI_SLOT_NAME=0000:03:00.0\n");
    Put(amd + "gpu_busy_percent", "87\n");
    Put(amd + "mem_busy_percent", "12\n");
    Put(amd + "mem_info_vram_used", "1073741824\n");
    Put(amd + "mem_info_vram_total", "8589934592\n");
    Put(amd + "pp_dpm_sclk", "0: 500Mhz\n1: 2100Mhz *\n");
    Put(amd + "pp_dpm_mclk", "0: 96Mhz\n1: 1000Mhz *\n");
    Put(amd + "hwmon/hwmon3/name", "amdgpu\n");
    Put(amd + "hwmon/hwmon3/temp1_input", "65000\n");
    Put(amd + "hwmon/hwmon3/fan1_input", "1450\n");
    Put(amd + "hwmon/hwmon3/power1_average", "123000000\n");
    Put(amd + "hwmon/hwmon3/power1_cap", "250000000\n");
    Put("sys/class/drm/card0-DP-1/status", "connected\n");
    Put("sys/class/drm/card1/device/uevent", "DRIVER=i915\nPCI_SLOT_NAME=0000:00:02.0\n");
    Put("sys/class/drm/card1/gt_cur_freq_mhz", "1300\n");
    Put("sys/class/drm/card1/device/hwmon/hwmon5/name", "i915\n");
    Put("sys/class/drm/card1/device/hwmon/hwmon5/power1_max", "28000000\n");
    Put("planted", "99\n");  // a link where a figure file belongs is not followed
    std::filesystem::create_symlink(Root() + "/planted", Root() + "/sys/class/drm/card1/device/gpu_busy_percent");
    Put("sys/class/drm/card2/device/uevent", "DRIVER=nvidia\nPCI_SLOT_NAME=0000:01:00.0\n");
    Put("sys/class/drm/card3/device/uevent", "DRIVER=virtio-pci\n");
  }
  void NeedStandIn() {
    ASSERT_TRUE(StandInLoadable()) << "LD_LIBRARY_PATH must hold " KV_FAKE_NVML_DIR " (ctest sets it)";
  }
};

TEST_F(GpuSourceTest, SysfsCardsFillTheSlotsAndTheHistory) {
  Cards();
  Pass.ReadAllValues(true);
  ASSERT_EQ(Current.Gpus.size(), 2u);
  const tGpu& amd = Current.Gpus[0];
  EXPECT_EQ(amd.Name, "card0 amdgpu");
  EXPECT_EQ(amd.Chip, "amdgpu-pci-0300") << "the name libsensors gives its hwmon chip";
  const std::pair<int32_t, int32_t> figures[] = {
      {amd.Temp, 6500},       {amd.Fan, 1450},    {amd.Power, 123000},     {amd.PowerLimit, 250000},
      {amd.Load, 8700},       {amd.MemLoad, 1200}, {amd.MemUsed, 1048576}, {amd.MemTotal, 8388608},
      {amd.CoreClock, 2100},  {amd.MemClock, 1000}};
  for (size_t i = 0; i < std::size(figures); ++i) EXPECT_EQ(figures[i].first, figures[i].second) << i;
  const tGpu& intel = Current.Gpus[1];
  EXPECT_EQ(intel.Chip, "i915-pci-0010");
  for (const char* odd : {"0000:-3:00.0", "0000:03:00.0 ", "0000:03:20.0", "0000:03:00.8", "03:00.0"})
    EXPECT_EQ(PciChipName("amdgpu", odd), "") << odd;
  EXPECT_EQ(intel.CoreClock, 1300);
  EXPECT_EQ(intel.PowerLimit, 28000);
  EXPECT_EQ(intel.Temp, NoValue32);
  EXPECT_EQ(intel.Load, NoValue32);
  // Their sensors come through hwmon: the GPU step adds none.
  EXPECT_EQ(Readings.T[0], NoValue16);
  EXPECT_EQ(GpuLoadAt(ReadingsExtra, 0), 8700);
  EXPECT_EQ(GpuPowerAt(ReadingsExtra, 0), 123000);
  EXPECT_EQ(GpuLoadAt(ReadingsExtra, 1), NoValue32);

  // A new card is found on a slow pass, not before.
  Put("sys/class/drm/card4/device/uevent", "DRIVER=amdgpu\nPCI_SLOT_NAME=0000:04:00.0\n");
  Pass.ReadAllValues(false);
  EXPECT_EQ(Current.Gpus.size(), 2u);
  PassCount = 10;
  Pass.ReadAllValues(false);
  EXPECT_EQ(Current.Gpus.size(), 3u);
}

struct DpmCase {
  const char* text;
  std::optional<uint32_t> mhz;
};

class DpmClockTest : public testing::TestWithParam<DpmCase> {};

TEST_P(DpmClockTest, TheMarkedCompleteLineGivesTheClock) {
  EXPECT_EQ(CurrentDpmClock(GetParam().text), GetParam().mhz) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, DpmClockTest,
                         testing::Values(DpmCase{"0: 500Mhz\n1: 1800Mhz *\n", 1800},
                                         DpmCase{"0: 500Mhz *\n1: 1800Mhz\n", 500},
                                         DpmCase{"S: 19200Mhz *\n0: 500MHz\n", 19200},
                                         DpmCase{"0: 500Mhz\n1: 1800Mhz *", std::nullopt},
                                         DpmCase{"0: 500Mhz\n1: 1800Mhz\n", std::nullopt},
                                         DpmCase{"1: 99999999999Mhz *\n", std::nullopt},
                                         DpmCase{"1: fastMhz *\n", std::nullopt},
                                         DpmCase{"1: Mhz *\n", std::nullopt},
                                         DpmCase{"*\n", std::nullopt},
                                         DpmCase{"", std::nullopt}));

TEST_F(GpuSourceTest, NvmlGpusFollowTheCardsAndJoinTheSensorChannels) {
  NeedStandIn();
  Cards();
  Nvml(TwoGpus);
  Pass.ReadAllValues(true);
  ASSERT_EQ(Current.Gpus.size(), 4u);
  const tGpu& a = Current.Gpus[2];
  EXPECT_EQ(a.Name, "Fake GeForce A");
  EXPECT_EQ(a.Chip, "nvidia-gpu1");
  const std::pair<int32_t, int32_t> figures[] = {
      {a.Temp, 6600},      {a.Fan, 1500},     {a.Power, 120500},      {a.PowerLimit, 250000},
      {a.Load, 8700},      {a.MemLoad, 3300}, {a.MemUsed, 2097152},   {a.MemTotal, 8388608},
      {a.CoreClock, 1800}, {a.MemClock, 7000}};
  for (size_t i = 0; i < std::size(figures); ++i) EXPECT_EQ(figures[i].first, figures[i].second) << i;
  EXPECT_FALSE(a.FanPercent);
  const tGpu& b = Current.Gpus[3];
  EXPECT_TRUE(b.FanPercent);
  EXPECT_EQ(b.Fan, 40);

  // Discovery order, named like hwmon sensors; a percent fan stays out of the RPM channels.
  EXPECT_EQ(Readings.T[0], 6600);
  EXPECT_EQ(Readings.T[1], 4800);
  EXPECT_EQ(Readings.F[0], 1500);
  EXPECT_EQ(Readings.F[1], NoValue16);
  EXPECT_EQ(Settings.TCfg[1].Name, "nvidia-gpu2 temp");
  EXPECT_EQ(Settings.FCfg[0].Name, "nvidia-gpu1 fan");

  // The order map places them like any hwmon sensor.
  Settings.HwmonOrderT[4] = "nvidia-gpu1 temp";
  Pass.ReadAllValues(false);
  EXPECT_EQ(Readings.T[4], 6600);
}

TEST_F(GpuSourceTest, ACallThatBlocksKeepsTheLastFiguresAndIsNotRepeated) {
  NeedStandIn();
  Nvml(TwoGpus);
  Pass.ReadAllValues(true);
  ASSERT_EQ(Current.Gpus.size(), 2u);
  const int callsBefore = PowerCalls();

  Nvml("block 800\ngpu Fake GeForce A\ntemp 70\npower 1000\ngpu Fake GeForce B\ntemp 49\n");
  auto timed = [&] {
    const auto start = std::chrono::steady_clock::now();
    Pass.ReadAllValues(false);
    return std::chrono::steady_clock::now() - start;
  };
  const auto blocked = timed();
  EXPECT_GE(blocked, NvmlDeadline);
  EXPECT_LT(blocked, 700ms) << "the pass waits no longer than its deadline";
  EXPECT_EQ(Current.Gpus[0].Temp, 6600) << "the last figures stay";
  Nvml("gpu Fake GeForce A\ntemp 70\npower 1000\ngpu Fake GeForce B\ntemp 49\n");

  const int callsWhileOut = PowerCalls();
  EXPECT_LT(timed(), NvmlDeadline);
  EXPECT_EQ(PowerCalls(), callsWhileOut) << "no new call while one is outstanding";
  EXPECT_EQ(Current.Gpus[0].Temp, 6600);
  EXPECT_GT(callsWhileOut, callsBefore);

  std::this_thread::sleep_for(900ms);
  Pass.ReadAllValues(false);
  EXPECT_EQ(Current.Gpus[0].Temp, 7000) << "the late answer arrives";
  EXPECT_EQ(Current.Gpus[0].Load, NoValue32);
}

TEST_F(GpuSourceTest, WithoutTheLibrarySaysSoOnceAndGoesOn) {
  for (int pass = 0; pass < 3; ++pass) Pass.ReadAllValues(pass == 0);
  EXPECT_TRUE(Current.Gpus.empty());
  const std::string log = Log();
  const size_t first = log.find("NVIDIA management library not present");
  ASSERT_NE(first, std::string::npos) << log;
  EXPECT_EQ(log.find("NVIDIA management library not present", first + 1), std::string::npos) << log;
  EXPECT_TRUE(Pass.StepHealth()[static_cast<size_t>(tPassStep::GPU)].ok);
}

// The system-information program loads the stand-in through the same code.
TEST_F(GpuSourceTest, SysInfoShowsTwoGpusInItsJson) {
  Nvml(TwoGpus);
  const std::string data = Root() + "/data";
  const kvtest::tChildRun run = kvtest::RunChild([&data] {
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    ::setenv("LD_LIBRARY_PATH", KV_FAKE_NVML_DIR, 1);
    return kvtest::Exec({KV_BIN_DIR "/kvsysinfo", "-json"});
  });
  ASSERT_EQ(run.code, 0) << run.out;
  const std::string& out = run.out;

  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
  const QJsonArray gpus = o["GPUs"].toArray();
  ASSERT_EQ(gpus.size(), 2) << out;
  const QJsonObject a = gpus[0].toObject();
  EXPECT_EQ(a["Name"].toString(), "Fake GeForce A");
  for (const char* figure : {"Temp", "Fan", "Power", "PowerLimit", "Load", "MemLoad", "MemUsed", "MemTotal",
                             "CoreClock", "MemClock"})
    EXPECT_NE(a[figure].toInt(), NoValue32) << figure;
  EXPECT_EQ(gpus[1].toObject()["FanPercent"].toBool(), true);
  // Their sensors take channels after this machine's own hwmon sensors.
  const QJsonArray t = o["T"].toArray(), tNames = o["Names"].toObject()["T"].toArray();
  const QJsonArray f = o["F"].toArray(), fNames = o["Names"].toObject()["F"].toArray();
  int temps = 0, fans = 0;
  for (int i = 0; i < t.size(); ++i) temps += tNames[i].toString() == "nvidia-gpu1 temp" && t[i].toInt() == 6600;
  for (int i = 0; i < f.size(); ++i) fans += fNames[i].toString() == "nvidia-gpu1 fan" && f[i].toInt() == 1500;
  EXPECT_EQ(temps, 1) << out;
  EXPECT_EQ(fans, 1) << out;
}

}  // namespace
