#include "app/MainCycle.h"

#include <malloc.h>

#include <QCoreApplication>
#include <cstdio>

#include "alerts/Alerts.h"
#include "app/NoPublishing.h"
#include "core/EventLog.h"
#include "core/PublishingPort.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "displays/ImageSaving.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/System.h"
#include "readvalue/ExternalValues.h"
#include "settings/IniFile.h"
#include "settings/Language.h"

namespace kv {

namespace {

using I = tTimerIntervals;

// Gives freed memory back to the system after the big picture work.
void TrimMemory() { malloc_trim(0); }

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

void LogStartFacts(const tProcessFacts& process) {
  LogEvent(ProductVersion);
  LogEvent("Installed in \"" + process.AppDir + "\"");
  LogEvent("Settings are in: \"" + process.SettingsDir + "\"");
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

TMainCycle::TMainCycle(tMonitor& monitor, UiPort& ui, PublishingPort* publishing, QObject* parent)
    : QObject(parent),
      TrimMemory(kv::TrimMemory),
      m_(monitor),
      ui_(ui),
      noPublishing_(monitor.Pictures),
      publishing_(publishing ? *publishing : noPublishing_),
      alertActions_(monitor.Display(), monitor.Alerts, monitor.Time, ui),
      programs_(monitor.Process) {
  // Every timer fires once and is re-armed by its handler, so a slow run never overlaps itself.
  QTimer* timers[] = {&tmrReadTemp, &tmrAutoConnect, &tmrLight, &tmrBanner, &tmrLog, &tmrUpdate};
  // Precise: a coarse timer may fire up to 5 % early or late, which a 1-second ReadTemp feels.
  for (QTimer* t : timers) {
    t->setSingleShot(true);
    t->setTimerType(Qt::PreciseTimer);
  }
  tmrReadTemp.setInterval(m_.Settings.ReadTemp);
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
  LogStartFacts(m_.Process);
  ApplyCaptions(m_.Process, EnglishLanguageFile);
  ApplyCaptions(m_.Process, m_.Settings.LangFile);
  m_.Pass.ResetReadings();
  LogEvent("Initializing log");
  // Sources that fill a channel late (every few passes) have had their turn after three.
  unfilledPasses_ = FileExists(m_.Process.SettingsDir + ClientIniName) ? 0 : 3;
  try {
    m_.Series.ClearStatistics();
  } catch (const std::exception& e) {
    LogError("im1 ", e);
    return false;
  }
  m_.Pictures.ClearAll();
  LogEvent("Deleting crash variable");
  ApplySettings();
  m_.Series.LoadStatistics();
  tmrReadTemp.start();
  tmrLog.start();
  tmrAutoConnect.start(I::AutoConnectFirst);
  CreateExternalValueArea(m_.Pass.Memory());
  CheckHelpers();
  RefreshDisplays();
  return true;
}

void TMainCycle::CheckHelpers() {
  // Neither helper exists for Linux, so there is nothing to download or install: asking at
  // every start would be a question whose answer cannot change anything.
  const tSettings& s = m_.Settings;
  if (!HWMonitorPresent() && s.AutostartHWM && !StartHWM()) LogEvent("HWM is not present");
  if (!SpeedFanPresent() && s.AutostartSpeedFan && !StartSpeedFan(m_.Process.AppDir)) {
    LogEvent("SpeedFan is not installed");
    if (s.RunningAsService) LogEvent("Cannot install SpeedFan from a service");
  }
}

std::string TMainCycle::TrayTip() const {
  const auto texts = Texts();
  const tSettings& s = m_.Settings;
  const tReadingsState& c = m_.Current;
  std::string tip = ProductName;
  const std::string alert = AlertTipLine(m_.Alerts.Active());  // first, so the length limit never cuts it
  if (!alert.empty()) tip += "\r\n" + alert;
  if (s.ReadUpTime) {
    char uptime[64];
    std::snprintf(uptime, sizeof uptime, "%d d %.2d:%.2d:%.2d h", c.UpDays, c.UpHours, c.UpMins, c.UpSecsPart);
    tip += "\r\n" + texts->Uptime + " " + uptime;
  }
  tip += "\r\n" + (s.AutoConnect ? texts->UploadActive : texts->UploadInactive);
  return FirstCharacters(tip, 63);  // the tray holds 63 characters
}

void TMainCycle::MainTick() {
  const int passes = m_.Current.PassCount;
  m_.Series.SampleAndAcquire(false);
  if (m_.Current.PassCount != passes) {
    if (unfilledPasses_ > 0 && --unfilledPasses_ == 0) HideUnfilledChannels();
    emit ReadingsChanged();
  }
  RefreshDisplays();
  try {
    ui_.SetTrayTip(TrayTip());
  } catch (const std::exception& e) {
    LogError("tct1 ", e);
  }
  tmrReadTemp.start(m_.Settings.ReadTemp);
}

void TMainCycle::HideUnfilledChannels() {
  // A first start shows what this machine has, not ten empty legends of every kind; the user
  // switches a channel on again in the options. An existing settings file is never changed.
  tSettings& s = m_.Settings;
  const tReadings& r = m_.Current.Readings;
  for (size_t i = 0; i < s.TCfg.size(); ++i)
    if (r.T[i] == NoValue16) s.TCfg[i].Vis = 0;
  for (size_t i = 0; i < s.VCfg.size(); ++i)
    if (r.V[i] == NoValue16) s.VCfg[i].Vis = 0;
  for (size_t i = 0; i < s.FCfg.size(); ++i)
    if (r.F[i] == NoValue16) s.FCfg[i].Vis = 0;
  for (tNetSlot& slot : s.NetSlots)
    if (slot.Mac.empty()) slot.Vis = false;
  for (tDiskSlot& slot : s.DiskSlots)
    if (slot.Drive.empty()) slot.Vis = false;
  LogEvent("First start: channels and slots no source fills are hidden");
  WriteSettings(s, m_.Process.SettingsDir, false);
  RefreshDisplays();
}

void TMainCycle::RefreshDisplays() {
  try {
    emit DisplaysDue();
  } catch (const std::exception& e) {
    LogError("dis1 ", e);
  }
}

void TMainCycle::ApplySettings() {
  const tSettings& s = m_.Settings;
  Rearm(tmrLight, I::LightFirst, s.SaveLight);
  Rearm(tmrBanner, I::BannerFirst, s.SaveBanner);
  // A changed interval restarts it when running; standby leaves it stopped.
  if (tmrReadTemp.interval() != I::ReadTempFirst) tmrReadTemp.setInterval(I::ReadTempFirst);
  Rearm(tmrUpdate, I::UpdateFirst, s.CheckForUpdate);
  if (!(s.SaveLight && s.UploadLight) && !(s.SaveBanner && s.UploadBanner)) {
    LogEvent("No display marked for upload/mailing");
    ui_.ShowStatus(Texts()->NoDisplayMarked);
  }
  ui_.SetTrayIconSlot(s.AutoConnect ? 0 : 1);
  try {
    publishing_.ApplyHttpServer();
  } catch (const std::exception& e) {
    LogError("io1 ", e);
  }
}

void TMainCycle::OptionsChanged() {
  LogEvent("Options change detected");
  const std::string langFile = IniFile(m_.Process.SettingsDir + ClientIniName)
                                   .ReadString(LangFileKey.section, LangFileKey.key, EnglishLanguageFile);
  if (langFile != m_.Settings.LangFile) {
    m_.Settings.LangFile = langFile;
    LoadLanguage(m_.Process, langFile);
    ApplyCaptions(m_.Process, langFile);
  }
  m_.ReadSettings();
  m_.Pass.ReopenSources();
  ApplySettings();
  m_.Pass.ReadAllValues(true);
  emit ReadingsChanged();
  RefreshDisplays();
}

void TMainCycle::ShowInstance() {
  LogEvent("Show instance requested");
  ui_.ShowMainWindow();
}

void TMainCycle::ClockChanged() {
  LogEvent("Time change detected");
  const double d = (m_.Time.UtcNow() - m_.Current.Readings.Time) * SecondsPerDay;
  if (d < -300 || d > 300) {
    m_.Series.SampleAndAcquire(true);
    emit ReadingsChanged();
  }
  tmrReadTemp.setInterval(m_.Settings.ReadTemp);
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
    m_.Series.SampleAndAcquire(true);
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
  const tSettings& s = m_.Settings;
  if (!SpeedFanPresent() && s.AutostartSpeedFan) StartSpeedFan(m_.Process.AppDir);
  if (!HWMonitorPresent() && s.AutostartHWM) StartHWM();
  if (publishing_.UploadExists() && !publishing_.UploadRunning()) publishing_.FreeUpload();
  if (s.AutoConnect && publishing_.ImagesWaiting()) {
    LogEvent("Newly saved images detected");
    if (publishing_.UploadExists()) {
      LogEvent("Upload/mailing thread still running");
    } else {
      LogEvent("Creating upload/mailing thread");
      publishing_.CreateUpload();
    }
  } else if (s.AutoConnect) {
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
  if (m_.Settings.KeepMemoryLow && TrimMemory) TrimMemory();
}

void TMainCycle::LogTick() {
  tmrLog.stop();
  if (m_.Settings.SaveLog) m_.Series.SaveStatistics(false);
  tmrLog.start();
}

void TMainCycle::UpdateTick() {
  tmrUpdate.stop();
  tmrUpdate.setInterval(I::UpdateLater);
  publishing_.UpdateCheck(false);
  // An accepted update switches the automatic checks off; the timer then stays stopped.
  if (m_.Settings.CheckForUpdate) tmrUpdate.start();
}

void TMainCycle::ToggleAutoUpload() {
  tSettings& s = m_.Settings;
  const auto texts = Texts();
  if (s.AutoConnect && ui_.AskYesNo(texts->DisableAutoUpload, texts->DisableAutoUploadCaption)) {
    s.AutoConnect = false;
    ui_.SetTrayIconSlot(1);
    LogEvent("Upload/mailing disabled");
    emit AutoUploadChanged(false);
    return;
  }
  if (!(s.SaveLight && s.UploadLight) && !(s.SaveBanner && s.UploadBanner)) {
    LogEvent("No display marked for upload");
    ui_.ShowStatus(texts->NoDisplayMarked);
  }
  s.AutoConnect = true;
  ui_.SetTrayIconSlot(0);
  emit AutoUploadChanged(true);
}

void TMainCycle::ResetStatistics() {
  if (!m_.Series.ResetStatistics(ui_)) return;
  // Nothing drawn from the old history may still be uploaded; fresh pictures come soon.
  m_.Pictures.ClearAll();
  StatisticsReset();
  RefreshDisplays();
}

void TMainCycle::ToggleClickThrough() {
  bool& on = m_.Settings.ClickThrough;
  on = !on;
  try {
    IniFile ini(m_.Process.SettingsDir + DisplayIniName);
    ini.WriteBool("Misc", "ClickThrough", on);
    ini.UpdateFile();
  } catch (const std::exception&) {
    // The setting holds for this run; the options program writes it again.
  }
  emit ClickThroughChanged(on);
}

void TMainCycle::MainWindowMoved(int left, int top) {
  m_.Settings.Left = left;
  m_.Settings.Top = top;
}

void TMainCycle::MainWindowHidden() {
  if (m_.Settings.KeepMemoryLow && TrimMemory) TrimMemory();
}

void TMainCycle::OpenOptions(int page) { programs_.StartOptionsProgram(page, m_.Settings); }

void TMainCycle::OpenSystemInfo() { programs_.StartSysInfoProgram(); }

void TMainCycle::CheckForUpdateNow() { publishing_.UpdateCheck(true); }

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
    if (m_.Settings.HideOnClose && !fromExitMenu) {
      ui_.HideMainWindow();
      return false;
    }
    LogEvent("Attempt to close Kelvara detected");
    // Without a window nobody could answer, so a headless exit is never held up.
    if (m_.Settings.ShowWarning && !m_.Process.HeadlessMode && !ui_.AskYesNo(Texts()->ExitWarning, Texts()->Exit)) {
      LogEvent("Kelvara may not close");
      return false;
    }
  }
  ShutDown();
  return true;
}

void TMainCycle::ShutDown() {
  shutDown_ = true;
  WriteSettings(m_.Settings, m_.Process.SettingsDir, false);
  m_.Series.SaveStatistics(true);
  for (QTimer* t : {&tmrLog, &tmrReadTemp, &tmrAutoConnect, &tmrLight, &tmrBanner}) t->stop();
  SaveWindowState(m_.Settings, m_.Process.SettingsDir);
  programs_.EndProductPrograms();
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
  CloseExternalValueArea(m_.Pass.Memory());
  m_.Pass.CloseSources();
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
