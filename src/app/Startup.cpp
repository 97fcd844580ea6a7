#include "app/Startup.h"

#include <malloc.h>
#include <unistd.h>

#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <optional>
#include <thread>

#include "app/CommandLine.h"
#include "app/Connections.h"
#include "platform/DataFiles.h"
#include "publishing/http/Metrics.h"
#include "alerts/Alerts.h"
#include "app/MainCycle.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "app/Monitor.h"
#include "displays/Chart.h"
#include "displays/ImageSaving.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/System.h"
#include "platform/Watchers.h"
#include "publishing/Publishing.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "settings/SettingsFolder.h"
#include "system/Power.h"

namespace kv {

namespace {

constexpr const char* ClientIni = ClientIniName;

// Data files of older installations that kept everything beside the program.
constexpr const char* OldDataFiles[] = {
    ServerIniName,    ClientIniName,    DisplayIniName,  "Kelvara8h.log6", "Kelvara7d.log6",
    "Kelvara1a.log6", "KVLight.txt",    "Stats.txt",     "Stats24.txt",
};

struct tLanguageFile {
  const char* code;
  const char* file;
};
constexpr tLanguageFile LanguageFiles[] = {
    {"cs", "Czech.lng"},      {"de", "Deutsch.lng"},    {"es", "Spanish.lng"},
    {"fi", "Finnish.lng"},    {"fr", "Francais.lng"},   {"it", "Italian.lng"},
    {"ko", "Korean.lng"},     {"nl", "Nederlands.lng"}, {"no", "Norsk.lng"},
    {"nb", "Norsk.lng"},      {"nn", "Norsk.lng"},      {"pl", "Polish.lng"},
    {"pt", "Portugues - Europeu.lng"},                  {"ru", "Russian.lng"},
};

// How long -suspend waits for the machine to begin sleeping, and then to wake (waking time).
constexpr int SleepStartTimeoutMs = 60000, WakeTimeoutMs = 60000;

}  // namespace

tSuspendSteps SystemSuspendSteps() {
  // Listening before asking: the announcement may come while the request is still answered.
  auto events = std::make_shared<PowerEvents>();
  tSuspendSteps steps;
  steps.suspend = [] { return SuspendSystem(false, false); };
  steps.waitForWake = [events] {
    if (events->Connected()) WaitForWake(*events, SleepStartTimeoutMs, WakeTimeoutMs);
  };
  steps.idleSeconds = IdleSeconds;
  steps.pause = [] { std::this_thread::sleep_for(std::chrono::milliseconds(1000)); };
  return steps;
}

void RunSuspend(const tSuspendSteps& steps) {
  // logind answers before the machine sleeps; the idle time only means something after the wake.
  if (steps.suspend()) steps.waitForWake();
  // Wait until the user is back at the machine; an unmeasurable idle time ends the wait.
  for (;;) {
    const uint32_t idle = steps.idleSeconds();
    if (idle == IdleUnknown || idle < 3) break;
    steps.pause();
  }
}

int MoveOldDataFiles(const std::string& appDir, const std::string& settingsDir) {
  if (appDir == settingsDir || FileExists(settingsDir + "Kelvara8h.log6")) return 0;
  int moved = 0;
  for (const char* name : OldDataFiles)
    if (MoveFile(appDir + name, settingsDir + name)) ++moved;  // failures ignored one by one
  return moved;
}

std::string DefaultLanguageFile(const std::string& languageCode) {
  for (const tLanguageFile& lf : LanguageFiles)
    if (languageCode == lf.code) return lf.file;
  return EnglishLanguageFile;
}

bool CheckLanguageFile(const std::string& appDir, const std::string& settingsDir, const std::string& languageCode,
                       UiPort& ui) {
  IniFile ini(settingsDir + ClientIni);
  bool keepRunning = true;
  try {
    const bool firstStart = !ini.ValueExists(LangFileKey.section, LangFileKey.key);
    std::string langFile = ini.ReadString(LangFileKey.section, LangFileKey.key, DefaultLanguageFile(languageCode));
    ini.WriteString(LangFileKey.section, LangFileKey.key, langFile);
    if (!FileExists(appDir + langFile)) {
      // A locale nobody has translated for is no mistake of the user's: the first start simply
      // becomes English. A file the user chose that has gone since is worth telling.
      if (!firstStart)
        ui.ShowMessage("Language file " + langFile + " not found! Resetting to default (English)...", "Error",
                       true);
      langFile = EnglishLanguageFile;
      ini.WriteString(LangFileKey.section, LangFileKey.key, langFile);
      if (!FileExists(appDir + langFile)) {
        ui.ShowMessage("English language file not found either! Please check your installation! Exiting...",
                       "Error", true);
        keepRunning = false;
      }
    }
  } catch (const std::exception& e) {
    LogError("kv1 ", e);
  }
  ini.UpdateFile();
  return keepRunning;
}

bool StoreCheckForUpdate(const std::string& settingsDir) {
  IniFile ini(settingsDir + ClientIni);
  ini.WriteInteger(CheckForUpdateKey.section, CheckForUpdateKey.key, 1);
  return ini.UpdateFile();
}

namespace {

// The settings files with the system's power capabilities, then English and the chosen language.
void LoadSettingsAndTexts(tMonitor& m) {
  m.PowerAllowed = [] {
    const tPowerCapabilities caps = PowerCapabilities();
    return tPowerAllowed{caps.hibernate, caps.suspend};
  };
  try {
    m.ReadSettings();
    LoadLanguage(m.Process, EnglishLanguageFile);
    LoadLanguage(m.Process, m.Settings.LangFile);
  } catch (const std::exception& e) {
    LogError("kv2 ", e);
  }
}

// The readings object and the metrics carry the alerts active after the pass.
tPublishingOptions AlertsPublished(const tMonitor& m) {
  tPublishingOptions options;
  options.extraJson = [&m] { return std::vector<tJsonMember>{{"Alerts", AlertsJson(m.Alerts.Active())}}; };
  options.extraMetrics = [&m] { return AlertMetrics(m.Alerts.Active(), m.Settings); };
  return options;
}

// The switches that do one thing instead of starting the monitor; nullopt for a normal start.
std::optional<int> RunOneShot(tOneShot oneShot) {
  switch (oneShot) {
    case tOneShot::Close:
      // No instance: nothing to close. A running one that cannot be reached is a failure.
      if (!SendInstanceMessages(InstanceSocketPath(), {WM_QUERYENDSESSION, WM_CLOSE}) &&
          InstanceRunning(InstanceLockPath())) {
        std::fprintf(stderr, "kelvara: the running instance could not be told to close\n");
        return 1;
      }
      return 0;
    case tOneShot::Suspend:
      RunSuspend(SystemSuspendSteps());
      return 0;
    case tOneShot::PowerOff:
      ShutdownSystem();
      return 0;
    case tOneShot::None:
      break;
  }
  return std::nullopt;
}

// The program and settings folders; false (told on standard error and to the user) when the
// settings folder is refused.
bool SettleFolders(tProcessFacts& process, UiPort& ui) {
  process.AppDir = ProgramFolder();
  // A folder another user can write to or owns would let them plant links where the settings,
  // statistics and log are written: refuse it rather than fall back and lose the user's data.
  const tSettingsFolderChoice folder = ChooseSettingsDir(process.AppDir, UserDataFolder(), true);
  if (!folder.problem.empty()) {
    std::fprintf(stderr, "kelvara: %s\n", folder.problem.c_str());
    ui.ShowMessage(folder.problem, "Error", true);
    return false;
  }
  process.SettingsDir = folder.dir;
  MoveOldDataFiles(process.AppDir, process.SettingsDir);
  SetCurrentFolder(process.SettingsDir);
  return true;
}

}  // namespace

int RunKelvara(int argc, char** argv, const tFrontEnd& frontEnd) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const tCommandLine cl = ParseCommandLine(args);
  std::fputs(IgnoredArgumentsNote(cl).c_str(), stderr);
  // The settings hold the upload passwords; they must not end up in a core file.
  ForbidCoreDumps();
  // The chart is drawn on a 2000-row bitmap and cut: such blocks go back to the system when freed
  // instead of staying in the heap, and the worker threads share two arenas rather than one each.
  mallopt(M_MMAP_THRESHOLD, 256 * 1024);
  mallopt(M_ARENA_MAX, 2);
  tMonitor m;
  tProcessFacts& process = m.Process;
  process.HeadlessMode = cl.headless || !frontEnd.makeApplication || !DisplayAvailable();
  process.DebugSwitch = cl.debug;
  process.ZeroValueSwitch = cl.zeroValue;
  process.ExpertMode = cl.expert;
  SetDebugMode(cl.debug);

