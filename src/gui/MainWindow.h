#pragma once
// The main window: the statistics chart in a scroll box above the status bar, the window menu,
// the tray icon with its menu, hiding to the tray, edge snapping and the caption. The chart's
// view logic lives widget-free in displays/ChartView; this class only wires events to it.
#include <QMainWindow>
#include <QSystemTrayIcon>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "displays/Chart.h"
#include "displays/ChartView.h"

class QScrollArea;
class QMenu;
class QAction;

namespace kv {

class TMainCycle;
class TStatusBar;
class TChartImage;
class TDisplayWindows;

class TfrmKelvaraMain final : public QMainWindow {
 public:
  // trayAvailable: a tray host is there to hide to; without one the window behaves as a
  // normal window.
  TfrmKelvaraMain(TMainCycle& cycle, bool trayAvailable);
  ~TfrmKelvaraMain() override;

  // Replaceable for tests: the Yes/No question (true for Yes), the splash window, the
  // browser, and giving memory back to the system.
  std::function<bool(const std::string& text, const std::string& caption)> Question;
  std::function<void()> ShowSplash;
  std::function<void(const std::string& address)> OpenLink;
  std::function<void()> TrimMemory;
  // mnuUpload's work, set by whoever provides the upload service (enables the entry).
  std::function<void()> UploadNow;
  void SetUploadNow(std::function<void()> work);
  // The save dialog: the chosen file name (empty when cancelled) and the filter index (1 PNG,
  // 2 GIF) for a title and a proposed name.
  std::function<std::pair<std::string, int>(const std::string& title, const std::string& proposed)>
      AskSaveName;

  // The port's half: status line, tray icon and tip, show request.
  void ShowStatus(const std::string& text);
  void SetTrayIconSlot(int slot);
  void SetTrayTip(const std::string& tip);
  void ShowInstance();

  // Start: position, tray icon, and shown unless Mini (always shown without a tray).
  void StartUp();
  void UpdateCaption();
  void HideToTray();
  void ShowAndRaise();
  void PopupTrayMenu(const QPoint& at);
  void TrayActivated(QSystemTrayIcon::ActivationReason reason);
  void ToggleAutoUpload();
  // RefreshDisplays' window step: draws the chart of the current view while visible.
  void RefreshChart();
  // Captions of every entry from the current language captions.
  void ApplyCaptions();
  // mnuExit: a close request that never only hides.
  void Exit();
  // Runs the work of a menu entry by name (what choosing it does).
  void Choose(const std::string& name);

  QAction* Entry(const std::string& name) const;
  QMenu* TrayMenu() const { return trayMenu_; }
  QMenu* SubMenu(const std::string& name) const;
  // Runs what opening a submenu does (check marks, visible entries).
  void AboutToShow(const std::string& name);
  bool TrayAvailable() const { return trayAvailable_; }
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

 protected:
  void closeEvent(QCloseEvent* event) override;
  void changeEvent(QEvent* event) override;
  void moveEvent(QMoveEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void showEvent(QShowEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void BuildMenus();
  void BuildTray();
  void ViewChosen();
  void ResetStatisticsChosen();
  void SaveAs(bool light);
  void ToggleLight(bool light);
  void ToggleClickThrough();
  QIcon SlotIcon(int slot) const;
  int ChromeHeight() const;
  void FitToChart(int oldChartHeight);

  TMainCycle& cycle_;
  bool trayAvailable_;
  ChartView view_;
  ChartGeometry geometry_;
  QScrollArea* scrollBox_ = nullptr;
  TChartImage* chart_ = nullptr;
  TStatusBar* status_ = nullptr;
  QMenu* trayMenu_ = nullptr;
  QSystemTrayIcon* tray_ = nullptr;
  std::map<std::string, QAction*> entries_;
  std::map<std::string, QMenu*> menus_;
  int iconSlot_ = 1;
  QString trayTip_;
  std::unique_ptr<TDisplayWindows> displays_;
  bool exiting_ = false;
  bool placing_ = false;
};

}  // namespace kv
