#pragma once
// The running processes' executables and working folders, from /proc. Only the links' own text
// is read (readlink): nothing behind a link is opened, so a link planted in a fake or hostile
// tree can name any place without being followed.
#include <functional>
#include <optional>
#include <string>

namespace kv {

// Calls visit(pid, executable path) for every process whose executable can be read, in
// ascending pid order, until visit answers true. Processes of other users (whose links the
// kernel refuses) and processes that end meanwhile are skipped. A deleted or replaced
// executable's path is given without the kernel's " (deleted)" mark.
void ForEachRunningProgram(const std::string& procRoot,
                           const std::function<bool(int pid, const std::string& exe)>& visit);

// The working folder of a process (the text of /proc/<pid>/cwd); nullopt when unreadable.
std::optional<std::string> ProcessWorkingFolder(const std::string& procRoot, int pid);

}  // namespace kv