  std::unique_ptr<QCoreApplication> app;
  if (process.HeadlessMode) {
    // The pictures need fonts, which need a GUI application; it never looks for a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = frontEnd.makeApplication(argc, argv);
  }
  QCoreApplication::setApplicationName(QString::fromLatin1(ProductName));
  HeadlessUi headlessUi;
  std::unique_ptr<UiPort> widgetUi;
  if (!process.HeadlessMode && frontEnd.makeUi) widgetUi = frontEnd.makeUi();
  UiPort& ui = widgetUi ? *widgetUi : headlessUi;

  if (const std::optional<int> done = RunOneShot(cl.oneShot)) return *done;

  if (cl.waitSeconds > 0) std::this_thread::sleep_for(std::chrono::seconds(cl.waitSeconds));

  if (!SettleFolders(process, ui)) return 1;

  if (cl.checkForUpdate) {
    if (StoreCheckForUpdate(process.SettingsDir)) return 0;
    // Could not be stored: start-up goes on.
  }
  if (cl.exit) return 0;

  DeleteFile(process.SettingsDir + EventLogName);
  DeleteFile(process.SettingsDir + EventLogName + ".old");
  SetEventLogPath(process.SettingsDir + EventLogName);

  if (!CheckLanguageFile(DataFolder(EnglishLanguageFile, process), process.SettingsDir, UserLanguage(), ui)) return 0;

