#include "settings/SettingsFolder.h"

#include "core/Text.h"
#include "platform/Files.h"

namespace kv {

std::string SettingsFolderFor(const std::string& appDir, const std::string& userDataFolder) {
  if (FileExists(appDir + "oldsettingsdir")) return appDir;
  if (userDataFolder.empty()) return {};
  return IncludeTrailingSlash(userDataFolder) + "kelvara/";
}

}  // namespace kv
