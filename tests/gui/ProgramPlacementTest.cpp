// The real program's first start on a small screen (1024x768), on bare X and under a window
// manager: a chart far taller than the window's start size, and the framed window must still lie
// wholly on the screen, title bar included.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QThread>

#include "platform/Files.h"
#include "support/TestSupport.h"
#include "support/WidgetTestMain.h"

namespace kv {
namespace {

struct tChild {
  pid_t pid = 0;
  ~tChild() {
    if (pid <= 0) return;
    ::kill(pid, SIGTERM);
    ::waitpid(pid, nullptr, 0);
  }
};

class ProgramPlacement : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    display_ = kvtest::widgetmain::StartXvfb("1024x768x24", &xvfb_.pid);
    ASSERT_FALSE(display_.empty()) << "Xvfb did not start";
    env_ = QProcessEnvironment::systemEnvironment();
    env_.insert("DISPLAY", QString::fromStdString(display_));
    env_.insert("QT_QPA_PLATFORM", "xcb");
    env_.insert("XDG_RUNTIME_DIR", QString::fromStdString(dir_.File("run")));
    env_.insert("XDG_DATA_HOME", QString::fromStdString(dir_.File("data")));
    env_.remove("DBUS_SESSION_BUS_ADDRESS");
    ASSERT_TRUE(CreateFolder(dir_.File("run"), 0700) && CreateFolder(dir_.File("data"), 0700) &&
                CreateFolder(dir_.File("data/kelvara"), 0700));
    // Tall panels: a chart taller than the screen, as a full history with every channel draws
    // (the panels of channels no source fills stay hidden, so CPU and memory stand in for them).
    kvtest::WriteFile(dir_.File("data/kelvara/KVClient.ini"), "[Misc]\r\nLangFile=English.lng\r\nCheckForUpdate=0\r\n");
    kvtest::WriteFile(dir_.File("data/kelvara/KVDisplay.ini"), "[CPUs]\r\nCPUHeight=400\r\n[Memory]\r\nMemHeight=200\r\n");
  }
  void TearDown() override {
    if (kelvara_.state() != QProcess::NotRunning) {
      Run(KV_BIN_DIR "/kelvara", {"-close"});
      if (!kelvara_.waitForFinished(15000)) kelvara_.kill();
    }
    if (wm_.state() != QProcess::NotRunning) {
      wm_.kill();
      wm_.waitForFinished(5000);
    }
  }
  QString Run(const QString& program, const QStringList& args) {
    QProcess p;
    p.setProcessEnvironment(env_);
    p.start(program, args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
  }
  // The outermost window that holds the main window (the window manager's frame) on the root.
  QRect Frame() {
    const QString id = Run("xdotool", {"search", "--onlyvisible", "--name", "^Kelvara"}).section('\n', 0, 0);
    if (id.isEmpty()) return {};
    QString top = id;
    for (;;) {
      const auto parent = QRegularExpression("Parent window id: (0x[0-9a-f]+)( \\(the root window\\))?")
                              .match(Run("xwininfo", {"-children", "-id", top}));
      if (!parent.hasMatch() || !parent.captured(2).isEmpty()) break;
      top = parent.captured(1);
    }
    const QString info = Run("xwininfo", {"-id", top});
    const auto number = [&info](const char* label) {
      return QRegularExpression(QString(label) + ":\\s+(-?\\d+)").match(info).captured(1).toInt();
    };
    return {number("Absolute upper-left X"), number("Absolute upper-left Y"), number("Width"), number("Height")};
  }

  kvtest::TempDir dir_;
  tChild xvfb_;
  std::string display_;
  QProcessEnvironment env_;
  QProcess kelvara_, wm_;
};

TEST_P(ProgramPlacement, FirstStartLiesWhollyOnASmallScreen) {
  if (GetParam()) {
    const QString openbox = QStandardPaths::findExecutable("openbox");
    ASSERT_FALSE(openbox.isEmpty()) << "openbox is missing (scripts/install-deps installs it)";
    wm_.setProcessEnvironment(env_);
    wm_.start(openbox, {});
    ASSERT_TRUE(wm_.waitForStarted(5000));
    QThread::msleep(1000);
  }
  kelvara_.setProcessEnvironment(env_);
  kelvara_.start(KV_BIN_DIR "/kelvara", {});
  ASSERT_TRUE(kelvara_.waitForStarted(5000));
  QRect frame;
  for (int i = 0; i < 100 && frame.height() < 600; ++i) {
    QThread::msleep(200);
    frame = Frame();
  }
  QThread::msleep(4000);  // the window settles: chart drawn, frame added
  frame = Frame();
  EXPECT_GT(frame.height(), 600) << "a tall chart";
  EXPECT_TRUE(QRect(0, 0, 1024, 768).contains(frame))
      << frame.x() << "," << frame.y() << " " << frame.width() << "x" << frame.height();
}

INSTANTIATE_TEST_SUITE_P(WindowManager, ProgramPlacement, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& p) { return p.param ? "Openbox" : "BareX"; });

}  // namespace
}  // namespace kv
