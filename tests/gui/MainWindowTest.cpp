// The real main window on a real X server: menus and their states, the tray's mouse events,
// the automatic-upload question, the caption, the start without a tray, the exit question,
// the chart shown and freed, and the language followed live.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCall>
#include <QDBusVariant>
#include <QMenu>
#include <QProcess>
#include <QScreen>
#include <QScrollArea>
#include <QStandardPaths>
#include <QWheelEvent>
#include "gui/Wait.h"

#include "app/CycleState.h"
#include "app/MainCycle.h"
#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/ImageSaving.h"
#include "gui/MainMenus.h"
#include "gui/MainWindow.h"
#include "gui/StatusNotifier.h"
#include "gui/StatusPanel.h"
#include "gui/WebLinks.h"
#include "gui/WidgetUi.h"
#include "platform/Files.h"
#include "platform/SharedMemory.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "support/MonitorState.h"
#include "support/PrivateBus.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class MainWindowTest : public testing::Test, public kvtest::MonitorState {
 protected:
  void SetUp() override {
    // Language files come from a folder of our own, so a test language can be added.
    for (const char* file : {"English.lng", "upload-on.png", "upload-off.png", "uploading.png"})
      kvtest::WriteFile(appDir.File(file), kvtest::ReadFile(std::string(KV_BIN_DIR "/") + file));
    kvtest::EnterCycleState(M, dir, "gui", false);
    Process.AppDir = appDir.Path();
    ResetTexts();
    ResetCaptions();
    LoadLanguage(Process, "English.lng");
    Process.ExpertMode = false;
    cycle.TrimMemory = [this] { ++trims; };
    ASSERT_TRUE(cycle.Initialise());
  }
  void TearDown() override {
    if (window) {
      window->hide();
      ui.SetWindow(nullptr);
      window.reset();
    }
    if (!cycle.ShutDownDone()) cycle.SessionEnd();
    QCoreApplication::processEvents();
    kvtest::LeaveCycleState();
    ResetCaptions();
  }
  void Open(bool tray) {
    tWindowServices services;
    services.showSplash = [] {};
    services.openLink = [this](const std::string& address) { links.push_back(address); };
    services.trayHost = trayHost;
    services.bus = bus;
    window = std::make_unique<TfrmKelvaraMain>(cycle, tray, std::move(services));
    ui.SetWindow(window.get());
  }
  QAction& Entry(tMenuAction entry) {
    QAction* action = window->Action(entry);
    if (!action) ADD_FAILURE() << static_cast<int>(entry);
    return *action;
  }
  // What the user's click on an entry does.
  void Choose(tMenuAction entry) { Entry(entry).trigger(); }
  // What opening a submenu does.
  void Shown(tMenuAction submenu) { emit window->Menu(submenu)->aboutToShow(); }
  // The window as a user starts it before any tray host: on the desktop, then 6 s of waiting.
  void StartBeforeATrayHost() {
    Settings.Mini = true;
    Open(false);
    window->StartUp();
    EXPECT_TRUE(window->isVisible());
    kvtest::Wait(6000);
  }
  // Up to 10 s for the window to see a tray come or go.
  bool WaitForTray(bool available) {
    for (int i = 0; i < 200 && window->TrayAvailable() != available; ++i) kvtest::Wait(50);
    return window->TrayAvailable() == available;
  }
  std::string Caption() const { return window->windowTitle().toStdString(); }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }

  kvtest::TempDir appDir, dir;
  std::vector<std::string> links, questions;
  int trims = 0;
  bool answer = false;
  WidgetUi ui{[this](QWidget*, const std::string& text, const std::string&) {
    questions.push_back(text);
    return answer;
  }};
  TMainCycle cycle{M, ui};
  std::unique_ptr<TfrmKelvaraMain> window;
  // Qt's own answer unless a test gives one; no session bus unless a test brings its own.
  std::function<bool()> trayHost;
  std::optional<QDBusConnection> bus{QDBusConnection(QStringLiteral("kv-no-bus"))};
};

