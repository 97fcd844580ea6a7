#include "app/MainCycle.h"

#include <malloc.h>

#include <QCoreApplication>
#include <cstdio>

#include "alerts/Alerts.h"
#include "app/NoPublishing.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/UiPort.h"
#include "displays/ImageSaving.h"
#include "platform/Instance.h"
#include "platform/System.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/ExternalValues.h"
#include "readvalue/Readings.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatFiles.h"
#include "system/Helpers.h"

namespace kv {

namespace {

using I = tTimerIntervals;

// Gives freed memory back to the system after the big picture work.
void TrimMemory() { malloc_trim(0); }

PublishingPort& DefaultPublishing() {
  static NoPublishing none;
  return none;
}

// A settings reload sets a timer's first interval. Only a timer that this switches on, or whose
// interval it changes, starts counting anew: frequent reloads must not postpone its work forever.
void Rearm(QTimer& t, int firstInterval, bool enabled) {
  if (!enabled) {
    t.stop();
    t.setInterval(firstInterval);
  } else if (!t.isActive() || t.interval() != firstInterval) {
    t.start(firstInterval);
  }
}

void LogStartFacts() {
  LogEvent(ProductVersion);
  LogEvent("Installed in \"" + AppDir + "\"");
  LogEvent("Settings are in: \"" + SettingsDir + "\"");
  try {
    LogEvent("Started as \"" + UserName() + "\"");
  } catch (const std::exception& e) {
    LogError("gcu1 ", e);
  }
  const tOsVersion os = OsVersion();
  LogEvent(os.name.empty() ? "Linux" : os.name);
  LogEvent("Version " + std::to_string(os.major) + "." + std::to_string(os.minor) + "." +
           std::to_string(os.build));
  LogEvent(std::to_string(WordSize()) + " bit");
}

}  // namespace

TMainCycle::TMainCycle(PublishingPort* publishing, QObject* parent)
    : QObject(parent),
      publishing_(publishing ? *publishing : DefaultPublishing()),
      trimMemory_(TrimMemory) {
  // Every timer fires once and is re-armed by its handler, so a slow run never overlaps itself.
  QTimer* timers[] = {&tmrReadTemp, &tmrAutoConnect, &tmrLight, &tmrBanner, &tmrLog, &tmrUpdate};
  // Precise: a coarse timer may fire up to 5 % early or late, which a 1-second ReadTemp feels.
  for (QTimer* t : timers) {
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
  }
  tmrReadTemp.setInterval(Settings.ReadTemp);
  tmrAutoConnect.setInterval(I::AutoConnectFirst);
  tmrLight.setInterval(I::LightFirst);
  tmrBanner.setInterval(I::BannerFirst);
  tmrLog.setInterval(I::Log);
  tmrUpdate.setInterval(I::UpdateFirst);
  connect(&tmrReadTemp, &QTimer::timeout, this, &TMainCycle::MainTick);
  connect(&tmrAutoConnect, &QTimer::timeout, this, &TMainCycle::AutoConnectTick);
  connect(&tmrLight, &QTimer::timeout, this, &TMainCycle::LightTick);
  connect(&tmrBanner, &QTimer::timeout, this, &TMainCycle::BannerTick);
  connect(&tmrLog, &QTimer::timeout, this, &TMainCycle::LogTick);
  connect(&tmrUpdate, &QTimer::timeout, this, &TMainCycle::UpdateTick);
}

bool TMainCycle::Initialise() {
  LogStartFacts();
  ApplyCaptions(EnglishLanguageFile);
  ApplyCaptions(Settings.LangFile);
  ResetReadings();
  LogEvent("Initializing log");
  try {
    ClearStatistics();
  } catch (const std::exception& e) {
    LogError("im1 ", e);
    return false;
  }
  ClearPendingImages();
  SetAcquirePass([](bool force) { ReadAllValues(force); });
  LogEvent("Deleting crash variable");
  ApplySettings();
  LoadStatistics();
  tmrReadTemp.start();
  tmrLog.start();
  tmrAutoConnect.start(I::AutoConnectFirst);
  CreateExternalValueArea();
  CheckHelpers();
  RefreshDisplays();
  return true;
}

void TMainCycle::CheckHelpers() {
  // Neither helper exists for Linux, so there is nothing to download or install: asking at
  // every start would be a question whose answer cannot change anything.
  if (!HWMonitorPresent() && Settings.AutostartHWM && !StartHWM()) LogEvent("HWM is not present");
  if (!SpeedFanPresent() && Settings.AutostartSpeedFan && !StartSpeedFan()) {
    LogEvent("SpeedFan is not installed");
    if (Settings.RunningAsService) LogEvent("Cannot install SpeedFan from a service");
  }
}

std::string TMainCycle::TrayTip() {
  const auto texts = Texts();
  std::string tip = ProductName;
  const std::string alert = AlertTipLine();  // first, so the length limit never cuts it
  if (!alert.empty()) tip += "\r\n" + alert;
  if (Settings.ReadUpTime) {
    char uptime[64];
    std::snprintf(uptime, sizeof uptime, "%d d %.2d:%.2d:%.2d h", UpDays, UpHours, UpMins,
                  UpSecsPart);
    tip += "\r\n" + texts->Uptime + " " + uptime;
  }
  tip += "\r\n" + (Settings.AutoConnect ? texts->UploadActive : texts->UploadInactive);
  if (tip.size() > 63) tip.resize(63);  // the tray holds 63 characters
  return tip;
}

void TMainCycle::MainTick() {
  const int passes = PassCount;
  SampleAndAcquire(false);
  if (PassCount != passes) emit ReadingsChanged();
  RefreshDisplays();
  try {
    Ui().SetTrayTip(TrayTip());
  } catch (const std::exception& e) {
    LogError("tct1 ", e);
  }
  tmrReadTemp.start(Settings.ReadTemp);
}

void TMainCycle::RefreshDisplays() {
  try {
    emit DisplaysDue();
  } catch (const std::exception& e) {
    LogError("dis1 ", e);
  }
}

void TMainCycle::ApplySettings() {
  Rearm(tmrLight, I::LightFirst, Settings.SaveLight);
  Rearm(tmrBanner, I::BannerFirst, Settings.SaveBanner);
  // A changed interval restarts it when running; standby leaves it stopped.
  if (tmrReadTemp.interval() != I::ReadTempFirst) tmrReadTemp.setInterval(I::ReadTempFirst);
  Rearm(tmrUpdate, I::UpdateFirst, Settings.CheckForUpdate);
  if (!(Settings.SaveLight && Settings.UploadLight) && !(Settings.SaveBanner && Settings.UploadBanner)) {
    LogEvent("No display marked for upload/mailing");
    Ui().ShowStatus(Texts()->NoDisplayMarked);
  }
  Ui().SetTrayIconSlot(Settings.AutoConnect ? 0 : 1);
  try {
    publishing_.ApplyHttpServer();
  } catch (const std::exception& e) {
    LogError("io1 ", e);
  }
}

void TMainCycle::OptionsChanged() {
  LogEvent("Options change detected");
  const std::string langFile =
      IniFile(SettingsDir + ClientIniName).ReadString(LangFileKey.section, LangFileKey.key, EnglishLanguageFile);
  if (langFile != Settings.LangFile) {
    Settings.LangFile = langFile;
    LoadLanguage(langFile);
    ApplyCaptions(langFile);
  }
  ReadSettings();
  ReopenSources();
  ApplySettings();
  ReadAllValues(true);
  emit ReadingsChanged();
  RefreshDisplays();
}

void TMainCycle::ShowInstance() {
  LogEvent("Show instance requested");
  Ui().ShowMainWindow();
}

void TMainCycle::ClockChanged() {
  LogEvent("Time change detected");
  const double d = (UtcNow() - Readings.Time) * SecondsPerDay;
  if (d < -300 || d > 300) {
    SampleAndAcquire(true);
    emit ReadingsChanged();
  }
  tmrReadTemp.setInterval(Settings.ReadTemp);
}

void TMainCycle::PowerBroadcast(bool goingToSleep) {
  // The codes of the announcements this stands for: suspend and resume from suspend.
  LogEvent("WMPowerBroadcast " + std::to_string(goingToSleep ? 4 : 7));
  if (goingToSleep) {
    tmrReadTemp.stop();
    tmrLog.stop();
    tmrAutoConnect.stop();
    LogEvent("Entering standby/suspend/hibernation");
  } else {
    SampleAndAcquire(true);
    emit ReadingsChanged();
    tmrReadTemp.start(I::ReadTempAfterWake);
    tmrLog.start();
    tmrAutoConnect.start(I::AutoConnectFirst);
    LogEvent("Awaking from standby/suspend");
  }
}

void TMainCycle::UploadNow() {
  publishing_.UploadNow([this] {
    if (tmrLight.isActive()) LightTick();
    if (tmrBanner.isActive()) BannerTick();
  });
}

void TMainCycle::AutoConnectTick() {
  tmrAutoConnect.stop();
  tmrAutoConnect.setInterval(I::AutoConnectLater);
  if (!SpeedFanPresent() && Settings.AutostartSpeedFan) StartSpeedFan();
  if (!HWMonitorPresent() && Settings.AutostartHWM) StartHWM();
  if (publishing_.UploadExists() && !publishing_.UploadRunning()) publishing_.FreeUpload();
  if (Settings.AutoConnect && publishing_.ImagesWaiting()) {
    LogEvent("Newly saved images detected");
    if (publishing_.UploadExists()) {
      LogEvent("Upload/mailing thread still running");
    } else {
      LogEvent("Creating upload/mailing thread");
      publishing_.CreateUpload();
    }
  } else if (Settings.AutoConnect) {
    LogEvent("No new images detected");
  } else {
    LogEvent("Upload/mailing inactive");
  }
  tmrAutoConnect.start();
}

void TMainCycle::LightTick() {
  tmrLight.stop();
  tmrLight.setInterval(I::LightLater);
  emit LightDue();
  tmrLight.start();
  TrimAfterSave();
}

void TMainCycle::BannerTick() {
  tmrBanner.stop();
  tmrBanner.setInterval(I::BannerLater);
  emit BannerDue();
  tmrBanner.start();
  TrimAfterSave();
}

void TMainCycle::TrimAfterSave() {
  if (Settings.KeepMemoryLow && trimMemory_) trimMemory_();
}

void TMainCycle::LogTick() {
  tmrLog.stop();
  if (Settings.SaveLog) SaveStatistics(false);
  tmrLog.start();
}

void TMainCycle::UpdateTick() {
  tmrUpdate.stop();
  tmrUpdate.setInterval(I::UpdateLater);
  publishing_.UpdateCheck(false);
  // An accepted update switches the automatic checks off; the timer then stays stopped.
  if (Settings.CheckForUpdate) tmrUpdate.start();
}

void TMainCycle::StatisticsReset() {
  // Each handler puts its configured interval back when it fires; a stopped timer stays stopped.
  tmrLight.setInterval(15000);
  tmrBanner.setInterval(20000);
  tmrReadTemp.setInterval(I::ReadTempFirst);
}

void TMainCycle::SessionEnd() {
  if (shutDown_) return;
  sessionEnding_ = true;  // no question, no hiding
  LogEvent("Shutdown/logoff detected");
  Close();
}

bool TMainCycle::Close(bool fromExitMenu) {
  if (shutDown_) return true;
  if (!sessionEnding_) {
    if (Settings.HideOnClose && !fromExitMenu) {
      Ui().HideMainWindow();
      return false;
    }
    LogEvent("Attempt to close Kelvara detected");
    // Without a window nobody could answer, so a headless exit is never held up.
    if (Settings.ShowWarning && !HeadlessMode &&
        !Ui().AskYesNo(Texts()->ExitWarning, Texts()->Exit)) {
      LogEvent("Kelvara may not close");
      return false;
    }
  }
  ShutDown();
  return true;
}

void TMainCycle::ShutDown() {
  shutDown_ = true;
  WriteSettings(false);
  SaveStatistics(true);
  for (QTimer* t : {&tmrLog, &tmrReadTemp, &tmrAutoConnect, &tmrLight, &tmrBanner}) t->stop();
  SaveWindowState();
  EndProductPrograms();
  LogEvent("Closing display forms");
  emit ShuttingDown();
  LogEvent("Checking upload/mailing thread");
  if (publishing_.UploadExists()) {
    LogEvent("Thread is running, terminating");
    publishing_.FreeUpload();
    LogEvent("Freeing thread ressources");
  }
  LogEvent("Checking autoupdate thread");
  if (publishing_.UpdateExists() && !publishing_.UpdateRunning()) {
    LogEvent("Thread is running, terminating");
    publishing_.FreeUpdate();
  }
  CloseExternalValueArea();
  CloseSources();
  LogEvent("Destroying tray icon");
  LogEvent("Exiting");
  emit Finished();
}

void TMainCycle::EnsureShutDown() {
  if (!shutDown_) ShutDown();
}

const QTimer& TMainCycle::TimerOf(tCycleTimer which) const {
  switch (which) {
    case tCycleTimer::ReadTemp: return tmrReadTemp;
    case tCycleTimer::AutoConnect: return tmrAutoConnect;
    case tCycleTimer::Light: return tmrLight;
    case tCycleTimer::Banner: return tmrBanner;
    case tCycleTimer::Log: return tmrLog;
    case tCycleTimer::Update: break;
  }
  return tmrUpdate;
}

tTimerView TMainCycle::Timer(tCycleTimer which) const {
  const QTimer& t = TimerOf(which);
  return {t.isActive(), t.interval(), t.isActive() ? t.remainingTime() : -1};
}

void TMainCycle::HandleMessage(int message) {
  switch (message) {
    case WM_SHOW_INSTANCE: ShowInstance(); break;
    case WM_OPTIONS_CHANGED: OptionsChanged(); break;
    case WM_QUERYENDSESSION: SessionEnd(); break;
    case WM_CLOSE: Close(); break;
    default: LogEvent("Unknown message " + std::to_string(message)); break;
  }
}

}  // namespace kv
