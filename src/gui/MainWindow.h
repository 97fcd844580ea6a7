#pragma once
// The main window: the statistics chart in a scroll box above the status bar, the window menu,
// the tray icon with its menu, hiding to the tray, edge snapping and the caption. The chart's
// view logic lives widget-free in displays/ChartView; the cycle decides what the user's choices
// do: the window reports them with its signals.
#include <QDBusConnection>
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "displays/Chart.h"
#include "displays/ChartView.h"
#include "gui/MainMenus.h"

class QScrollArea;
class QMenu;
class QAction;
class QTimer;

namespace kv {

class TMainCycle;
struct tMonitor;
class TStatusBar;
class TChartImage;
class TDisplayWindows;
class TStatusNotifier;

// What the window does beyond its widgets; the defaults are the real ones (the splash, the
// browser, the save dialog), a test brings its own.
struct tWindowServices {
  std::function<void()> showSplash;
  std::function<void(const std::string& address)> openLink;
  // The chosen file name (empty when cancelled) and the filter index (1 PNG, 2 GIF) for a title
  // and a proposed name.
  std::function<std::pair<std::string, int>(const std::string& title, const std::string& proposed)> askSaveName;
  // Whether a tray host is there now, asked every few seconds after the start.
  std::function<bool()> trayHost;
  // The session bus a StatusNotifier host appears on; empty: the user's.
  std::optional<QDBusConnection> bus;
};

class TfrmKelvaraMain final : public QMainWindow {
  Q_OBJECT
 public:
  // trayAvailable: a tray host is there to hide to; without one the window behaves as a
  // normal window. Empty services are the real ones.
  TfrmKelvaraMain(TMainCycle& cycle, bool trayAvailable, tWindowServices services = {});
  ~TfrmKelvaraMain() override;

  // The port's half: status line, tray icon and tip, show request.
  void ShowStatus(const std::string& text);
  void SetTrayIconSlot(int slot);
  void SetTrayTip(const std::string& tip);
  void ShowInstance();
  void ShowSplash();

  // Start: position, tray icon, and shown unless Mini (always shown without a tray).
  void StartUp();
  void UpdateCaption();
  void HideToTray();
  void ShowAndRaise();
  void PopupTrayMenu(const QPoint& at);
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);
  // RefreshDisplays' window step: draws the chart of the current view while visible.
  void RefreshChart();
  // Captions of every entry from the current language captions.
  void ApplyCaptions();
  // mnuExit: a close request that never only hides.
  void Exit();

  // The entry of an action; for a submenu's entry also its menu (else nullptr).
  QAction* Action(tMenuAction action) const { return actions_[static_cast<size_t>(action)]; }
  QMenu* Menu(tMenuAction submenu) const { return menus_[static_cast<size_t>(submenu)]; }
  QMenu* TrayMenu() const { return trayMenu_; }
  bool TrayAvailable() const { return trayAvailable_; }
  // Qt's tray where it works, else our own StatusNotifier item where a host took it, else none:
  // the icon and hiding to the tray follow.
  void FollowTrayHost();
  bool OwnTrayItem() const { return ownTray_; }
  int TrayIconSlot() const { return iconSlot_; }
  QString TrayTip() const { return trayTip_; }
  ChartView& View() { return view_; }
  TDisplayWindows& Displays() { return *displays_; }
  const QImage& ChartImage() const;
  TStatusBar& StatusPanel() const { return *status_; }
  QScrollArea& ScrollBox() const { return *scrollBox_; }
  // The chart's mouse events, in picture pixels.
  void ChartMouseMove(int x, int y);
  void ChartDoubleClick(int x, int y);
  // Snapping is skipped where the desktop places windows itself.
  static bool CanPlaceWindows();

 signals:
  // What the user chose; the cycle does it.
  void AutoUploadToggled();
  void StatisticsResetChosen();
  void ClickThroughToggled();
  void UploadChosen();
  void UpdateCheckChosen();
  void OptionsChosen(int page);
  void SystemInfoChosen();
  // The window moved (its frame's top left corner) or hid to the tray.
  void Moved(int left, int top);
  void HiddenToTray();
  void CloseRequested(bool fromExitMenu);

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  // A wheel anywhere over the window switches the view (the chart's box has its own filter).
  void wheelEvent(QWheelEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildTray();
  void ConnectActions();
  void ConnectCycle();
  void ViewChosen();
  void SelectView(tStatsView view);
  void Back1Day();
  void Forward1Day();
  void SaveAs(bool light);
  TDateTime LocalTime() const;
  void DisplayMenuShown();
  void OptionsMenuShown(bool tray);
  QIcon SlotIcon(int slot) const;
  int ChromeHeight() const;
  void FitToChart(int oldChartHeight);
  void KeepOnScreen(bool resend = false);
  void TrayHostChanged(bool available, bool own);
  void StartStatusNotifier();

  TMainCycle& cycle_;
  tMonitor& m_;
  bool trayAvailable_;
  tWindowServices services_;
  ChartView view_;
  ChartGeometry geometry_;
  QScrollArea* scrollBox_ = nullptr;
  TChartImage* chart_ = nullptr;
  TStatusBar* status_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  std::array<QAction*, MenuActionCount> actions_{};
  std::array<QMenu*, MenuActionCount> menus_{};
  int iconSlot_ = 1;
  QString trayTip_;
  std::unique_ptr<TDisplayWindows> displays_;
  bool exiting_ = false;
  bool placing_ = false;
  // Until the first chart has given the window its real size (and a moment after, while a
  // window manager adds its frame), the start position is still being settled.
  bool settling_ = false;
  QTimer* settleTimer_ = nullptr;  // settling: the window fitted again until the frame has come
  int settleTicks_ = 0, framedTicks_ = 0;
  int frameExtraHeight_ = -1;  // the frame's height beyond the window's, as the X server has it
  bool centred_ = false;
  QTimer* trayWatch_ = nullptr;
  TStatusNotifier* notifier_ = nullptr;
  bool ownTray_ = false;
};

}  // namespace kv