// A panel's StatusNotifierWatcher, with its host, as a panel that starts late registers it.
class StandInWatcher : public QObject {
  Q_OBJECT
  Q_CLASSINFO("D-Bus Interface", "org.kde.StatusNotifierWatcher")
  Q_PROPERTY(bool IsStatusNotifierHostRegistered READ HostRegistered)
 public:
  QStringList items;
  bool HostRegistered() const { return true; }
 public slots:
  void RegisterStatusNotifierItem(const QString& service) { items << service; }
};

// A call from the host's side, answered while the window's loop runs (the item lives on it).
QDBusMessage CallItem(const QDBusConnection& host, const QString& service, const QString& method,
                      const QVariantList& args, const QString& interface = "org.kde.StatusNotifierItem") {
  QDBusMessage call = QDBusMessage::createMethodCall(service, "/StatusNotifierItem", interface, method);
  call.setArguments(args);
  QDBusPendingCall pending = host.asyncCall(call, 5000);
  for (int i = 0; i < 600 && !pending.isFinished(); ++i) kvtest::Wait(10);
  return pending.reply();
}

// The property's value as it travels, with its D-Bus signature.
QDBusArgument ItemProperty(const QDBusConnection& host, const QString& service, const char* name) {
  const QDBusMessage reply = CallItem(host, service, "Get", {"org.kde.StatusNotifierItem", name},
                                      "org.freedesktop.DBus.Properties");
  if (reply.type() != QDBusMessage::ReplyMessage) ADD_FAILURE() << name << ": " << reply.errorMessage().toStdString();
  return reply.arguments().value(0).value<QDBusVariant>().variant().value<QDBusArgument>();
}

TEST_F(MainWindowTest, EveryEntryCarriesItsCaptionStateAndDefault) {
  ApplyCaptions(Process, "English.lng");
  Open(true);
  for (const tMenuEntry& e : MenuEntries()) {
    if (e.action == tMenuAction::None) continue;
    QAction& action = Entry(e.action);
    EXPECT_EQ(action.isEnabled(), !(e.flags & mfDisabled) && e.action != tMenuAction::Upload) << e.name;
    EXPECT_FALSE(action.text().isEmpty()) << e.name;
  }
  EXPECT_EQ(Entry(tMenuAction::File).text().toStdString(), "&File");
  EXPECT_EQ(Entry(tMenuAction::Stats24).text().toStdString(), Texts()->Stats24);
  EXPECT_EQ(Entry(tMenuAction::Light1).text(), Entry(tMenuAction::Light).text());
  EXPECT_EQ(Entry(tMenuAction::Back1Day).text().toStdString(), "<");
  EXPECT_TRUE(Entry(tMenuAction::Stats).isChecked());
  EXPECT_EQ(window->Menu(tMenuAction::File)->defaultAction(), &Entry(tMenuAction::Exit));
  EXPECT_EQ(window->Menu(tMenuAction::Display)->defaultAction(), &Entry(tMenuAction::Stats));
  EXPECT_EQ(window->Menu(tMenuAction::Options)->defaultAction(), &Entry(tMenuAction::AutoUpload));
  EXPECT_EQ(window->Menu(tMenuAction::Display1)->defaultAction(), &Entry(tMenuAction::SystemInfo1));
  EXPECT_EQ(window->Menu(tMenuAction::Options1)->defaultAction(), &Entry(tMenuAction::AutoUpload1));
  EXPECT_EQ(TwinOf(tMenuAction::Options1), tMenuAction::Options);
  EXPECT_EQ(TwinOf(tMenuAction::Stats31), tMenuAction::Stats31);
  EXPECT_EQ(OptionsPage(tMenuAction::Misc1), 14);
  EXPECT_EQ(OptionsPage(tMenuAction::Expert), 13);

  // Opening a menu sets its check marks and visible entries.
  Settings.AutoConnect = false;
  Settings.ShowBanner = true;
  Shown(tMenuAction::Options);
  EXPECT_FALSE(Entry(tMenuAction::AutoUpload).isChecked());
  EXPECT_FALSE(Entry(tMenuAction::Expert).isVisible());
  EXPECT_TRUE(Entry(tMenuAction::Debug).isVisible());
  Shown(tMenuAction::Display1);
  EXPECT_TRUE(Entry(tMenuAction::Banner).isChecked());
  EXPECT_TRUE(Entry(tMenuAction::Banner1).isChecked());
  EXPECT_FALSE(Entry(tMenuAction::Light1).isChecked());

  // The view entries are one radio group; navigating unchecks them all.
  Choose(tMenuAction::Stats24);
  EXPECT_TRUE(Entry(tMenuAction::Stats24).isChecked());
  EXPECT_FALSE(Entry(tMenuAction::Stats).isChecked());
  Choose(tMenuAction::Back1Day);
  for (tMenuAction view : {tMenuAction::Stats, tMenuAction::Stats24, tMenuAction::Stats7, tMenuAction::Stats31,
                           tMenuAction::Stats365})
    EXPECT_FALSE(Entry(view).isChecked()) << static_cast<int>(view);
  Choose(tMenuAction::Forward1Day);
  EXPECT_TRUE(Entry(tMenuAction::Stats).isChecked());

  // The power timer entries are shown but do nothing; the tray menu names the submenu.
  window->PopupTrayMenu(QPoint(100, 100));
  EXPECT_EQ(Entry(tMenuAction::Timer).text().toStdString(), Captions().POSuspendInactive);
  EXPECT_FALSE(Entry(tMenuAction::AutoUpload1).isChecked());
  window->TrayMenu()->close();

  Choose(tMenuAction::ReportBug);
  Choose(tMenuAction::KelvaraForum1);
  EXPECT_EQ(links, (std::vector<std::string>{WebAddresses.bugMail, WebAddresses.forumEnglish}));
}

