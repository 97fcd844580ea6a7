#include "readvalue/Boinc.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>

#include "core/EventLog.h"
#include "core/Text.h"
#include "platform/Files.h"
#include "platform/OutsideFile.h"
#include "platform/RunningPrograms.h"
#include "readvalue/PassContext.h"
#include "readvalue/Procs.h"
#include "readvalue/SourceFields.h"
#include "readvalue/XmlLines.h"
#include "settings/Settings.h"

namespace kv {

const char* const BOINCStateFile = "client_state.xml";

namespace {

constexpr size_t MaxText = 256;  // per text taken from the file; the light shows nine characters
constexpr double MaxCPUSeconds = 1e12;  // some 30000 years; anything beyond is garbage

std::string Text(std::string_view content) { return OutsideText(content.substr(0, MaxText)); }

// "http://einstein.phys.uwm.edu/" → "einstein.phys.uwm.edu". https is dropped too: today's
// projects use it, and leaving it would cut the text to "https:".
std::string HostOfUrl(std::string_view url) {
  std::string s(url.substr(0, MaxText));
  for (const std::string_view scheme : {"http://", "https://"})
    for (size_t at; (at = s.find(scheme)) != std::string::npos;) s.erase(at, scheme.size());
  return OutsideText(s.substr(0, s.find('/')));
}

void AppendCapped(std::string& to, std::string_view text) {
  if (to.size() < MaxText) to.append(text.substr(0, MaxText - to.size()));
}

// The first rule whose element is on the line and whose content it accepts applies.
void TaskLine(std::string_view line, tBOINCActiveTask& task) {
  if (const std::string_view url = ElementText(line, "project_master_url"); !url.empty()) {
    task.Project = HostOfUrl(url) + task.Project;
    if (task.Project.size() > MaxText) task.Project.resize(MaxText);
    return;
  }
  if (const std::string_view name = ElementText(line, "result_name"); !name.empty()) {
    task.ResultName = Text(name);
    return;
  }
  if (const std::string_view version = ElementText(line, "app_version_num"); !version.empty()) {
    AppendCapped(task.Project, "  v" + Text(version));
    return;
  }
  if (const std::optional<double> done = DecimalNumber(ElementText(line, "fraction_done"))) {
    task.FractionDone = std::clamp(*done, 0.0, 1.0);  // the light prints it as a percentage
    return;
  }
  if (const std::optional<double> secs = DecimalNumber(ElementText(line, "current_cpu_time"))) {
    AppendCapped(task.CPUTime, FormatCPUTime(*secs));
  }
}

void ProjectLine(std::string_view line, tBOINCProject& project) {
  struct tCredit {
    const char* element;
    double tBOINCProject::*figure;
  };
  static constexpr tCredit Credits[] = {
      {"user_total_credit", &tBOINCProject::UserTotalCredit},
      {"user_expavg_credit", &tBOINCProject::UserExpAvgCredit},
      {"host_total_credit", &tBOINCProject::HostTotalCredit},
      {"host_expavg_credit", &tBOINCProject::HostExpAvgCredit},
  };
  for (const tCredit& credit : Credits) {
    if (const std::optional<double> v = DecimalNumber(ElementText(line, credit.element))) {
      project.*credit.figure = *v;
      return;
    }
  }
  if (const std::string_view name = ElementText(line, "project_name"); !name.empty()) project.ProjectName = Text(name);
}

bool Contains(std::string_view line, std::string_view what) { return line.find(what) != std::string_view::npos; }

}  // namespace

std::string FormatCPUTime(double seconds) {
  if (!(seconds >= 0 && seconds < MaxCPUSeconds)) return {};
  char text[48];
  if (seconds >= 86400) {
    // Whole seconds in integers: 90000 s is exactly 1 d 1 h, which a fraction of a day misses.
    const auto whole = static_cast<int64_t>(seconds);
    std::snprintf(text, sizeof text, "%lld d %d h", static_cast<long long>(whole / 86400),
                  static_cast<int>(whole % 86400 / 3600));
  } else {
    // Hours and minutes of the time rounded to the millisecond, minutes truncated.
    const int64_t ms = std::min<int64_t>(std::llround(seconds * 1000), 86400 * 1000 - 1);
    std::snprintf(text, sizeof text, "%d:%02d h", static_cast<int>(ms / 3600000), static_cast<int>(ms / 60000 % 60));
  }
  return text;
}

void ReadBOINCState(std::string_view text, tReadingsState& current) {
  std::vector<tBOINCActiveTask>& tasks = current.BOINCTasks;
  std::vector<tBOINCProject>& projects = current.BOINCProjects;
  tasks.clear();
  projects.clear();
  tBOINCActiveTask scratchTask;
  tBOINCProject scratchProject;
  while (!text.empty()) {
    std::string_view line = NextTextLine(text);
    if (Contains(line, "<active_task>")) {
      // Past the cap the element is still walked through, into a scratch entry.
      const bool keep = tasks.size() < MaxBOINCTasks;
      tBOINCActiveTask& task = keep ? tasks.emplace_back() : (scratchTask = {});
      while (!text.empty()) {
        line = NextTextLine(text);
        if (Contains(line, "</active_task>")) break;
        TaskLine(line, task);
      }
    }
    // The line that closed a task may open a project.
    if (Contains(line, "<project>")) {
      const bool keep = projects.size() < MaxBOINCProjects;
      tBOINCProject& project = keep ? projects.emplace_back() : (scratchProject = {});
      while (!text.empty()) {
        line = NextTextLine(text);
        if (Contains(line, "</project>")) break;
        ProjectLine(line, project);
      }
    }
  }
}

void ReadBOINC(tPassContext& ctx) {
  ctx.Current.BOINCTasks.clear();
  ctx.Current.BOINCProjects.clear();
  const std::string& folder = ctx.Settings.BOINCPath;
  if (folder.empty()) return;
  const std::string path = folder + BOINCStateFile;
  std::string content, why;
  bool truncated = false;
  const tOutsideFile result = ReadOutsideFileHead(path, MaxBOINCStateFile, content, truncated, why);
  if (result == tOutsideFile::Missing) return;
  LogEvent("Found BOINC in " + folder);
  if (result != tOutsideFile::Read) throw std::runtime_error(path + " " + why);
  ReadBOINCState(content, ctx.Current);
  if (truncated)
    throw std::runtime_error(path + " is larger than " + std::to_string(MaxBOINCStateFile) +
                             " bytes; only its beginning was read");
}

void FindBOINCFolder(std::string& folder, const std::string& systemRoot) {
  if (!folder.empty()) return;
  // The client runs in its data folder.
  ForEachRunningInstance(systemRoot, "boinc", [&](int pid) {
    const std::optional<std::string> cwd = ProcessWorkingFolder(systemRoot, pid);
    if (cwd && !cwd->empty() && cwd->front() == '/') folder = InRoot(systemRoot, *cwd);
    return !folder.empty();
  });
  for (const char* debian : {"/var/lib/boinc-client/", "/var/lib/boinc/"}) {
    if (!folder.empty()) break;
    if (FileExists(InRoot(systemRoot, std::string(debian) + BOINCStateFile))) folder = InRoot(systemRoot, debian);
  }
  if (!folder.empty()) folder = IncludeTrailingSlash(folder);
}

void ReadBOINCStep(tPassContext& ctx) {
  FindBOINCFolder(ctx.Settings.BOINCPath, ctx.SystemRoot);
  ReadBOINC(ctx);
}

}  // namespace kv
