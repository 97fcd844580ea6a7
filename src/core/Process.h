#pragma once
// Process-wide start-up state that every layer reads.
#include <string>

namespace kv {

extern const char* const ProductName;     // "Kelvara"
extern const char* const ProductVersion;  // "Kelvara 3.38-pre5"

extern std::string AppDir;       // folder of the programs and their data files, ends in "/"
extern std::string SettingsDir;  // settings, statistics, event log, templates; ends in "/"
extern bool ExpertMode;          // -expert
extern bool DebugSwitch;         // -debug was given: it wins over the stored setting
extern bool ZeroValueSwitch;     // -zerovalue was given: it wins over the stored setting
extern bool HeadlessMode;        // no windows, no tray

}  // namespace kv
