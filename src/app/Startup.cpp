#include "app/Startup.h"

#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QGuiApplication>
#include <cstdio>
#include <memory>
#include <thread>

#include "app/CommandLine.h"
#include "app/MainCycle.h"
#include "app/WidgetUi.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "core/Text.h"
#include "core/UiPort.h"
#include "displays/ImageSaving.h"
#include "platform/Files.h"
#include "platform/Instance.h"
#include "platform/System.h"
#include "platform/Watchers.h"
#include "settings/IniFile.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "settings/SettingsFolder.h"
#include "system/Power.h"

namespace kv {

namespace {

constexpr const char* ClientIni = "KVClient.ini";

// Data files of older installations that kept everything beside the program.
constexpr const char* OldDataFiles[] = {
    "KVServer.ini",   "KVClient.ini",   "KVDisplay.ini", "Kelvara8h.log6", "Kelvara7d.log6",
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

void RunSuspend() {
  SuspendSystem(false, false);
  // Wait until the user is back at the machine; an unmeasurable idle time ends the wait.
  for (;;) {
    const uint32_t idle = IdleSeconds();
    if (idle == IdleUnknown || idle < 3) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1000));
  }
}

// The pictures' part of the main cycle.
tCycleServices PictureServices() {
  tCycleServices services;
  services.saveLight = TimedLightSave;
  services.saveBanner = TimedBannerSave;
  services.imagesWaiting = ImagesWaiting;
  return services;
}

}  // namespace

tSettingsDirChoice LocateSettingsDir(const std::string& appDir, const std::string& userDataFolder) {
  const std::string dir = SettingsFolderFor(appDir, userDataFolder);
  if (dir == appDir) return {appDir, {}};
  if (dir.empty()) return {appDir, "no data folder for this user"};
  // Nobody else creates it, and without it every later write would be lost.
  if (!CreateFolder(dir, 0700)) return {appDir, "cannot create " + dir};
  if (::access(dir.c_str(), W_OK | X_OK) != 0) return {appDir, "cannot write to " + dir};
  return {dir, {}};
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
  return "English.lng";
}

bool CheckLanguageFile(const std::string& appDir, const std::string& settingsDir,
                       const std::string& languageCode) {
  IniFile ini(settingsDir + ClientIni);
  bool keepRunning = true;
  try {
    std::string langFile = ini.ReadString("Misc", "LangFile", DefaultLanguageFile(languageCode));
    ini.WriteString("Misc", "LangFile", langFile);
    if (!FileExists(appDir + langFile)) {
      Ui().ShowMessage("Language file " + langFile + " not found! Resetting to default (English)...",
                       "Error", true);
      langFile = "English.lng";
      ini.WriteString("Misc", "LangFile", langFile);
      if (!FileExists(appDir + langFile)) {
        Ui().ShowMessage(
            "English language file not found either! Please check your installation! Exiting...",
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
  ini.WriteInteger("Misc", "CheckForUpdate", 1);
  return ini.UpdateFile();
}

int RunKelvara(int argc, char** argv) {
  std::vector<std::string> args(argv + 1, argv + argc);
  const tCommandLine cl = ParseCommandLine(args);
  HeadlessMode = cl.headless || !DisplayAvailable();
  DebugSwitch = cl.debug;
  ZeroValueSwitch = cl.zeroValue;
  ExpertMode = cl.expert;
  SetDebugMode(cl.debug);

  std::unique_ptr<QCoreApplication> app;
  if (HeadlessMode) {
    // The pictures need fonts, which need a GUI application; it never looks for a display.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    app = std::make_unique<QGuiApplication>(argc, argv);
  } else {
    app = std::make_unique<QApplication>(argc, argv);
  }
  QCoreApplication::setApplicationName(QString::fromLatin1(ProductName));
  std::unique_ptr<WidgetUi> widgetUi;
  if (!HeadlessMode) {
    widgetUi = std::make_unique<WidgetUi>();
    SetUi(widgetUi.get());
  }

  switch (cl.oneShot) {
    case tOneShot::Close:
      // No instance: nothing to close. A running one that cannot be reached is a failure.
      if (!SendInstanceMessages(InstanceSocketPath(), {WM_QUERYENDSESSION, WM_CLOSE}) &&
          InstanceRunning(InstanceLockPath())) {
        std::fprintf(stderr, "kelvara: the running instance could not be told to close\n");
        return 1;
      }
      return 0;
    case tOneShot::Suspend:
      RunSuspend();
      return 0;
    case tOneShot::PowerOff:
      ShutdownSystem();
      return 0;
    case tOneShot::None:
      break;
  }

  if (cl.waitSeconds > 0) std::this_thread::sleep_for(std::chrono::seconds(cl.waitSeconds));

  AppDir = ProgramFolder();
  const tSettingsDirChoice choice = LocateSettingsDir(AppDir, UserDataFolder());
  SettingsDir = choice.dir;
  if (choice.error.empty()) MoveOldDataFiles(AppDir, SettingsDir);
  SetCurrentFolder(SettingsDir);

  if (cl.checkForUpdate) {
    if (StoreCheckForUpdate(SettingsDir)) return 0;
    // Could not be stored: start-up goes on.
  }
  if (cl.exit) return 0;

  DeleteFile(SettingsDir + EventLogName);
  SetEventLogPath(SettingsDir + EventLogName);
  // Logged only now: anything written before the log was emptied would be gone.
  if (!choice.error.empty()) LogEvent("gsd " + choice.error);

  if (!CheckLanguageFile(AppDir, SettingsDir, UserLanguage())) return 0;

  SetPowerAllowedSource([] {
    const tPowerCapabilities caps = PowerCapabilities();
    return tPowerAllowed{caps.hibernate, caps.suspend};
  });
  try {
    ReadSettings();
    LoadLanguage("English.lng");
    LoadLanguage(Settings.LangFile);
  } catch (const std::exception& e) {
    LogError("kv2 ", e);
  }

  InstanceLock lock;
  if (!lock.Acquire(InstanceLockPath())) {
    SendInstanceMessages(InstanceSocketPath(), {WM_SHOW_INSTANCE});
    return 0;
  }

  TMainCycle cycle(PictureServices());
  QObject::connect(&cycle, &TMainCycle::Finished, app.get(), &QCoreApplication::quit,
                   Qt::QueuedConnection);
  InstanceServer server([&cycle](int message) { cycle.HandleMessage(message); });
  if (!server.Listen(InstanceSocketPath())) LogEvent("Cannot listen on " + InstanceSocketPath());
  TerminationWatcher termination;
  QObject::connect(&termination, &TerminationWatcher::Terminated, &cycle, &TMainCycle::SessionEnd);
  ClockChangeWatcher clockWatch;
  QObject::connect(&clockWatch, &ClockChangeWatcher::ClockChanged, &cycle, &TMainCycle::ClockChanged);
  PowerEvents power;
  QObject::connect(&power, &PowerEvents::Sleeping, &cycle, &TMainCycle::PowerBroadcast);
  if (!cycle.Initialise()) return 0;
  return QCoreApplication::exec();
}

}  // namespace kv
