#include "settings/SettingsFolder.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/Text.h"
#include "platform/Files.h"

namespace kv {

namespace {

// lstat on "dir/" would follow a link named dir; the check must see the link itself.
std::string WithoutTrailingSlash(std::string dir) {
  while (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return dir;
}

std::string OctalMode(mode_t mode) {
  char buf[8];
  std::snprintf(buf, sizeof buf, "%04o", static_cast<unsigned>(mode & 07777));
  return buf;
}

}  // namespace

std::string SettingsFolderFor(const std::string& appDir, const std::string& userDataFolder) {
  if (FileExists(appDir + "oldsettingsdir")) return appDir;
  if (userDataFolder.empty()) return {};
  return IncludeTrailingSlash(userDataFolder) + "kelvara/";
}

std::string SettingsFolderProblem(const std::string& dir) {
  const std::string path = WithoutTrailingSlash(dir);
  const std::string name = "settings folder " + dir;
  struct stat st {};
  if (path.empty() || ::lstat(path.c_str(), &st) != 0)
    return "cannot examine the " + name + ": " + std::strerror(path.empty() ? ENOENT : errno);
  if (S_ISLNK(st.st_mode)) return "the " + name + " is a symbolic link; refusing to follow it";
  if (!S_ISDIR(st.st_mode)) return "the " + name + " is not a directory";
  if (st.st_uid != ::geteuid())
    return "the " + name + " is owned by user " + std::to_string(st.st_uid) +
           ", not by this user (" + std::to_string(::geteuid()) + ")";
  if ((st.st_mode & (S_IWGRP | S_IWOTH)) != 0)
    return "the " + name + " is writable by group or others (mode " + OctalMode(st.st_mode) +
           "); run: chmod go-w " + path;
  // The mode bits first: root passes every access check. Then the kernel's word, which also
  // knows read-only mounts.
  if ((st.st_mode & (S_IWUSR | S_IXUSR)) != (S_IWUSR | S_IXUSR) ||
      ::faccessat(AT_FDCWD, path.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    return "the " + name + " is not writable by this user";
  return {};
}

tSettingsFolderChoice ChooseSettingsDir(const std::string& appDir,
                                        const std::string& userDataFolder, bool create) {
  const std::string dir = SettingsFolderFor(appDir, userDataFolder);
  if (dir.empty()) return {dir, "no data folder for this user (neither XDG_DATA_HOME nor HOME)"};
  if (create) {
    // Nobody else creates it, and without it every later write would be lost.
    if (!CreateFolder(dir, 0700)) return {dir, "cannot create the settings folder " + dir};
  } else {
    struct stat st {};
    if (::lstat(WithoutTrailingSlash(dir).c_str(), &st) != 0 && errno == ENOENT) return {dir, {}};
  }
  return {dir, SettingsFolderProblem(dir)};
}

}  // namespace kv
