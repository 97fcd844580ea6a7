#pragma once
#include <string>

namespace kv {

// The settings folder the programs share: appDir when the marker "oldsettingsdir" lies there,
// else userDataFolder + "kelvara/"; empty when there is no data folder. Creates nothing.
std::string SettingsFolderFor(const std::string& appDir, const std::string& userDataFolder);

}  // namespace kv
