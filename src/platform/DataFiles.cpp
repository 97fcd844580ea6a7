#include "platform/DataFiles.h"

#include <filesystem>

#include "platform/Files.h"

#ifndef KV_SHARE_FROM_BIN
#define KV_SHARE_FROM_BIN "../share/kelvara/"
#endif

namespace kv {

namespace {

// The files a user may put in the settings folder to override (or add to) the shipped ones.
const char* const EditableFiles[] = {"www/", "Kelvara.pem", "aquaero.xml"};

bool Editable(const std::string& name) {
  for (const char* e : EditableFiles)
    if (name == e) return true;
  return false;
}

bool Exists(const std::string& path) {
  return !path.empty() && path.back() == '/' ? FolderExists(path) : FileExists(path);
}

}  // namespace

std::string DataFile(const std::string& name, const tProcessFacts& process) {
  const std::string& settingsDir = process.SettingsDir;
  const std::string& programFolder = process.AppDir;
  if (Editable(name) && !settingsDir.empty() && Exists(settingsDir + name)) return settingsDir + name;
  if (Exists(programFolder + name)) return programFolder + name;
  // Relative to the program, so a DESTDIR or relocated install finds its own data.
  const std::string shared =
      std::filesystem::path(programFolder + KV_SHARE_FROM_BIN).lexically_normal().string() + name;
  if (Exists(shared)) return shared;
  return programFolder + name;
}

std::string DataFolder(const std::string& name, const tProcessFacts& process) {
  const std::string path = DataFile(name, process);
  return path.substr(0, path.size() - name.size());
}

}  // namespace kv