TEST_F(MainWindowTest, CaptionFollowsViewAndUpload) {
  Open(true);
  EXPECT_EQ(Caption(), "Kelvara");
  Choose(tMenuAction::Stats7);
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats7);
  Settings.AutoConnect = false;
  Choose(tMenuAction::Stats24);
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats24 + " - " + Texts()->UploadInactive);
  Choose(tMenuAction::Back1Day);
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->UploadInactive);
}

TEST_F(MainWindowTest, TrayClicksShowHideToggleAndOpenTheMenu) {
  Settings.KeepMemoryLow = false;
  Open(true);
  window->TrayActivated(QSystemTrayIcon::Trigger);
  ASSERT_TRUE(kvtest::WaitExposed(window.get()));
  EXPECT_FALSE(window->ChartImage().isNull()) << "showing draws the chart";
  EXPECT_EQ(window->ChartImage().width(), Settings.StatsWidth);

  window->TrayActivated(QSystemTrayIcon::Trigger);
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(window->ChartImage().isNull()) << "hiding frees the chart";
  EXPECT_EQ(trims, 0) << "no trimming without KeepMemoryLow";

  Settings.KeepMemoryLow = true;
  window->TrayActivated(QSystemTrayIcon::Trigger);
  window->TrayActivated(QSystemTrayIcon::Trigger);
  EXPECT_EQ(trims, 1);

  // A double-click toggles automatic upload (asking first) and shows or hides once more.
  Settings.AutoConnect = true;
  answer = true;
  window->TrayActivated(QSystemTrayIcon::DoubleClick);
  EXPECT_FALSE(Settings.AutoConnect);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_TRUE(window->isVisible());

  window->TrayActivated(QSystemTrayIcon::MiddleClick);
  EXPECT_TRUE(window->isVisible());

  window->TrayActivated(QSystemTrayIcon::Context);
  EXPECT_TRUE(window->TrayMenu()->isVisible());
  EXPECT_TRUE(Entry(tMenuAction::Timer).isEnabled());
  EXPECT_FALSE(Entry(tMenuAction::T5h).isEnabled());
  window->TrayMenu()->close();
}

