#pragma once
// The BOINC client's progress: its tasks and its projects' credits, read from the client's state
// file every tenth pass. The light's template lines show them.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

struct tBOINCActiveTask {
  std::string Project;  // the master URL's host name, then "  v" and the application version
  std::string ResultName;
  std::string CPUTime;      // already formatted: "1 d 1 h", "1:02 h"
  double FractionDone = 0;  // 0 .. 1
};

struct tBOINCProject {
  double UserTotalCredit = 0, UserExpAvgCredit = 0, HostTotalCredit = 0, HostExpAvgCredit = 0;
  std::string ProjectName;
};

// Both reflect the last read only; each read empties them first.
extern std::vector<tBOINCActiveTask> BOINCTasks;
extern std::vector<tBOINCProject> BOINCProjects;

extern const char* const BOINCStateFile;  // "client_state.xml"
// The first 8 MiB of a larger state file are read (a busy client's file stays far below).
constexpr size_t MaxBOINCStateFile = 8 * 1024 * 1024;
// Entries beyond these are skipped: the light shows a few dozen lines at most.
constexpr size_t MaxBOINCTasks = 1000;
constexpr size_t MaxBOINCProjects = 1000;

// Fills both lists from BOINCPath + BOINCStateFile; a missing folder or file leaves them empty.
// Throws (for the pass's "rv23 ") when the file is refused (a link, a FIFO) or cannot be read,
// and when it was cut at the bound; the lists keep what was read.
void ReadBOINC();
// The line rules on a whole state file's text: both lists emptied, then filled.
void ReadBOINCState(std::string_view text);

// Does nothing unless folder is empty: then the working folder of a running "boinc", else the
// first Debian data folder holding the state file. A non-empty result ends in "/".
void FindBOINCFolder(std::string& folder);

// "1 d 1 h" from a day on, else "1:02 h"; empty for a negative or absurd figure.
std::string FormatCPUTime(double seconds);

// The pass step: the folder when BOINCPath is empty, then the read.
void ReadBOINCStep();

}  // namespace kv
