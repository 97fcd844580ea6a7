#pragma once
#include <string>

namespace kv {

// The settings folder the programs share: appDir when the marker "oldsettingsdir" lies there,
// else userDataFolder + "kelvara/"; empty when there is no data folder. Creates nothing.
std::string SettingsFolderFor(const std::string& appDir, const std::string& userDataFolder);

// Empty when dir is safe to keep settings, statistics and the event log in: a real folder (not
// a link to one), owned by this user, not writable by group or others, and writable by this
// user. Otherwise a message that says what is wrong and names the folder.
std::string SettingsFolderProblem(const std::string& dir);

// The settings folder both programs use, and why it cannot be used ("" when it can).
struct tSettingsFolderChoice {
  std::string dir;      // ends in "/"; empty only when there is no data folder
  std::string problem;
};
// SettingsFolderFor, checked by SettingsFolderProblem. With create, a missing folder is created
// (mode 0700, parents as needed); without, a missing folder is no problem (it holds nothing
// yet, so every setting is its default).
tSettingsFolderChoice ChooseSettingsDir(const std::string& appDir,
                                        const std::string& userDataFolder, bool create);

}  // namespace kv