TEST_F(MainWindowTest, AutomaticUploadAsksBeforeSwitchingOff) {
  Open(true);
  Settings.AutoConnect = true;
  Settings.SaveLight = Settings.UploadLight = true;
  answer = false;
  Choose(tMenuAction::AutoUpload);
  EXPECT_TRUE(Settings.AutoConnect) << "No leaves it on";
  EXPECT_EQ(window->TrayIconSlot(), 0);
  EXPECT_EQ(questions, std::vector<std::string>{Texts()->DisableAutoUpload});

  answer = true;
  Choose(tMenuAction::AutoUpload1);
  EXPECT_FALSE(Settings.AutoConnect);
  EXPECT_EQ(window->TrayIconSlot(), 1);
  EXPECT_TRUE(Logged("Upload/mailing disabled"));
  EXPECT_NE(Caption().find(Texts()->UploadInactive), std::string::npos);

  // Switching on never asks, but says when nothing would be uploaded.
  Settings.SaveLight = false;
  Choose(tMenuAction::AutoUpload);
  EXPECT_TRUE(Settings.AutoConnect);
  EXPECT_EQ(questions.size(), 2u);
  EXPECT_EQ(window->TrayIconSlot(), 0);
  EXPECT_TRUE(Logged("No display marked for upload"));
  EXPECT_NE(window->StatusPanel().Text().find("] " + Texts()->NoDisplayMarked), std::string::npos);
  EXPECT_EQ(Caption(), "Kelvara");
}

TEST_F(MainWindowTest, WithoutATrayTheWindowShowsAndBehavesNormally) {
  Settings.Mini = true;
  Settings.HideOnClose = true;
  Settings.ShowWarning = true;
  Open(false);
  window->StartUp();
  EXPECT_TRUE(window->isVisible()) << "shown whatever Mini says";
  EXPECT_TRUE(Logged("No tray available: the window stays on the desktop"));
  window->TrayActivated(QSystemTrayIcon::Trigger);  // never arrives, but must not hide for good
  EXPECT_TRUE(window->isVisible() || window->isMinimized());
  window->ShowAndRaise();
  answer = false;
  window->close();  // not hidden to a tray nobody can see: the exit question comes
  EXPECT_EQ(questions, std::vector<std::string>{Texts()->ExitWarning});
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(cycle.ShutDownDone());
}

TEST_F(MainWindowTest, MiniStartsHiddenInTheTray) {
  Settings.Mini = true;
  Open(true);
  window->StartUp();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(Logged("Tray available: the window hides to the tray"));
}

TEST_F(MainWindowTest, ExitAnsweredNoKeepsRunningAndSavesNothing) {
  Settings.ShowWarning = true;
  Settings.HideOnClose = true;  // Exit still asks instead of hiding
  Open(true);
  window->ShowAndRaise();
  answer = false;
  Choose(tMenuAction::Exit);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_TRUE(Logged("Kelvara may not close"));
  EXPECT_FALSE(cycle.ShutDownDone());
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(FileExists(dir.File("Kelvara8h.log6")));
  EXPECT_FALSE(FileExists(dir.File(ClientIniName)));

  answer = true;
  Choose(tMenuAction::Exit1);
  EXPECT_TRUE(cycle.ShutDownDone());
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(FileExists(dir.File("Kelvara8h.log6")));
}

TEST_F(MainWindowTest, CloseButtonWithHideOnCloseOnlyHides) {
  Settings.HideOnClose = true;
  Open(true);
  window->ShowAndRaise();
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_TRUE(questions.empty());
  EXPECT_FALSE(cycle.ShutDownDone());
}

