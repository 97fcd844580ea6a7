#pragma once
// The BOINC client's progress: its tasks and its projects' credits, read from the client's state
// file every tenth pass. The light's template lines show them.
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "readvalue/Readings.h"

namespace kv {

struct tPassContext;

extern const char* const BOINCStateFile;  // "client_state.xml"
// The first 8 MiB of a larger state file are read (a busy client's file stays far below).
constexpr size_t MaxBOINCStateFile = 8 * 1024 * 1024;
// Entries beyond these are skipped: the light shows a few dozen lines at most.
constexpr size_t MaxBOINCTasks = 1000;
constexpr size_t MaxBOINCProjects = 1000;

// Fills BOINCTasks and BOINCProjects from BOINCPath + BOINCStateFile (each read empties them
// first); a missing folder or file leaves them empty. Throws (for the pass's "rv23 ") when the
// file is refused (a link, a FIFO) or cannot be read, and when it was cut at the bound; the lists
// keep what was read.
void ReadBOINC(tPassContext& ctx);
// The line rules on a whole state file's text: both lists emptied, then filled.
void ReadBOINCState(std::string_view text, tReadingsState& current);

// Does nothing unless folder is empty: then the working folder of a running "boinc", else the
// first Debian data folder holding the state file, both in the system root. A non-empty result
// ends in "/".
void FindBOINCFolder(std::string& folder, const std::string& systemRoot);

// "1 d 1 h" from a day on, else "1:02 h"; empty for a negative or absurd figure.
std::string FormatCPUTime(double seconds);

// The pass step: the folder when BOINCPath is empty, then the read.
void ReadBOINCStep(tPassContext& ctx);

}  // namespace kv
