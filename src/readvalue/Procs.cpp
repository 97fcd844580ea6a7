#include "readvalue/Procs.h"

#include "core/Text.h"
#include "platform/RunningPrograms.h"
#include "readvalue/PassContext.h"

namespace kv {

// Only the file name is compared: "/boinc" inside a path would also find a folder named so, or
// the BOINC manager next to the client.
bool IsProgram(const std::string& exePath, const std::string& exeName) {
  const std::string needle = std::string("/").append(LowerCase(exeName));
  return exePath.size() >= needle.size() && LowerCase(exePath).ends_with(needle);
}

void ForEachRunningInstance(const std::string& root, const std::string& exeName,
                            const std::function<bool(int pid)>& visit) {
  ForEachRunningProgram(root, [&](int pid, const std::string& exe) {
    return IsProgram(exe, exeName) && visit(pid);
  });
}

std::string FolderOfRunningProgram(const std::string& root, const std::string& exeName) {
  std::string folder;
  ForEachRunningProgram(root, [&](int, const std::string& exe) {
    if (!IsProgram(exe, exeName)) return false;
    folder = InRoot(root, exe.substr(0, exe.rfind('/') + 1));
    return true;
  });
  return folder;
}

}  // namespace kv
