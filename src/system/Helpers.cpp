#include "system/Helpers.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/Files.h"
#include "platform/SharedMemory.h"
#include "settings/Settings.h"
#include "readvalue/SpeedFan.h"

namespace kv {

namespace {
bool BlockExists(const std::string& name) {
  return SharedMemoryExists(name);  // never blocks on a planted FIFO
}
}  // namespace

bool SpeedFanPresent() { return BlockExists("SFSharedMemory_ALM"); }
bool HWMonitorPresent() { return BlockExists("$CPUID$HWM$"); }

// Neither program exists for Linux: the attempt is logged and fails.
bool StartSpeedFan() {
  LogEvent("Attempting to start SpeedFan");
  LogEvent("SpeedFan path: " + SpeedFanFolder());
  return false;
}

bool StartHWM() {
  LogEvent("Attempting to start CPUID Hardware Monitor");
  return false;
}

std::vector<std::string> OptionsProgramArguments(int page, bool debug, bool expert) {
  return {std::to_string(page), debug ? "D" : "-", expert ? "E" : "-"};
}

namespace {

bool StartProductProgram(const char* name, const std::vector<std::string>& args) {
  const std::string program = AppDir + name;
  if (!FileExists(program)) {
    LogEvent("Program not found: " + program);
    return false;
  }
  QStringList qargs;
  for (const std::string& a : args) qargs << QString::fromStdString(a);
  return QProcess::startDetached(QString::fromStdString(program), qargs,
                                 QString::fromStdString(AppDir));
}

}  // namespace

bool StartOptionsProgram(int page) {
  SaveWindowState();
  LogEvent("Starting options dialog");
  return StartProductProgram("kvoptions", OptionsProgramArguments(page, DebugMode(), ExpertMode));
}

bool StartSysInfoProgram() {
  LogEvent("Starting sysinfo dialog");
  return StartProductProgram("kvsysinfo", {"1"});
}

}  // namespace kv
