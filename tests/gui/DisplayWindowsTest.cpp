// The light and banner windows on a real X server: shown and hidden with their keys, placed
// on the desktop, dragged and snapped, translucent, and letting clicks through to the window
// below (checked with the X server's own hit test and real pointer events from xdotool).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QApplication>
#include <QMenu>
#include <QMouseEvent>
#include <QProcess>
#include <QScreen>
#include <QStandardPaths>
#include <QWindow>

#include "app/CycleState.h"
#include "app/MainCycle.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "gui/DisplayWindows.h"
#include "gui/MainWindow.h"
#include "gui/Wait.h"
#include "gui/WidgetUi.h"
#include "platform/SharedMemory.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"
#include "support/MonitorState.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

// A plain window that counts the mouse events it gets.
class Target final : public QWidget {
 public:
  Target() : QWidget(nullptr, Qt::FramelessWindowHint) {
    setMouseTracking(true);
    setAttribute(Qt::WA_QuitOnClose, false);
  }
  int presses = 0, moves = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void mouseMoveEvent(QMouseEvent*) override { ++moves; }
};

class DisplayWindowsTest : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override {
    kvtest::EnterCycleState(M, dir, "gui", false);
    Process.AppDir = KV_BIN_DIR "/";
    ResetTexts();
    LoadLanguage(Process, "English.lng");
    ASSERT_TRUE(cycle.Initialise());
    // The banner draws once the fine series holds two samples.
    while (Stats8h.LastIndex < 1) {
      tReadings r;
      tReadingsExtra e;
      MakeBreakSample(Readings.Time, r, e);
      Stats8h.Samples.push_back(r);
      Stats8h.SamplesExtra.push_back(e);
      Stats8h.LastIndex = static_cast<int32_t>(Stats8h.Samples.size()) - 1;
    }
    displays = std::make_unique<TDisplayWindows>(cycle);
  }
  void TearDown() override {
    displays.reset();
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    QCoreApplication::processEvents();
    kvtest::LeaveCycleState();
  }
  static bool RealX() { return QGuiApplication::platformName() == QLatin1String("xcb"); }
  static QRect WorkArea() { return QGuiApplication::primaryScreen()->availableGeometry(); }
  IniFile ClientIni() const { return IniFile(dir.File(ClientIniName)); }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }

  TfrmDisplay* Shown(tDisplay which) {
    displays->ShowWindow(which);
    TfrmDisplay* window = displays->Window(which);
    if (!window || !kvtest::WaitExposed(window)) ADD_FAILURE() << "window not shown";
    return window;
  }
  // A drag with the left button from a point inside the window by (dx, dy), as the widget sees it.
  static void Drag(QWidget* window, QPoint by) {
    const QPoint local(20, 20), start = window->mapToGlobal(local);
    QMouseEvent press(QEvent::MouseButtonPress, local, start, Qt::LeftButton, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(window, &press);
    for (const QPoint step : {by / 2, by}) {
      QMouseEvent move(QEvent::MouseMove, local + step, start + step, Qt::NoButton, Qt::LeftButton,
                       Qt::NoModifier);
      QCoreApplication::sendEvent(window, &move);
    }
    QMouseEvent release(QEvent::MouseButtonRelease, local + by, start + by, Qt::LeftButton, Qt::NoButton,
                        Qt::NoModifier);
    QCoreApplication::sendEvent(window, &release);
    kvtest::Wait(30);
  }
  // Drags the window so that its frame would stand at `to`; the geometry it ends with.
  static QRect DragTo(QWidget* window, QPoint to) {
    Drag(window, to - window->frameGeometry().topLeft());
    return window->frameGeometry();
  }

  kvtest::TempDir dir;
  WidgetUi ui;
  TMainCycle cycle{M, ui};
  std::unique_ptr<TDisplayWindows> displays;
};

