#pragma once
#include <ctime>
#include <string>

#include <QByteArray>
#include <QtGlobal>

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

// Sets the process's time zone (TZ) for its lifetime and puts the old one back.
class Zone {
 public:
  explicit Zone(const char* tz) : old_(qgetenv("TZ")), had_(qEnvironmentVariableIsSet("TZ")) {
    qputenv("TZ", tz);
    tzset();
  }
  ~Zone() {
    if (had_) qputenv("TZ", old_); else qunsetenv("TZ");
    tzset();
  }
  Zone(const Zone&) = delete;
  Zone& operator=(const Zone&) = delete;
 private:
  QByteArray old_;
  bool had_;
};

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& content);

}  // namespace kvtest
