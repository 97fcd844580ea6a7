// The real libsensors path against a fake hwmon tree. libsensors insists that /sys is a sysfs
// mount (statfs magic), so the fake tree cannot replace /sys itself: a child process in a
// private mount namespace binds the fake "class" folder over /sys/class and a test
// configuration over /etc/sensors3.conf, runs the hwmon step of real passes and reports the
// channels on its standard output.
#include "readvalue/HwmonLibsensors.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <cstdio>
#include <map>
#include <sstream>

#include "core/DateTime.h"
#include "core/EventLog.h"
#include "platform/FakeTree.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "support/FakeSysfs.h"
#include "support/PassState.h"

namespace {

using namespace kv;

using kvtest::ChildSkipped;
using kvtest::SensorsConf;

// Two temperatures with and without a label file, a limit-only temperature that has no input,
// a voltage in millivolts and a fan; the device link makes it a platform (ISA) chip.
void MakeCoretemp(const std::string& root) {
  const std::string chip = "class/hwmon/hwmon0/";
  kvtest::Put(root, chip + "name", "coretemp\n");
  kvtest::Put(root, chip + "temp1_input", "45500\n");
  kvtest::Put(root, chip + "temp1_label", "Package id 0\n");
  kvtest::Put(root, chip + "temp2_input", "44000\n");
  kvtest::Put(root, chip + "temp3_max", "100000\n");
  kvtest::Put(root, chip + "in0_input", "12050\n");
  kvtest::Put(root, chip + "fan1_input", "2400\n");
  kvtest::MakeFolder(root, "devices/platform/coretemp.0");
  kvtest::Link(root, "devices/platform/coretemp.0/subsystem", "../../../bus/platform");
  std::filesystem::create_directory_symlink(root + "devices/platform/coretemp.0", root + chip + "device");
}

// A chip without a device link (a virtual one) whose fan cannot be read.
void MakeVirtualChip(const std::string& root) {
  const std::string chip = "class/hwmon/hwmon1/";
  kvtest::Put(root, chip + "name", "kvfake\n");
  kvtest::Put(root, chip + "temp1_input", "30250\n");
  kvtest::Put(root, chip + "fan1_input", "not a number\n");
}

using tReport = std::map<std::string, std::string>;

// In the child: one "key=value" line on standard output per figure.
void Report(const std::string& key, const std::string& value) { std::printf("%s=%s\n", key.c_str(), value.c_str()); }

void ReportChannels(const std::string& phase, const kvtest::PassState& s) {
  for (int i = 0; i < 5; ++i) {
    const std::string n = std::to_string(i + 1);
    Report(phase + " T" + n, std::to_string(s.Readings.T[i]));
    Report(phase + " V" + n, std::to_string(s.Readings.V[i]));
    Report(phase + " F" + n, std::to_string(s.Readings.F[i]));
    Report(phase + " nameT" + n, s.Settings.TCfg[i].Name);
    Report(phase + " nameV" + n, s.Settings.VCfg[i].Name);
    Report(phase + " nameF" + n, s.Settings.FCfg[i].Name);
  }
}

// Runs in the child, inside the fake tree: three phases of passes.
int PassesOverTheFakeTree(const std::string& root) {
  kvtest::PassState s;
  for (tFanCfg& fan : s.Settings.FCfg) fan.Div = 1.0;
  s.Pass.ResetReadings();
  s.SilenceSources({tPassStep::Hwmon});
  ReinitHwmon(true);  // libsensors may have scanned the real /sys in the parent

  s.Pass.ReadAllValues(false);  // coretemp alone, discovery order
  ReportChannels("first", s);

  MakeVirtualChip(root);
  kvtest::Put(root, "class/hwmon/hwmon0/temp1_input", "50000\n");
  s.Pass.ReadAllValues(false);  // new values, but no rescan of the chips
  ReportChannels("second", s);

  s.Settings.HwmonOrderT[ChannelIndex(4)] = "kvfake-virtual-0 Board";
  s.Settings.HwmonOrderT[ChannelIndex(1)] = "coretemp-isa-0000 Package id 0";
  s.Settings.HwmonOrderF[ChannelIndex(4)] = "kvfake-virtual-0 fan1";
  s.Pass.ReopenSources();  // the settings reload: the hwmon row rescans the chips
  s.Pass.ReadAllValues(false);
  ReportChannels("third", s);

  // A broken configuration costs its labels, not the sensors.
  kvtest::Put(root, "sensors3.conf", "chip \"kvfake-*\"\n    lable temp1 Board\n");
  kvtest::Put(root, "class/hwmon/hwmon0/temp1_input", "52000\n");
  ReinitHwmon(true);
  s.Pass.ReadAllValues(false);
  ReportChannels("fourth", s);
  s.Pass.CloseSources();
  return 0;
}

class HwmonLibsensorsTest : public testing::Test {
 protected:
  void SetUp() override {
    SetEventLogPath(dir_.File("KVEvents.txt"));
    SetDebugMode(true);
    kvtest::Put(root_, "sensors3.conf", "chip \"kvfake-*\"\n    label temp1 \"Board\"\n");
    MakeCoretemp(root_);
  }
  void TearDown() override {
    SetDebugMode(false);
    SetEventLogPath("");
  }

