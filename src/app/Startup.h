#pragma once
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

class QCoreApplication;
class QObject;

namespace kv {

// Moves the data files of an older installation out of appDir, each move on its own, when the
// settings folder has no statistics yet. Returns how many were moved.
int MoveOldDataFiles(const std::string& appDir, const std::string& settingsDir);

// The language file for an ISO 639-1 language code ("English.lng" for any other).
std::string DefaultLanguageFile(const std::string& languageCode);

class UiPort;

// Makes sure "Misc"/LangFile names an existing file, telling the user through ui when it falls
// back; false when not even English exists and the program must end.
bool CheckLanguageFile(const std::string& appDir, const std::string& settingsDir, const std::string& languageCode,
                       UiPort& ui);

// Writes "Misc"/CheckForUpdate = 1 into KVClient.ini; false when the file could not be written.
bool StoreCheckForUpdate(const std::string& settingsDir);

class TMainCycle;

// What a front end with windows brings; empty functions mean the program can only run headless.
struct tFrontEnd {
  // The application object when a display is available.
  std::function<std::unique_ptr<QCoreApplication>(int& argc, char** argv)> makeApplication;
  // The user-facing port that goes with it.
  std::function<std::unique_ptr<UiPort>()> makeUi;
  // Creates the windows once the cycle exists, before its initialisation; they live as long
  // as the returned object.
  std::function<std::unique_ptr<QObject>(TMainCycle& cycle)> attach;
};

// The steps of -suspend, replaceable for tests.
struct tSuspendSteps {
  std::function<bool()> suspend;       // asks for standby; false when refused
  std::function<void()> waitForWake;   // returns once the machine has slept and woken, or gave up
  std::function<uint32_t()> idleSeconds;
  std::function<void()> pause;         // the second between two idle checks
};
// The real ones, through logind; needs the application object.
tSuspendSteps SystemSuspendSteps();
// Standby, then wait until the user is back at the machine.
void RunSuspend(const tSuspendSteps& steps);

// The whole start-up; returns the process exit code.
int RunKelvara(int argc, char** argv, const tFrontEnd& frontEnd = {});

}  // namespace kv