TEST_F(MainWindowTest, LanguageChangeReachesTheMenusAtOnce) {
  ApplyCaptions(Process, "English.lng");
  Open(true);
  kvtest::WriteFile(appDir.File("Test.lng"),
                    "[Main]\r\nmnuFile.Caption=&Datei\r\nmnuLight.Caption=Lichtfenster\r\n"
                    "[Messages]\r\nStats24=Letzte 24 Stunden\r\n");
  kvtest::WriteFile(dir.File(ClientIniName), "[Misc]\r\nLangFile=Test.lng\r\n");
  Choose(tMenuAction::Stats24);
  cycle.OptionsChanged();
  EXPECT_EQ(Entry(tMenuAction::File).text().toStdString(), "&Datei");
  EXPECT_EQ(Entry(tMenuAction::Light1).text().toStdString(), "Lichtfenster");
  EXPECT_EQ(Caption(), "Kelvara - Letzte 24 Stunden");
}

TEST_F(MainWindowTest, WindowSnapsToTheWorkAreaWithinNinePixels) {
  Open(true);
  window->ShowAndRaise();
  ASSERT_TRUE(kvtest::WaitExposed(window.get()));
  const QRect area = window->screen()->availableGeometry();
  window->move(area.left() + 9, area.top() + 200);
  QCoreApplication::processEvents();
  EXPECT_EQ(window->frameGeometry().left(), area.left());
  window->move(area.left() + 10, area.top() + 200);
  QCoreApplication::processEvents();
  EXPECT_EQ(window->frameGeometry().left(), area.left() + 10);
  EXPECT_EQ(Settings.Left, area.left() + 10) << "the stored position follows the window";
}

// Placed once the chart has given the window its real height: wholly inside the work area,
// centred at a first start or pulled back from a stored spot on a monitor that is gone.
TEST_F(MainWindowTest, StartsWhollyOnTheScreen) {
  for (const int stored : {PositionUnset, 5000, -3000}) {
    Settings.Left = Settings.Top = stored;
    Open(false);
    window->StartUp();
    ASSERT_TRUE(kvtest::WaitExposed(window.get()));
    kvtest::Wait(50);
    const QRect area = window->screen()->availableGeometry(), frame = window->frameGeometry();
    EXPECT_GT(window->height(), 200) << "the chart's height, not the start size";
    EXPECT_TRUE(area.contains(frame)) << stored << ": " << frame.x() << "," << frame.y() << " "
                                      << frame.width() << "x" << frame.height();
    EXPECT_EQ(Settings.Top, frame.y()) << stored;
  }
}

// A tray host (trayer, an XEmbed tray) that starts after the window gets the icon; when it
// goes, the window is back on the desktop.
TEST_F(MainWindowTest, TrayFollowsTheTrayHost) {
  const QString trayer = QStandardPaths::findExecutable("trayer");
  if (trayer.isEmpty()) FAIL() << "trayer is missing (scripts/install-deps installs it)";
  StartBeforeATrayHost();
  QProcess host;
  host.start(trayer, {});
  ASSERT_TRUE(host.waitForStarted(5000));
  ASSERT_TRUE(WaitForTray(true));
  EXPECT_TRUE(Logged("Tray host arrived: the window hides to the tray"));
  window->HideToTray();
  EXPECT_FALSE(window->isVisible());

  host.kill();
  host.waitForFinished(5000);
  ASSERT_TRUE(WaitForTray(false));
  EXPECT_TRUE(Logged("Tray host gone: the window stays on the desktop"));
  EXPECT_TRUE(window->isVisible());
}

