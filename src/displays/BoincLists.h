#pragma once
// The BOINC client's tasks and projects as the light's template lines show them. The BOINC
// reader of the acquisition fills them at every read; until that reader exists they stay empty.
#include <string>
#include <vector>

namespace kv {

struct tBOINCActiveTask {
  std::string Project;
  std::string ResultName;
  std::string CPUTime;  // already formatted
  double FractionDone = 0;  // 0 .. 1
};

struct tBOINCProject {
  double UserTotalCredit = 0, UserExpAvgCredit = 0, HostTotalCredit = 0, HostExpAvgCredit = 0;
  std::string ProjectName;
};

extern std::vector<tBOINCActiveTask> BOINCTasks;
extern std::vector<tBOINCProject> BOINCProjects;

}  // namespace kv
