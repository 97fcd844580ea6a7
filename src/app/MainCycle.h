#pragma once
// The main window's logic without its widgets: the timers of the main cycle, the reactions to
// messages, power and clock events, and the ordered shut-down. Main thread only.
//
// The cycle announces what happened through its signals; windows and the picture saves connect
// to them. The publishing services sit behind one PublishingPort the cycle calls.
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

namespace kv {

class PublishingPort;

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
  explicit TMainCycle(PublishingPort* publishing = nullptr, QObject* parent = nullptr);

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

  // The tray tip of the current readings and settings.
  static std::string TrayTip();

  bool ShutDownDone() const { return shutDown_; }
  PublishingPort& Publishing() { return publishing_; }
  // After a confirmed statistics reset: the next ticks and picture saves come soon.
  void StatisticsReset();
  tTimerView Timer(tCycleTimer which) const;
  // Gives freed memory back to the system after the picture saves (when KeepMemoryLow).
  void SetTrimMemory(std::function<void()> trim) { trimMemory_ = std::move(trim); }

 signals:
  void ReadingsChanged();  // a pass has read the sources
  void DisplaysDue();      // redraw what is visible: chart, light and banner windows
  void LightDue();         // tmrLight: save the light picture and queue it for upload
  void BannerDue();        // tmrBanner: the same for the banner
  void ShuttingDown();     // close the display windows
  void Finished();         // the shut-down is complete; the event loop may end

 private:
  void ShutDown();
  void CheckHelpers();
  void TrimAfterSave();
  const QTimer& TimerOf(tCycleTimer which) const;

  PublishingPort& publishing_;
  std::function<void()> trimMemory_;
  QTimer tmrReadTemp, tmrAutoConnect, tmrLight, tmrBanner, tmrLog, tmrUpdate;
  bool sessionEnding_ = false;
  bool shutDown_ = false;
};

}  // namespace kv
