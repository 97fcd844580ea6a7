#pragma once
#include <string>
#include <vector>

namespace kvtest {

// A fresh folder under the system's temporary folder, removed with everything in it.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::string& Path() const { return path_; }  // ends in "/"
  std::string File(const std::string& name) const { return path_ + name; }
 private:
  std::string path_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

// The file names of the language files the program ships (data/*.lng), sorted.
std::vector<std::string> ShippedLanguages();

// A loopback TCP port nobody listens on at the moment.
int FreePort();

}  // namespace kvtest
