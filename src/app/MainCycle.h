#pragma once
// The main window's logic without its widgets: the timers of the main cycle, the reactions to
// messages, power and clock events, and the ordered shut-down. Main thread only.
#include <QObject>
#include <QTimer>
#include <functional>
#include <string>

namespace kv {

// What the cycle starts in subsystems that arrive later; an empty function does nothing.
struct tCycleServices {
  std::function<void()> saveLight;   // timed light picture save, queued for upload
  std::function<void()> saveBanner;  // timed banner picture save, queued for upload
  std::function<bool()> imagesWaiting;
  std::function<bool()> uploadExists;
  std::function<bool()> uploadRunning;
  std::function<void()> createUpload;
  std::function<void()> freeUpload;  // ask to stop, wait, free
  std::function<bool()> updateExists;
  std::function<bool()> updateRunning;
  std::function<void()> freeUpdate;
  std::function<void(bool force)> updateCheck;
  std::function<void()> applyHttpServer;
  std::function<void()> drawWindows;  // chart, light and banner windows, when visible
  std::function<void()> closeWindows;
};

// Timer intervals in ms.
struct tTimerIntervals {
  static constexpr int ReadTempFirst = 2000, ReadTempAfterWake = 10000;
  static constexpr int AutoConnectFirst = 40000, AutoConnectLater = 60000;
  static constexpr int LightFirst = 45000, LightLater = 600000;
  static constexpr int BannerFirst = 50000, BannerLater = 900000;
  static constexpr int Log = 1800000;
  static constexpr int UpdateFirst = 10000, UpdateLater = 300000;
};

class TMainCycle : public QObject {
  Q_OBJECT
 public:
  explicit TMainCycle(tCycleServices services = {}, QObject* parent = nullptr);

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

  // The tray tip of the current readings and settings.
  static std::string TrayTip();

  bool ShutDownDone() const { return shutDown_; }

  QTimer tmrReadTemp, tmrAutoConnect, tmrLight, tmrBanner, tmrLog, tmrUpdate;

 signals:
  void Finished();

 private:
  void AutoConnectTick();
  void LightTick();
  void BannerTick();
  void LogTick();
  void UpdateTick();
  void ShutDown();
  void CheckHelpers();

  tCycleServices services_;
  bool sessionEnding_ = false;
  bool shutDown_ = false;
};

}  // namespace kv
