#include "tools/SysInfoWindow.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>

#include "readvalue/Readings.h"
#include "app/Monitor.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"
#include "tools/SysInfo.h"

namespace kv {
namespace {

TEST(SysInfoWindow, ShowsTheTableRefreshesByItselfAndCopiesTheText) {
  tMonitor m;
  SysInfoWindow window(m, 100);
  window.show();
  // The first pass runs before the window is shown: never an empty table.
  EXPECT_EQ(window.TableText().toStdString(), ReadingsTable(m.Current, m.Settings));
  EXPECT_NE(window.TableText().indexOf("Memory used"), -1) << window.TableText().toStdString();
  const int firstPass = m.Current.PassCount;
  QElapsedTimer t;
  t.start();
  while (window.Refreshes() < 3 && t.elapsed() < 10000) QApplication::processEvents(QEventLoop::AllEvents, 20);
  EXPECT_GE(window.Refreshes(), 3);
  EXPECT_GE(m.Current.PassCount, firstPass + 2);
  EXPECT_EQ(window.TableText().toStdString(), ReadingsTable(m.Current, m.Settings));  // the newest pass is shown

  QApplication::clipboard()->setText("something else");
  QPushButton* copy = window.findChild<QPushButton*>("copy");
  ASSERT_NE(copy, nullptr);
  const QString shown = window.TableText();
  copy->click();
  EXPECT_EQ(QApplication::clipboard()->text(), shown);
}

// The monitor starts "kvsysinfo 1" wherever it runs; without a display the program must say
// so and fail, not abort inside the toolkit.
TEST(SysInfoProgram, TheWindowWithoutADisplayFailsWithAMessage) {
  kvtest::TempDir data;
  QProcessEnvironment env;
  env.insert("PATH", qEnvironmentVariable("PATH"));
  env.insert("HOME", QString::fromStdString(data.Path()));
  env.insert("XDG_DATA_HOME", QString::fromStdString(data.Path()));
  env.insert("XDG_RUNTIME_DIR", QString::fromStdString(data.Path()));
  for (const char* arg : {"1", "-window"}) {
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {arg});
    ASSERT_TRUE(p.waitForFinished(20000)) << arg;
    EXPECT_EQ(p.exitStatus(), QProcess::NormalExit) << arg;
    EXPECT_EQ(p.exitCode(), 1) << arg;
    EXPECT_NE(p.readAllStandardError().indexOf("no display"), -1) << arg;
    EXPECT_TRUE(p.readAllStandardOutput().isEmpty()) << arg;
  }
  QProcess p;
  p.setProcessEnvironment(env);
  p.start(QStringLiteral(KV_BIN_DIR "/kvsysinfo"), {"1", "-json"});
  ASSERT_TRUE(p.waitForFinished(20000));
  EXPECT_EQ(p.exitCode(), 2);
}

}  // namespace
}  // namespace kv