  LoadSettingsAndTexts(m);

  InstanceLock lock;
  if (!lock.Acquire(InstanceLockPath())) {
    SendInstanceMessages(InstanceSocketPath(), {WM_SHOW_INSTANCE});
    return 0;
  }

  // Only now: a second instance must not take the files of the first one's saves.
  RemoveStaleTempFiles(process.SettingsDir);
  // Asked once: it logs a folder it cannot use.
  const std::string pictures = PictureFolder(m.Settings, process, ui);
  if (pictures != process.SettingsDir) RemoveStaleTempFiles(pictures);

  // The services outlive the cycle, whose shut-down frees the upload thread; what they publish
  // holds the alerts of the pass.
  Publishing publishing({m.Settings, process, m.Current, m.Pass, m.Pictures, ui, m.Time}, AlertsPublished(m));
  TMainCycle cycle(m, ui, &publishing);
  ConnectPictures(cycle, [&publishing](tImageKind kind, const tSavedPicture& picture) {
    publishing.PictureSaved(kind, picture);
  });
  ConnectAlerts(cycle);  // first, so what is published holds this pass's alerts
  QObject::connect(&cycle, &TMainCycle::ReadingsChanged, [&publishing] { publishing.PublishReadings(); });
  ConnectApplication(*app, cycle);
  InstanceServer server([&cycle](int message) { cycle.HandleMessage(message); });
  if (!server.Listen(InstanceSocketPath())) LogEvent("Cannot listen on " + InstanceSocketPath());
  TerminationWatcher termination;
  QObject::connect(&termination, &TerminationWatcher::Terminated, &cycle, &TMainCycle::SessionEnd);
  ClockChangeWatcher clockWatch;
  QObject::connect(&clockWatch, &ClockChangeWatcher::ClockChanged, &cycle, &TMainCycle::ClockChanged);
  PowerEvents power;
  QObject::connect(&power, &PowerEvents::Sleeping, &cycle, &TMainCycle::PowerBroadcast);
  LoadBandIcons(DataFolder("cpu.png", process));
  std::unique_ptr<QObject> windows;
  if (!process.HeadlessMode && frontEnd.attach) windows = frontEnd.attach(cycle);
  if (!cycle.Initialise()) return 0;
  return QCoreApplication::exec();
}

}  // namespace kv