TEST_F(DisplayWindowsTest, ShowingAndHidingFollowTheKeysAndThePlace) {
  TfrmDisplay* light = Shown(tDisplay::Light);
  ASSERT_TRUE(light);
  EXPECT_TRUE(Settings.ShowLight);
  EXPECT_TRUE(Logged("Showing light display"));
  // A frameless tool window sized to its picture, centred on the work area the first time.
  EXPECT_TRUE(light->windowFlags().testFlag(Qt::Tool));
  EXPECT_TRUE(light->windowFlags().testFlag(Qt::FramelessWindowHint));
  EXPECT_TRUE(light->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
  ASSERT_FALSE(light->Image().isNull());
  EXPECT_EQ(light->size(), light->Image().size());
  const QRect area = WorkArea();
  EXPECT_EQ(light->frameGeometry().topLeft(),
            QPoint((area.width() - light->width()) / 2, (area.height() - light->height()) / 2));
  EXPECT_EQ(ClientIni().ReadString("Light", "ShowLight", ""), "1");
  EXPECT_FALSE(ClientIni().ValueExists("Banner", "ShowBanner"));

  light->PlaceSnapped(QRect(QPoint(100, 200), light->size()));
  displays->Toggle(tDisplay::Light);
  EXPECT_EQ(displays->Window(tDisplay::Light), nullptr);
  EXPECT_FALSE(Settings.ShowLight);
  EXPECT_TRUE(Logged("Hiding light display"));
  EXPECT_FALSE(ClientIni().ValueExists("Light", "ShowLight"));
  EXPECT_EQ(ClientIni().ReadInteger("Light", "LightX", -1), 100);
  EXPECT_EQ(ClientIni().ReadInteger("Light", "LightY", -1), 200);

  // Shown again where it was left; a refresh keeps one window and keeps its place.
  displays->Toggle(tDisplay::Light);
  light = displays->Window(tDisplay::Light);
  ASSERT_TRUE(light && kvtest::WaitExposed(light));
  EXPECT_EQ(light->frameGeometry().topLeft(), QPoint(100, 200));
  cycle.RefreshDisplays();
  EXPECT_EQ(displays->Window(tDisplay::Light), light);
  EXPECT_EQ(light->frameGeometry().topLeft(), QPoint(100, 200));

  // The banner is the same window with its own keys and picture.
  TfrmDisplay* banner = Shown(tDisplay::Banner);
  ASSERT_TRUE(banner);
  EXPECT_EQ(banner->objectName(), "frmBanner");
  EXPECT_EQ(banner->size(), QSize(Settings.BannerWidth, 80));
  EXPECT_EQ(ClientIni().ReadString("Banner", "ShowBanner", ""), "1");
  EXPECT_TRUE(Logged("Showing banner display"));
}

TEST_F(DisplayWindowsTest, AStoredPlaceOffTheDesktopIsBroughtBack) {
  const QRect desktop = QGuiApplication::primaryScreen()->virtualGeometry();
  {
    IniFile ini(dir.File(ClientIniName));
    ini.WriteInteger("Light", "LightX", 300);
    ini.WriteInteger("Light", "LightY", 50000);
    ini.WriteInteger("Banner", "BannerX", -4000);
    ini.WriteInteger("Banner", "BannerY", -20);
    ASSERT_TRUE(ini.UpdateFile());
  }
  TfrmDisplay* light = Shown(tDisplay::Light);
  ASSERT_TRUE(light);
  // Far below: its bottom edge meets the desktop's; Left stays.
  EXPECT_EQ(light->frameGeometry().topLeft(), QPoint(300, desktop.bottom() + 1 - light->height()));
  TfrmDisplay* banner = Shown(tDisplay::Banner);
  ASSERT_TRUE(banner);
  EXPECT_EQ(banner->frameGeometry().topLeft(), desktop.topLeft());
}

TEST_F(DisplayWindowsTest, DraggingSnapsToTheWorkAreaWithinNinePixels) {
  if (!RealX()) GTEST_SKIP() << "needs an X server";
  TfrmDisplay* light = Shown(tDisplay::Light);
  ASSERT_TRUE(light);
  const QRect area = WorkArea();
  const int w = light->width(), h = light->height();
  const int midX = area.x() + 300, midY = area.y() + 200;
  // A plain drag follows the cursor.
  EXPECT_EQ(DragTo(light, {midX, midY}).topLeft(), QPoint(midX, midY));
  // Left, top, right and bottom edges: 9 pixels away snaps, 10 stays.
  EXPECT_EQ(DragTo(light, {area.x() + 9, midY}).topLeft(), QPoint(area.x(), midY));
  EXPECT_EQ(DragTo(light, {area.x() + 10, midY}).topLeft(), QPoint(area.x() + 10, midY));
  EXPECT_EQ(DragTo(light, {midX, area.y() + 9}).topLeft(), QPoint(midX, area.y()));
  EXPECT_EQ(DragTo(light, {midX, area.y() + 10}).topLeft(), QPoint(midX, area.y() + 10));
  const int right = area.x() + area.width(), bottom = area.y() + area.height();
  EXPECT_EQ(DragTo(light, {right - w - 9, midY}).topLeft(), QPoint(right - w, midY));
  EXPECT_EQ(DragTo(light, {right - w - 10, midY}).topLeft(), QPoint(right - w - 10, midY));
  EXPECT_EQ(DragTo(light, {midX, bottom - h - 9}).topLeft(), QPoint(midX, bottom - h));
  EXPECT_EQ(DragTo(light, {midX, bottom - h - 10}).topLeft(), QPoint(midX, bottom - h - 10));
  // The X server holds the snapped place, and hiding stores it.
  DragTo(light, {area.x() + 4, area.y() + 3});
  kvtest::Wait(50);
  EXPECT_EQ(light->windowHandle()->framePosition(), area.topLeft());
  displays->HideWindow(tDisplay::Light);
  EXPECT_EQ(ClientIni().ReadInteger("Light", "LightX", -1), area.x());
  EXPECT_EQ(ClientIni().ReadInteger("Light", "LightY", -1), area.y());
}

TEST_F(DisplayWindowsTest, ABannerNearlyAsWideAsTheAreaIsWidenedAtTheRightEdge) {
  if (!RealX()) GTEST_SKIP() << "needs an X server";
  const QRect area = WorkArea();
  Settings.BannerWidth = area.width() - 5;
  TfrmDisplay* banner = Shown(tDisplay::Banner);
  ASSERT_TRUE(banner);
  ASSERT_EQ(banner->width(), area.width() - 5);
  DragTo(banner, {area.x() + 200, area.y() + 300});
  // Its right edge 2 pixels short of the area's: snapped right, then its left edge is within
  // reach of the area's left, so it spans the whole width.
  const QRect widened = DragTo(banner, {area.x() + 3, area.y() + 300});
  EXPECT_EQ(widened, QRect(area.x(), area.y() + 300, area.width(), 80));
  // Dragged away, it has the picture's size again; the next refresh also sizes it to the picture.
  EXPECT_EQ(DragTo(banner, {area.x() + 40, area.y() + 300}).size(), QSize(area.width() - 5, 80));
  DragTo(banner, {area.x() + 3, area.y() + 300});
  cycle.RefreshDisplays();
  EXPECT_EQ(banner->size(), QSize(area.width() - 5, 80));
}

// The value of an X property of a window as xprop prints it; empty without xprop.
std::string XProperty(QWidget* window, const char* name) {
  if (QStandardPaths::findExecutable("xprop").isEmpty()) return {};
  QProcess xprop;
  xprop.start("xprop", {"-id", QString::number(window->winId()), name});
  xprop.waitForFinished(5000);
  return xprop.readAllStandardOutput().trimmed().toStdString();
}

TEST_F(DisplayWindowsTest, LightAlphaSetsTheOpacityOfBothWindows) {
  Settings.LightAlpha = 255;
  TfrmDisplay* light = Shown(tDisplay::Light);
  TfrmDisplay* banner = Shown(tDisplay::Banner);
  ASSERT_TRUE(light && banner);
  EXPECT_DOUBLE_EQ(light->windowOpacity(), 1.0);
  EXPECT_DOUBLE_EQ(banner->windowOpacity(), 1.0);
  const std::string opaque = XProperty(light, "_NET_WM_WINDOW_OPACITY");
  // A reload of the settings reaches the open windows with the next refresh.
  Settings.LightAlpha = 153;
  cycle.RefreshDisplays();
  EXPECT_NEAR(light->windowOpacity(), 0.6, 1e-9);
  EXPECT_NEAR(banner->windowOpacity(), 0.6, 1e-9);
  if (RealX() && !opaque.empty()) {
    // Opaque: no blending property at all; 153 / 255 of the full 32-bit scale otherwise.
    EXPECT_NE(opaque.find("not found"), std::string::npos) << opaque;
    kvtest::Wait(30);
    EXPECT_NE(XProperty(light, "_NET_WM_WINDOW_OPACITY").find("= 2576980377"), std::string::npos);
  }
}

// Real pointer events through the X server.
bool XdoTool(const QStringList& arguments) {
  return QProcess::execute("xdotool", arguments) == 0;
}

// Parks the pointer in the screen's far corner afterwards: a pointer resting over the place of
// a later test's window (the main window's chart, the splash) would feed it hover events.
struct PointerParked {
  ~PointerParked() {
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    XdoTool({"mousemove", "--sync", QString::number(screen.right()), QString::number(screen.bottom())});
  }
};

TEST_F(DisplayWindowsTest, ClickThroughPassesClicksToTheWindowBelowAndStopsDragging) {
  if (!RealX()) GTEST_SKIP() << "needs an X server";
  if (QStandardPaths::findExecutable("xdotool").isEmpty()) FAIL() << "xdotool is missing (scripts/install-deps installs it)";
  const PointerParked pointer;
  Target below;
  below.setGeometry(150, 150, 400, 400);
  below.show();
  ASSERT_TRUE(kvtest::WaitExposed(&below));
  {
    IniFile ini(dir.File(ClientIniName));
    ini.WriteInteger("Light", "LightX", 200);
    ini.WriteInteger("Light", "LightY", 200);
    ASSERT_TRUE(ini.UpdateFile());
  }
  TfrmDisplay* light = Shown(tDisplay::Light);
  ASSERT_TRUE(light);
  const QPoint spot(230, 230);
  auto click = [&] {
    ASSERT_TRUE(XdoTool({"mousemove", "--sync", QString::number(spot.x()), QString::number(spot.y())}));
    ASSERT_TRUE(XdoTool({"click", "1"}));
    kvtest::Wait(100);
  };

  // Off: the light takes the click itself and lies on top.
  EXPECT_EQ(QApplication::topLevelAt(spot), light);
  click();
  EXPECT_EQ(below.presses, 0);

  cycle.ToggleClickThrough();
  EXPECT_TRUE(Settings.ClickThrough);
  EXPECT_EQ(IniFile(dir.File(DisplayIniName)).ReadString("Misc", "ClickThrough", ""), "1");
  kvtest::Wait(50);
  // On: the X server's hit test finds the window below, which gets the click and the movement.
  EXPECT_EQ(QApplication::topLevelAt(spot), &below);
  const int movesBefore = below.moves;
  ASSERT_TRUE(XdoTool({"mousemove", "--sync", "235", "240"}));
  kvtest::Wait(50);
  click();
  EXPECT_EQ(below.presses, 1);
  EXPECT_GT(below.moves, movesBefore);
  // No drag moves it: neither real pointer events nor events given to it directly.
  const QPoint place = light->frameGeometry().topLeft();
  ASSERT_TRUE(XdoTool({"mousedown", "1"}));
  ASSERT_TRUE(XdoTool({"mousemove", "--sync", "330", "330"}));
  ASSERT_TRUE(XdoTool({"mouseup", "1"}));
  kvtest::Wait(50);
  Drag(light, {100, 100});
  EXPECT_EQ(light->frameGeometry().topLeft(), place);

  // A light shown anew (or a banner) takes the setting from its creation on.
  TfrmDisplay* banner = Shown(tDisplay::Banner);
  ASSERT_TRUE(banner);
  EXPECT_TRUE(banner->ClickThrough());

  // Off again: clicks are the light's once more.
  cycle.ToggleClickThrough();
  EXPECT_EQ(IniFile(dir.File(DisplayIniName)).ReadString("Misc", "ClickThrough", ""), "0");
  kvtest::Wait(50);
  const int pressesBefore = below.presses;
  click();
  EXPECT_EQ(below.presses, pressesBefore);
  EXPECT_EQ(QApplication::topLevelAt(spot), light);
}

TEST_F(DisplayWindowsTest, TheMenusStartAndShutDownDriveBothWindows) {
  displays.reset();
  // Shown at the last end: both open with the first refresh after start.
  Settings.ShowLight = Settings.ShowBanner = true;
  tWindowServices services;
  services.showSplash = [] {};
  TfrmKelvaraMain window(cycle, false, services);
  cycle.RefreshDisplays();
  TDisplayWindows& both = window.Displays();
  ASSERT_TRUE(both.Window(tDisplay::Light) && both.Window(tDisplay::Banner));
  EXPECT_TRUE(kvtest::WaitExposed(both.Window(tDisplay::Banner)));

  // The tray twin and the window entry do the same.
  window.Action(tMenuAction::Banner1)->trigger();
  EXPECT_EQ(both.Window(tDisplay::Banner), nullptr);
  emit window.Menu(tMenuAction::Display)->aboutToShow();
  EXPECT_FALSE(window.Action(tMenuAction::Banner)->isChecked());
  EXPECT_TRUE(window.Action(tMenuAction::Light)->isChecked());
  window.Action(tMenuAction::ClickThrough1)->trigger();
  EXPECT_TRUE(both.Window(tDisplay::Light)->ClickThrough());
  window.Action(tMenuAction::Banner)->trigger();
  ASSERT_TRUE(both.Window(tDisplay::Banner));
  EXPECT_TRUE(both.Window(tDisplay::Banner)->ClickThrough());

  // A light that cannot be drawn is logged with its tag; the banner still draws.
  ASSERT_EQ(::mkdir(dir.File("KVLight.txt").c_str(), 0700), 0);
  cycle.RefreshDisplays();
  EXPECT_NE(Log().find("] dis2 "), std::string::npos);
  EXPECT_EQ(Log().find("] dis3 "), std::string::npos);
  ::rmdir(dir.File("KVLight.txt").c_str());

  // The shut-down keeps both for the next start in [Misc] and closes them, which stores their
  // places and removes their open keys.
  cycle.SessionEnd();
  EXPECT_EQ(both.Window(tDisplay::Light), nullptr);
  EXPECT_EQ(both.Window(tDisplay::Banner), nullptr);
  const IniFile ini = ClientIni();
  EXPECT_TRUE(ini.ValueExists("Misc", "ShowLight"));
  EXPECT_TRUE(ini.ValueExists("Misc", "ShowBanner"));
  EXPECT_FALSE(ini.ValueExists("Light", "ShowLight"));
  EXPECT_FALSE(ini.ValueExists("Banner", "ShowBanner"));
  EXPECT_TRUE(ini.ValueExists("Light", "LightX"));
  EXPECT_TRUE(ini.ValueExists("Banner", "BannerY"));
}

}  // namespace
}  // namespace kv
