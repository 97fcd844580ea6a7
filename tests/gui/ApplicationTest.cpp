// The cycle inside a real widget application: the exit question, the ways out of the event loop,
// the desktop logout and the timed picture saves.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>
#include <QSessionManager>
#include <QTimer>

#include "app/CycleState.h"
#include "app/Connections.h"
#include "app/MainCycle.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/ImageSaving.h"
#include "gui/WidgetUi.h"
#include "platform/Files.h"
#include "platform/SharedMemory.h"
#include "settings/Settings.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class GuiCycle : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override {
    kvtest::EnterCycleState(M, dir, "gui", false);
    Process.AppDir = KV_BIN_DIR "/";
    ASSERT_TRUE(cycle.Initialise());
  }
  void TearDown() override {
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    QCoreApplication::processEvents();  // the queued quit must not end a later test's loop
    QGuiApplication::setQuitOnLastWindowClosed(true);
    kvtest::LeaveCycleState();
  }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }

  kvtest::TempDir dir;
  WidgetUi ui;
  TMainCycle cycle{M, ui};
};

// Presses the given button of the question box as soon as it is shown.
void AnswerQuestion(QMessageBox::StandardButton answer) {
  auto* poll = new QTimer;
  QObject::connect(poll, &QTimer::timeout, poll, [poll, answer] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      box->button(answer)->click();
      poll->deleteLater();
    }
  });
  poll->start(20);
}

TEST_F(GuiCycle, AnsweringNoKeepsRunningAndQuittingStillShutsDown) {
  ConnectApplication(*QCoreApplication::instance(), cycle);
  Settings.ShowWarning = true;
  bool refused = false, runningAfterwards = false;
  AnswerQuestion(QMessageBox::No);
  QTimer::singleShot(0, [&] {
    refused = !cycle.Close(true);
    // Still in the loop well after the question box has gone; then leave it another way.
    QTimer::singleShot(300, [&] {
      runningAfterwards = true;
      QCoreApplication::quit();
    });
  });
  // Never hang the suite; the guard dies with the test, since a late exit() would make every
  // later event loop of the program return at once.
  QTimer hangGuard;
  hangGuard.setSingleShot(true);
  QObject::connect(&hangGuard, &QTimer::timeout, [] { QCoreApplication::exit(1); });
  hangGuard.start(10000);
  EXPECT_EQ(QCoreApplication::exec(), 0);
  EXPECT_TRUE(refused);
  EXPECT_TRUE(Logged("Kelvara may not close"));
  EXPECT_TRUE(runningAfterwards) << "the program ended with the question box";
  // Quitting from outside the cycle still saved everything in order.
  EXPECT_TRUE(cycle.ShutDownDone());
  EXPECT_TRUE(Logged("Exiting"));
  EXPECT_TRUE(FileExists(dir.File("KVClient.ini")));
  EXPECT_TRUE(FileExists(dir.File("Kelvara8h.log6")));
}

TEST_F(GuiCycle, DesktopLogoutSavesLikeASessionEnd) {
  ConnectApplication(*QCoreApplication::instance(), cycle);
  Settings.ShowWarning = true;
  auto* manager = qApp->findChild<QSessionManager*>();
  ASSERT_NE(manager, nullptr);
  emit qApp->commitDataRequest(*manager);
  EXPECT_TRUE(cycle.ShutDownDone());
  EXPECT_TRUE(Logged("Shutdown/logoff detected"));
  EXPECT_FALSE(Logged("Attempt to close Kelvara detected"));  // no question at logout
  EXPECT_TRUE(FileExists(dir.File("Kelvara8h.log6")));
}

TEST_F(GuiCycle, LightTimerSavesThePictureAndQueuesIt) {
  ConnectPictures(cycle);
  Settings.AutoConnect = true;
  Settings.LocalPath = dir.Path();
  cycle.LightTick();
  const tPendingImage light = M.Pictures.Pending(tImageKind::Light);
  ASSERT_FALSE(light.path.empty()) << Log();
  EXPECT_TRUE(FileExists(light.path));
  EXPECT_TRUE(M.Pictures.Waiting());
  EXPECT_TRUE(M.Pictures.Pending(tImageKind::Banner).path.empty());
  cycle.AutoConnectTick();
  EXPECT_TRUE(Logged("Newly saved images detected"));
}

}  // namespace
}  // namespace kv