// A StatusNotifier host that starts after the window, which Qt's tray never notices, gets our
// own item with the window's icon and tip; its click hides the window, its menu request pops the
// tray menu. When the watcher goes the window is back; a restarted watcher gets the item again.
TEST_F(MainWindowTest, StatusNotifierHostThatStartsLaterGetsTheIcon) {
  kvtest::PrivateBus daemon;
  ASSERT_FALSE(daemon.Address().isEmpty());
  bus = daemon.Connect("kv-sni-item");
  QDBusConnection host = daemon.Connect("kv-sni-host");
  ASSERT_TRUE(bus->isConnected() && host.isConnected());
  bool qtTray = false;  // Qt's tray decided at its start: no host
  trayHost = [&qtTray] { return qtTray; };
  StartBeforeATrayHost();

  // As real watchers do, it takes its name before it answers on its path.
  StandInWatcher watcher;
  ASSERT_TRUE(host.registerService("org.kde.StatusNotifierWatcher"));
  kvtest::Wait(300);
  ASSERT_TRUE(host.registerObject("/StatusNotifierWatcher", &watcher, QDBusConnection::ExportAllContents));
  ASSERT_TRUE(WaitForTray(true));
  ASSERT_EQ(watcher.items.size(), 1);
  const QString item = watcher.items[0];
  EXPECT_TRUE(window->OwnTrayItem());
  EXPECT_TRUE(Logged("StatusNotifier host arrived: the window hides to the tray"));

  QDBusArgument wire = ItemProperty(host, item, "IconPixmap");
  EXPECT_EQ(wire.currentSignature().toStdString(), "a(iiay)");
  const auto pixmaps = qdbus_cast<tSniPixmaps>(wire);
  ASSERT_FALSE(pixmaps.isEmpty());
  const QImage icon = window->windowIcon().pixmap(QSize(pixmaps[0].width, pixmaps[0].height)).toImage()
                          .convertToFormat(QImage::Format_ARGB32);
  QByteArray expected;
  for (int y = 0; y < icon.height(); ++y)
    for (int x = 0; x < icon.width(); ++x) {
      const QRgb pixel = icon.pixel(x, y);
      for (const int part : {qAlpha(pixel), qRed(pixel), qGreen(pixel), qBlue(pixel)}) expected += static_cast<char>(part);
    }
  EXPECT_TRUE(pixmaps[0].argb == expected) << "alpha, red, green, blue of each pixel, row after row";
  // The tip, rebuilt each second by the cycle: its first line is the heading.
  wire = ItemProperty(host, item, "ToolTip");
  EXPECT_EQ(wire.currentSignature().toStdString(), "(sa(iiay)ss)");
  tSniToolTip tip = qdbus_cast<tSniToolTip>(wire);
  for (int i = 0; i < 3 && tip.title + "\n" + tip.text != window->TrayTip(); ++i)
    tip = qdbus_cast<tSniToolTip>(ItemProperty(host, item, "ToolTip"));
  EXPECT_EQ(tip.title.toStdString(), window->TrayTip().section('\n', 0, 0).toStdString());
  EXPECT_EQ(tip.text.toStdString(), window->TrayTip().section('\n', 1).toStdString());

  EXPECT_EQ(CallItem(host, item, "Activate", {0, 0}).type(), QDBusMessage::ReplyMessage);
  EXPECT_FALSE(window->isVisible()) << "a click hides the window to the tray";
  CallItem(host, item, "ContextMenu", {40, 50});
  EXPECT_TRUE(window->TrayMenu()->isVisible());
  EXPECT_EQ(window->TrayMenu()->pos(), QPoint(40, 50));
  window->TrayMenu()->hide();

  // The panel restarts: no tray meanwhile, then the item registers again.
  ASSERT_TRUE(host.unregisterService("org.kde.StatusNotifierWatcher"));
  ASSERT_TRUE(WaitForTray(false));
  EXPECT_TRUE(window->isVisible()) << "without a tray the window is back on the desktop";
  ASSERT_TRUE(host.registerService("org.kde.StatusNotifierWatcher"));
  ASSERT_TRUE(WaitForTray(true));
  ASSERT_EQ(watcher.items.size(), 2);

  // Where Qt's own tray works again, it alone shows the icon: ours leaves the bus.
  qtTray = true;
  for (int i = 0; i < 100 && window->OwnTrayItem(); ++i) kvtest::Wait(50);
  EXPECT_FALSE(window->OwnTrayItem());
  EXPECT_FALSE(host.interface()->isServiceRegistered(watcher.items[1]).value());

  // Shutting down, the icon leaves and the window stays hidden behind the splash.
  qtTray = false;
  for (int i = 0; i < 100 && !window->OwnTrayItem(); ++i) kvtest::Wait(50);
  ASSERT_TRUE(window->OwnTrayItem());
  window->HideToTray();
  cycle.SessionEnd();
  kvtest::Wait(300);
  EXPECT_FALSE(window->isVisible());
  EXPECT_FALSE(host.interface()->isServiceRegistered(watcher.items.back()).value());
}

