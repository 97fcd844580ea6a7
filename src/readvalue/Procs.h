#pragma once
// Finding outside programs by their running processes, in a system root ("/", or a fake /proc
// tree in tests).
#include <functional>
#include <string>

namespace kv {

// True when the executable's path ends in "/" + exeName, letters compared case-insensitively.
bool IsProgram(const std::string& exePath, const std::string& exeName);

// The folder (ending in "/") of the first running process whose executable is exeName; empty
// when none runs or none can be read.
std::string FolderOfRunningProgram(const std::string& root, const std::string& exeName);

// Calls visit(pid) for each running exeName in pid order until it answers true.
void ForEachRunningInstance(const std::string& root, const std::string& exeName,
                            const std::function<bool(int pid)>& visit);

}  // namespace kv
