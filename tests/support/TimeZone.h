#pragma once
// A time-zone guard for tests that move across daylight-saving changes.
#include <ctime>

#include <QByteArray>
#include <QtGlobal>

namespace kvtest {

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

}  // namespace kvtest
