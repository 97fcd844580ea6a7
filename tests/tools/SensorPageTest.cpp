// The temperatures page lists what libsensors finds: a fake hwmon chip in a fake /sys/class,
// seen by this suite re-run in a child process inside a private mount namespace (the widgets
// cannot be made in a forked copy of a process that already talks to the X server).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QScrollArea>
#include <QTreeWidget>
#include <cstdio>
#include <sstream>

#include "core/Process.h"
#include "platform/FakeTree.h"
#include "settings/Settings.h"
#include "support/FakeSysfs.h"
#include "support/TestSupport.h"
#include "tools/options/OptionsDialog.h"

namespace kv {
namespace {

constexpr const char* ChildDirVariable = "KV_SENSOR_PAGE_DIR";

// Runs only in the child: prints what the temperatures page shows, one tagged line each.
TEST(SensorPageChild, DISABLED_PrintsTheTemperaturesPage) {
  const QByteArray dir = qgetenv(ChildDirVariable);
  ASSERT_FALSE(dir.isEmpty());
  tMonitor m;
  m.Process.AppDir = KV_BIN_DIR "/";
  m.Process.SettingsDir = dir.toStdString() + "/";
  OptionsDialog d(m, false, false);
  QScrollArea* page = d.findChild<QScrollArea*>("page4");
  ASSERT_NE(page, nullptr);
  QTreeWidget* tree = page->findChild<QTreeWidget*>("inventory");
  ASSERT_NE(tree, nullptr);
  for (int i = 0; i < tree->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = tree->topLevelItem(i);
    std::printf("ITEM\t%s\t%s\t%s\n", qPrintable(item->text(0)), qPrintable(item->text(1)), qPrintable(item->text(2)));
  }
  const QLineEdit* order = d.findChild<QLineEdit*>("KVClient.ini/OrderHwmon/T3");
  ASSERT_NE(order, nullptr);
  const auto* combo = qobject_cast<QComboBox*>(order->parentWidget());
  ASSERT_NE(combo, nullptr);
  for (int i = 0; i < combo->count(); ++i) std::printf("ORDER\t%s\n", qPrintable(combo->itemText(i)));
  if (const QLabel* value = page->findChild<QLabel*>("value1")) std::printf("VALUE1\t%s\n", qPrintable(value->text()));
  std::fflush(stdout);
}

TEST(SensorPage, ListsAFakeHwmonChipWithItsLabel) {
  if (::access(kvtest::SensorsConf, F_OK) != 0) FAIL() << kvtest::SensorsConf << " is missing (libsensors-config, which scripts/install-deps brings)";
  kvtest::TempDir dir;
  const std::string root = dir.File("sys/");
  kvtest::Put(root, "sensors3.conf", "chip \"kvfake-*\"\n    label temp1 \"Board\"\n");
  kvtest::Put(root, "class/hwmon/hwmon0/name", "kvfake\n");
  kvtest::Put(root, "class/hwmon/hwmon0/temp1_input", "30500\n");
  kvtest::Put(root, "class/hwmon/hwmon0/temp2_input", "41000\n");
  kvtest::Put(root, "class/hwmon/hwmon0/fan1_input", "1800\n");  // not a temperature
  kvtest::MakeFolder(dir.Path(), "settings");
  kvtest::Put(dir.Path(), "nvml.txt", "gpu Fake GeForce\ntemp 66\nfanrpm 1500\n");
  ::setenv("KV_FAKE_NVML", dir.File("nvml.txt").c_str(), 1);

  const std::string settings = dir.File("settings");
  const kvtest::tChildRun run = kvtest::RunInFakeSysfs(root, [&settings] {
    ::setenv(ChildDirVariable, settings.c_str(), 1);
    ::setenv("LD_LIBRARY_PATH", KV_FAKE_NVML_DIR, 1);  // the stand-in NVIDIA library
    return kvtest::Exec({"/proc/self/exe", "--gtest_also_run_disabled_tests", "--gtest_filter=SensorPageChild.*"});
  });
  if (run.code == kvtest::ChildSkipped) GTEST_SKIP() << run.out;
  const std::string& out = run.out;
  ASSERT_EQ(run.code, 0) << out;

  std::vector<std::string> items, order;
  std::string value1;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    if (line.rfind("ITEM\t", 0) == 0) items.push_back(line.substr(5));
    if (line.rfind("ORDER\t", 0) == 0) order.push_back(line.substr(6));
    if (line.rfind("VALUE1\t", 0) == 0) value1 = line.substr(7);
  }
  ::unsetenv("KV_FAKE_NVML");
  // The fake chip is the only one the mount namespace shows; the GPU follows it.
  const std::vector<std::string> expected = {"hwmon\tkvfake-virtual-0 Board\t30.5 °C",
                                             "hwmon\tkvfake-virtual-0 temp2\t41.0 °C",
                                             "hwmon\tnvidia-gpu1 temp\t66.0 °C"};
  std::vector<std::string> hwmon;
  for (const std::string& i : items)
    if (i.rfind("hwmon\t", 0) == 0) hwmon.push_back(i);
  EXPECT_EQ(hwmon, expected) << out;
  EXPECT_EQ(order, (std::vector<std::string>{"", "kvfake-virtual-0 Board", "kvfake-virtual-0 temp2", "nvidia-gpu1 temp"}))
      << out;
  EXPECT_EQ(value1, "30.50 °C") << out;  // channel 1 takes the first sensor found
}

}  // namespace
}  // namespace kv
