// The real main window on a real X server: menus and their states, the tray's mouse events,
// the automatic-upload question, the caption, the start without a tray, the exit question,
// the chart shown and freed, and the language followed live.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QScreen>
#include <QScrollArea>
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
#include "gui/StatusPanel.h"
#include "gui/WebLinks.h"
#include "gui/WidgetUi.h"
#include "platform/Files.h"
#include "platform/SharedMemory.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "support/TestSupport.h"

namespace kv {
namespace {

class MainWindowTest : public testing::Test {
 protected:
  void SetUp() override {
    // Language files come from a folder of our own, so a test language can be added.
    AppDir = appDir.Path();
    for (const char* file : {"English.lng", "upload-on.png", "upload-off.png", "uploading.png"})
      kvtest::WriteFile(appDir.File(file), kvtest::ReadFile(std::string(KV_BIN_DIR "/") + file));
    kvtest::EnterCycleState(dir, "gui", false);
    ResetTexts();
    ResetCaptions();
    LoadLanguage("English.lng");
    ExpertMode = false;
    SetUi(&ui);
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
    SetUi(nullptr);
    kvtest::LeaveCycleState();
    ResetCaptions();
  }
  void Open(bool tray) {
    window = std::make_unique<TfrmKelvaraMain>(cycle, tray);
    ui.SetWindow(window.get());
    window->ShowSplash = nullptr;
    window->OpenLink = [this](const std::string& address) { links.push_back(address); };
    window->TrimMemory = [this] { ++trims; };
    window->Question = [this](const std::string& text, const std::string&) {
      questions.push_back(text);
      return answer;
    };
  }
  QAction& Entry(const std::string& name) {
    QAction* action = window->Entry(name);
    if (!action) ADD_FAILURE() << name;
    return *action;
  }
  std::string Caption() const { return window->windowTitle().toStdString(); }
  std::string Log() const { return kvtest::ReadFile(dir.File("KVEvents.txt")); }
  bool Logged(const std::string& line) const { return Log().find("] " + line + "\r\n") != std::string::npos; }

  kvtest::TempDir appDir, dir;
  WidgetUi ui;
  TMainCycle cycle;
  std::unique_ptr<TfrmKelvaraMain> window;
  std::vector<std::string> links, questions;
  int trims = 0;
  bool answer = false;
};

TEST_F(MainWindowTest, EveryEntryCarriesItsCaptionStateAndDefault) {
  ApplyCaptions("English.lng");
  Open(true);
  for (const tMenuEntry& e : MenuEntries()) {
    if (std::string(e.name) == "-") continue;
    QAction& action = Entry(e.name);
    EXPECT_EQ(action.isEnabled(), !(e.flags & mfDisabled) && std::string(e.name) != "mnuUpload") << e.name;
    EXPECT_FALSE(action.text().isEmpty()) << e.name;
  }
  EXPECT_EQ(Entry("mnuFile").text().toStdString(), "&File");
  EXPECT_EQ(Entry("mnuStats24").text().toStdString(), Texts()->Stats24);
  EXPECT_EQ(Entry("mnuLight1").text(), Entry("mnuLight").text());
  EXPECT_EQ(Entry("mnuBack1Day").text().toStdString(), "<");
  EXPECT_TRUE(Entry("mnuStats").isChecked());
  EXPECT_EQ(window->SubMenu("mnuFile")->defaultAction(), &Entry("mnuExit"));
  EXPECT_EQ(window->SubMenu("mnuDisplay")->defaultAction(), &Entry("mnuStats"));
  EXPECT_EQ(window->SubMenu("mnuOptions")->defaultAction(), &Entry("mnuAutoUpload"));
  EXPECT_EQ(window->SubMenu("mnuDisplay1")->defaultAction(), &Entry("mnuSystemInfo1"));
  EXPECT_EQ(window->SubMenu("mnuOptions1")->defaultAction(), &Entry("mnuAutoUpload1"));
  EXPECT_EQ(TwinOf("mnuOptions1"), "mnuOptions");
  EXPECT_EQ(TwinOf("mnuStats31"), "mnuStats31");
  EXPECT_EQ(OptionsPage("mnuMisc1"), 14);
  EXPECT_EQ(OptionsPage("mnuExpert"), 13);

  // Opening a menu sets its check marks and visible entries.
  Settings.AutoConnect = false;
  Settings.ShowBanner = true;
  window->AboutToShow("mnuOptions");
  EXPECT_FALSE(Entry("mnuAutoUpload").isChecked());
  EXPECT_FALSE(Entry("mnuExpert").isVisible());
  EXPECT_TRUE(Entry("mnuDebug").isVisible());
  window->AboutToShow("mnuDisplay1");
  EXPECT_TRUE(Entry("mnuBanner").isChecked());
  EXPECT_TRUE(Entry("mnuBanner1").isChecked());
  EXPECT_FALSE(Entry("mnuLight1").isChecked());

  // The view entries are one radio group; navigating unchecks them all.
  window->Choose("mnuStats24");
  EXPECT_TRUE(Entry("mnuStats24").isChecked());
  EXPECT_FALSE(Entry("mnuStats").isChecked());
  window->Choose("mnuBack1Day");
  for (const char* view : {"mnuStats", "mnuStats24", "mnuStats7", "mnuStats31", "mnuStats365"})
    EXPECT_FALSE(Entry(view).isChecked()) << view;
  window->Choose("mnuForward1Day");
  EXPECT_TRUE(Entry("mnuStats").isChecked());

  // The power timer entries are shown but do nothing; the tray menu names the submenu.
  window->PopupTrayMenu(QPoint(100, 100));
  EXPECT_EQ(Entry("mnuTimer").text().toStdString(), Captions().POSuspendInactive);
  EXPECT_FALSE(Entry("mnuAutoUpload1").isChecked());
  window->TrayMenu()->close();

  window->Choose("mnuReportBug");
  window->Choose("mnuKelvaraForum1");
  EXPECT_EQ(links, (std::vector<std::string>{WebAddresses.bugMail, WebAddresses.forumEnglish}));
}

TEST_F(MainWindowTest, CaptionFollowsViewAndUpload) {
  Open(true);
  EXPECT_EQ(Caption(), "Kelvara");
  window->Choose("mnuStats7");
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats7);
  Settings.AutoConnect = false;
  window->Choose("mnuStats24");
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats24 + " - " + Texts()->UploadInactive);
  window->Choose("mnuBack1Day");
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
  EXPECT_TRUE(Entry("mnuTimer").isEnabled());
  EXPECT_FALSE(Entry("mnu5h").isEnabled());
  window->TrayMenu()->close();
}

