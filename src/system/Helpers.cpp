#include "system/Helpers.h"

#include <fcntl.h>
#include <signal.h>
#include <climits>
#include <cstdlib>
#include <sys/mman.h>
#include <unistd.h>

#include <QProcess>
#include <QString>
#include <QStringList>
#include <string>

#include "core/EventLog.h"
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
bool StartSpeedFan(const std::string& appDir) {
  LogEvent("Attempting to start SpeedFan");
  LogEvent("SpeedFan path: " + SpeedFanFolder(appDir));
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

// Whether pid still runs program: the id may have been given to another process meanwhile.
bool RunsProgram(long long pid, const std::string& program) {
  char link[4096];
  const std::string path = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t n = ::readlink(path.c_str(), link, sizeof link - 1);
  if (n <= 0) return false;
  std::string exe(link, static_cast<size_t>(n));
  const std::string deleted = " (deleted)";
  if (exe.size() > deleted.size() && exe.compare(exe.size() - deleted.size(), deleted.size(), deleted) == 0)
    exe.resize(exe.size() - deleted.size());
  char real[4096];
  const std::string wanted = ::realpath(program.c_str(), real) ? std::string(real) : program;
  return exe == wanted;
}

}  // namespace

bool tProductPrograms::StartProductProgram(const char* name, const std::vector<std::string>& args) {
  const std::string program = process_.AppDir + name;
  if (!FileExists(program)) {
    LogEvent("Program not found: " + program);
    return false;
  }
  QStringList qargs;
  for (const std::string& a : args) qargs << QString::fromStdString(a);
  qint64 pid = 0;
  if (!QProcess::startDetached(QString::fromStdString(program), qargs, QString::fromStdString(process_.AppDir),
                               &pid))
    return false;
  started_.push_back({pid, program});
  return true;
}

bool tProductPrograms::StartOptionsProgram(int page, const tSettings& settings) {
  SaveWindowState(settings, process_.SettingsDir);
  LogEvent("Starting options dialog");
  return StartProductProgram("kvoptions", OptionsProgramArguments(page, DebugMode(), process_.ExpertMode));
}

void tProductPrograms::EndProductPrograms(int waitMs) {
  std::vector<tStarted> running;
  for (const tStarted& s : started_)
    if (RunsProgram(s.pid, s.program) && ::kill(static_cast<pid_t>(s.pid), SIGTERM) == 0) {
      LogEvent("Closing " + s.program);
      running.push_back(s);
    }
  started_.clear();
  for (int waited = 0; !running.empty() && waited < waitMs; waited += 50) {
    ::usleep(50 * 1000);
    std::erase_if(running, [](const tStarted& s) { return !RunsProgram(s.pid, s.program); });
  }
  for (const tStarted& s : running) ::kill(static_cast<pid_t>(s.pid), SIGKILL);
}

std::vector<long long> tProductPrograms::ProductProgramPids() const {
  std::vector<long long> pids;
  for (const tStarted& s : started_) pids.push_back(s.pid);
  return pids;
}

bool tProductPrograms::StartSysInfoProgram() {
  LogEvent("Starting sysinfo dialog");
  return StartProductProgram("kvsysinfo", {"1"});
}

}  // namespace kv
