#pragma once
// Builds fake /proc and /sys trees in a temporary folder for the system-figure readers.
#include <filesystem>
#include <string>

#include "support/TestSupport.h"

namespace kvtest {

// Writes root + relative, creating the folders on the way.
inline void Put(const std::string& root, const std::string& relative, const std::string& content) {
  const std::filesystem::path path = root + relative;
  std::filesystem::create_directories(path.parent_path());
  WriteFile(path.string(), content);
}

inline void MakeFolder(const std::string& root, const std::string& relative) {
  std::filesystem::create_directories(root + relative);
}

// A relative symlink at root + relative pointing at target, as sysfs and udev make them.
inline void Link(const std::string& root, const std::string& relative, const std::string& target) {
  const std::filesystem::path path = root + relative;
  std::filesystem::create_directories(path.parent_path());
  std::filesystem::create_symlink(target, path);
}

inline void Remove(const std::string& root, const std::string& relative) {
  std::filesystem::remove_all(root + relative);
}

}  // namespace kvtest