TEST_F(MainWindowTest, AutomaticUploadAsksBeforeSwitchingOff) {
  Open(true);
  Settings.AutoConnect = true;
  Settings.SaveLight = Settings.UploadLight = true;
  answer = false;
  window->Choose("mnuAutoUpload");
  EXPECT_TRUE(Settings.AutoConnect) << "No leaves it on";
  EXPECT_EQ(window->TrayIconSlot(), 0);
  EXPECT_EQ(questions, std::vector<std::string>{Texts()->DisableAutoUpload});

  answer = true;
  window->Choose("mnuAutoUpload1");
  EXPECT_FALSE(Settings.AutoConnect);
  EXPECT_EQ(window->TrayIconSlot(), 1);
  EXPECT_TRUE(Logged("Upload/mailing disabled"));
  EXPECT_NE(Caption().find(Texts()->UploadInactive), std::string::npos);

  // Switching on never asks, but says when nothing would be uploaded.
  Settings.SaveLight = false;
  window->Choose("mnuAutoUpload");
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
  window->Choose("mnuExit");
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_TRUE(Logged("Kelvara may not close"));
  EXPECT_FALSE(cycle.ShutDownDone());
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(FileExists(dir.File("Kelvara8h.log6")));
  EXPECT_FALSE(FileExists(dir.File(ClientIniName)));

  answer = true;
  window->Choose("mnuExit1");
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
  ApplyCaptions("English.lng");
  Open(true);
  kvtest::WriteFile(appDir.File("Test.lng"),
                    "[Main]\r\nmnuFile.Caption=&Datei\r\nmnuLight.Caption=Lichtfenster\r\n"
                    "[Messages]\r\nStats24=Letzte 24 Stunden\r\n");
  kvtest::WriteFile(dir.File(ClientIniName), "[Misc]\r\nLangFile=Test.lng\r\n");
  window->Choose("mnuStats24");
  cycle.OptionsChanged();
  EXPECT_EQ(Entry("mnuFile").text().toStdString(), "&Datei");
  EXPECT_EQ(Entry("mnuLight1").text().toStdString(), "Lichtfenster");
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
  auto wheel = [viewport](int delta) {
    QWheelEvent event(QPointF(10, 10), viewport->mapToGlobal(QPointF(10, 10)), QPoint(), QPoint(0, delta),
                      Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(viewport, &event);
    return event.isAccepted();
  };
  wheel(120);  // up at the basic view: the end of the scale
  EXPECT_TRUE(Entry("mnuStats").isChecked());
  EXPECT_TRUE(wheel(-120));
  EXPECT_TRUE(Entry("mnuStats24").isChecked());
  EXPECT_EQ(Caption(), "Kelvara - " + Texts()->Stats24);
  wheel(-120);
  wheel(-120);  // past the week view: nothing more
  EXPECT_TRUE(Entry("mnuStats7").isChecked());
  window->Choose("mnuBack1Day");
  wheel(120);  // navigating: the wheel changes nothing
  EXPECT_FALSE(Entry("mnuStats24").isChecked());
  EXPECT_EQ(Caption(), "Kelvara");
}

TEST_F(MainWindowTest, ResetStatisticsEmptiesTheQueueWhenConfirmed) {
  Settings.SaveLight = true;
  Open(true);
  TimedLightSave();
  ASSERT_TRUE(ImagesWaiting());
  answer = false;
  window->Choose("mnuResetStatistics");
  EXPECT_TRUE(ImagesWaiting()) << "No keeps everything";
  answer = true;
  window->Choose("mnuResetStatistics");
  EXPECT_FALSE(ImagesWaiting());
  EXPECT_EQ(cycle.Timer(tCycleTimer::Light).interval, 15000);
  EXPECT_EQ(cycle.Timer(tCycleTimer::ReadTemp).interval, 2000);
}

}  // namespace
}  // namespace kv
