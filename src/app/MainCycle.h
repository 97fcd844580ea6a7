#pragma once
// The main window's logic without its widgets: the timers of the main cycle, the reactions to
// messages, power and clock events, what the user asks for through the windows, and the ordered
// shut-down. Main thread only.
//
// The cycle works on the monitor it is given and announces what happened through its signals;
// windows and the picture saves connect to them. The publishing services sit behind one
// PublishingPort the cycle calls; the user is reached through the UiPort.
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

#include "alerts/AlertActions.h"
#include "app/Monitor.h"
#include "app/NoPublishing.h"
#include "system/Helpers.h"

namespace kv {

class PublishingPort;
class UiPort;

// Timer intervals in ms.
struct tTimerIntervals {
  static constexpr int ReadTempFirst = 2000, ReadTempAfterWake = 10000;
  static constexpr int AutoConnectFirst = 40000, AutoConnectLater = 60000;
  static constexpr int LightFirst = 45000, LightLater = 600000;
  static constexpr int BannerFirst = 50000, BannerLater = 900000;
  static constexpr int Log = 1800000;
  static constexpr int UpdateFirst = 10000, UpdateLater = 300000;
};

enum class tCycleTimer { ReadTemp, AutoConnect, Light, Banner, Log, Update };

// What a timer looks like from outside; remaining is -1 when it is not running.
struct tTimerView {
  bool active;
  int interval;
  int remaining;
};

class TMainCycle : public QObject {
  Q_OBJECT
 public:
  // Without publishing services nothing is uploaded, updated or served.
  TMainCycle(tMonitor& monitor, UiPort& ui, PublishingPort* publishing = nullptr, QObject* parent = nullptr);

  // The one-time initialisation after start-up; false when the process must end.
  bool Initialise();

  void MainTick();
  void RefreshDisplays();
  void ApplySettings();
  void OptionsChanged();
  void ShowInstance();
  void ClockChanged();
  void PowerBroadcast(bool goingToSleep);
  void SessionEnd();
  // A close request: may hide, ask, or refuse; true when the program is shutting down.
  bool Close(bool fromExitMenu = false);
  void HandleMessage(int message);
  // Runs the ordered shut-down unless it has run: every way out of the event loop ends here.
  void EnsureShutDown();

  // The other timers' handlers; each re-arms its own timer.
  void AutoConnectTick();
  void LightTick();
  void BannerTick();
  void LogTick();
  void UpdateTick();
  // The upload command of the menus: the enabled picture timers' bodies run at once.
  void UploadNow();

  // ---- What the user asked for through a window ----
  // The automatic upload on or off (switching off is asked first); announced by
  // AutoUploadChanged.
  void ToggleAutoUpload();
  // Asks, then empties the series and the upload queue; the next ticks and picture saves come
  // soon, and the displays are redrawn.
  void ResetStatistics();
  // The click-through of the display windows flipped; announced by ClickThroughChanged.
  void ToggleClickThrough();
  // Where the main window now stands (its frame's top left corner); that it hid to the tray.
  void MainWindowMoved(int left, int top);
  void MainWindowHidden();
  // The options program on a page, the system-information program, an update check.
  void OpenOptions(int page);
  void OpenSystemInfo();
  void CheckForUpdateNow();

  // The tray tip of the current readings, settings and alerts.
  std::string TrayTip() const;

  bool ShutDownDone() const { return shutDown_; }
  // Publishing services are there: the upload command has something to do.
  bool CanUpload() const { return &publishing_ != &noPublishing_; }
  tMonitor& Monitor() { return m_; }
  UiPort& Ui() { return ui_; }
  tAlertActions& AlertActions() { return alertActions_; }
  tProductPrograms& ProductPrograms() { return programs_; }
  // After a confirmed statistics reset: the next ticks and picture saves come soon.
  void StatisticsReset();
  tTimerView Timer(tCycleTimer which) const;

  // Gives freed memory back to the system after the picture saves and when the window hides
  // (when KeepMemoryLow).
  std::function<void()> TrimMemory;

 signals:
  void ReadingsChanged();  // a pass has read the sources
  void DisplaysDue();      // redraw what is visible: chart, light and banner windows
  void LightDue();         // tmrLight: save the light picture and queue it for upload
  void BannerDue();        // tmrBanner: the same for the banner
  void AutoUploadChanged(bool on);
  void ClickThroughChanged(bool on);
  void ShuttingDown();     // close the display windows
  void Finished();         // the shut-down is complete; the event loop may end

 private:
  void ShutDown();
  void CheckHelpers();
  void TrimAfterSave();
  void HideUnfilledChannels();
  const QTimer& TimerOf(tCycleTimer which) const;

  tMonitor& m_;
  UiPort& ui_;
  NoPublishing noPublishing_;
  PublishingPort& publishing_;
  tAlertActions alertActions_;
  tProductPrograms programs_;
  QTimer tmrReadTemp, tmrAutoConnect, tmrLight, tmrBanner, tmrLog, tmrUpdate;
  bool sessionEnding_ = false;
  bool shutDown_ = false;
  // Passes still to run before a first start (no settings file yet) hides what nothing fills.
  int unfilledPasses_ = 0;
};

}  // namespace kv