TEST_F(MainWindowTest, ChartDrawnOnlyWhileShownAndTipRebuiltEachTick) {
  Open(true);
  cycle.RefreshDisplays();
  EXPECT_TRUE(window->ChartImage().isNull()) << "hidden: nothing drawn";
  window->ShowAndRaise();
  ASSERT_TRUE(kvtest::WaitExposed(window.get()));
  const QImage& chart = window->ChartImage();
  ASSERT_FALSE(chart.isNull());
  EXPECT_EQ(chart.width(), Settings.StatsWidth);
  // The window fits the chart: as wide, and its box never taller than the chart.
  EXPECT_LE(window->ScrollBox().height(), chart.height());
  EXPECT_GE(window->width(), chart.width());

  Settings.AutoConnect = false;
  Settings.ReadUpTime = false;
  cycle.MainTick();
  EXPECT_EQ(window->TrayTip().toStdString(), "Kelvara\n" + Texts()->UploadInactive);
  EXPECT_EQ(window->TrayIconSlot(), 0) << "the tick sets only the tip";

  // Status lines carry the local time.
  window->ShowStatus("hello");
  EXPECT_EQ(window->StatusPanel().Text(), "[" + LongTimeText(LocalNow()) + "] hello");
  ui.ShowStatus("from the port");
  EXPECT_NE(window->StatusPanel().Text().find("] from the port"), std::string::npos);
}

TEST_F(MainWindowTest, WheelStepsThroughTheViewsAndLeavesTheEndsToTheBox) {
  Open(true);
  window->ShowAndRaise();
  ASSERT_TRUE(kvtest::WaitExposed(window.get()));
  QWidget* viewport = window->ScrollBox().viewport();
  auto wheel = [viewport](int delta, QWidget* over = nullptr) {
    QWidget* target = over ? over : viewport;
    QWheelEvent event(QPointF(10, 10), target->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &event);
    return event.isAccepted();
  };
  wheel(120);  // up at the basic view: the end of the scale
  EXPECT_TRUE(Entry(tMenuAction::Stats).isChecked());
  EXPECT_TRUE(wheel(-120));
  EXPECT_TRUE(Entry(tMenuAction::Stats24).isChecked());
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats24);
  EXPECT_TRUE(wheel(120, &window->StatusPanel()));  // over the status bar too, not only the chart
  EXPECT_TRUE(Entry(tMenuAction::Stats).isChecked());
  wheel(-120);
  wheel(-120);
  wheel(-120);  // past the week view: nothing more
  EXPECT_TRUE(Entry(tMenuAction::Stats7).isChecked());
  Choose(tMenuAction::Back1Day);
  wheel(120);  // navigating: the wheel changes nothing
  EXPECT_FALSE(Entry(tMenuAction::Stats24).isChecked());
  EXPECT_EQ(Caption(), "Kelvara");
}

TEST_F(MainWindowTest, ResetStatisticsEmptiesTheQueueWhenConfirmed) {
  Settings.SaveLight = true;
  Open(true);
  TimedLightSave(M.Display(), ui, M.Pictures);
  ASSERT_TRUE(M.Pictures.Waiting());
  answer = false;
  Choose(tMenuAction::ResetStatistics);
  EXPECT_TRUE(M.Pictures.Waiting()) << "No keeps everything";
  answer = true;
  Choose(tMenuAction::ResetStatistics);
  EXPECT_FALSE(M.Pictures.Waiting());
  EXPECT_EQ(cycle.Timer(tCycleTimer::Light).interval, 15000);
  EXPECT_EQ(cycle.Timer(tCycleTimer::ReadTemp).interval, 2000);
}

}  // namespace
}  // namespace kv

#include "MainWindowTest.moc"
