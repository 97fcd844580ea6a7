#pragma once
// Facts about the running process that start-up settles once: where the programs and the
// settings live, and the switches of the command line.
#include <string>

namespace kv {

extern const char* const ProductName;     // "Kelvara"
extern const char* const ProductVersion;  // "Kelvara 3.38-pre5"

struct tProcessFacts {
  std::string AppDir = "./";       // folder of the programs and their data files, ends in "/"
  std::string SettingsDir = "./";  // settings, statistics, event log, templates; ends in "/"
  bool ExpertMode = false;         // -expert
  bool DebugSwitch = false;        // -debug was given: it wins over the stored setting
  bool ZeroValueSwitch = false;    // -zerovalue was given: it wins over the stored setting
  bool HeadlessMode = false;       // no windows, no tray
};

}  // namespace kv