  kvtest::TempDir dir_;
  std::string root_ = dir_.File("sys/");
};

TEST_F(HwmonLibsensorsTest, ReadsAFakeHwmonTreeThroughLibsensors) {
  if (::access(SensorsConf, F_OK) != 0) FAIL() << SensorsConf << " is missing (libsensors-config, which scripts/install-deps brings)";
  const kvtest::tChildRun run = kvtest::RunInFakeSysfs(root_, [this] { return PassesOverTheFakeTree(root_); });
  if (run.code == ChildSkipped) GTEST_SKIP() << run.out;
  ASSERT_EQ(run.code, 0) << run.out;
  tReport r;
  std::istringstream lines(run.out);
  for (std::string line; std::getline(lines, line);)
    if (const size_t eq = line.find('='); eq != std::string::npos) r[line.substr(0, eq)] = line.substr(eq + 1);

  // Discovery order, units and names from label files or feature names.
  EXPECT_EQ(r["first T1"], "4550");
  EXPECT_EQ(r["first T2"], "4400");
  EXPECT_EQ(r["first T3"], std::to_string(NoValue16)) << "a limit without an input takes no channel";
  EXPECT_EQ(r["first V1"], "1205");
  EXPECT_EQ(r["first F1"], "2400");
  EXPECT_EQ(r["first nameT1"], "coretemp-isa-0000 Package id 0");
  EXPECT_EQ(r["first nameT2"], "coretemp-isa-0000 temp2");
  EXPECT_EQ(r["first nameT3"], "T3");
  EXPECT_EQ(r["first nameV1"], "coretemp-isa-0000 in0");
  EXPECT_EQ(r["first nameF1"], "coretemp-isa-0000 fan1");

  // Values are read every pass; the chip list only at (re)initialisation.
  EXPECT_EQ(r["second T1"], "5000");
  EXPECT_EQ(r["second T3"], std::to_string(NoValue16));
  EXPECT_EQ(r["second F2"], std::to_string(NoValue16));

  // After ReinitHwmon the new chip is there, with the label of the configuration file.
  EXPECT_EQ(r["third T1"], "5000");
  EXPECT_EQ(r["third T4"], "3025");
  EXPECT_EQ(r["third nameT4"], "T4") << "names are supplied once";
  EXPECT_EQ(r["third F4"], std::to_string(NoValue16)) << "an unreadable fan leaves its channel";
  EXPECT_EQ(r["third F1"], "2400") << "unmapped channels keep their last value";
  EXPECT_EQ(r["fourth T1"], "5200");
  EXPECT_EQ(r["fourth T4"], "3025") << "the configuration's label is gone, the last value stays";
  const std::string log = kvtest::ReadFile(dir_.File("KVEvents.txt"));
  EXPECT_NE(log.find("rv hw 2 kvfake-virtual-0 fan1: "), std::string::npos) << log;
  EXPECT_NE(log.find("rv hw 1 " + std::string(SensorsConf) + ":2: "), std::string::npos) << log;
}

// The system-information program on the same fake tree: it shows the chip's values and names.
TEST_F(HwmonLibsensorsTest, SysInfoShowsTheFakeChip) {
  if (::access(SensorsConf, F_OK) != 0) FAIL() << SensorsConf << " is missing (libsensors-config, which scripts/install-deps brings)";
  const std::string data = dir_.File("data");
  const kvtest::tChildRun run = kvtest::RunInFakeSysfs(root_, [&data] {
    ::setenv("XDG_DATA_HOME", data.c_str(), 1);
    return kvtest::Exec({KV_BIN_DIR "/kvsysinfo", "-json"});
  });
  if (run.code == ChildSkipped) GTEST_SKIP() << run.out;
  ASSERT_EQ(run.code, 0) << run.out;

  const QJsonObject o = QJsonDocument::fromJson(QByteArray::fromStdString(run.out)).object();
  EXPECT_EQ(o["T"].toArray()[0].toInt(), 4550);
  EXPECT_EQ(o["T"].toArray()[1].toInt(), 4400);
  EXPECT_EQ(o["V"].toArray()[0].toInt(), 1205);
  EXPECT_EQ(o["F"].toArray()[0].toInt(), 2400);
  const QJsonObject names = o["Names"].toObject();
  EXPECT_EQ(names["T"].toArray()[0].toString(), "coretemp-isa-0000 Package id 0");
  EXPECT_EQ(names["F"].toArray()[0].toString(), "coretemp-isa-0000 fan1");
}

}  // namespace
