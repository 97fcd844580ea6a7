#pragma once
// Facts about the process, the user and the operating system.
#include <string>

namespace kv {

// Folder of the running executable, ending in "/".
std::string ProgramFolder();
// $XDG_DATA_HOME, or ~/.local/share; ending in "/". Empty when neither can be found.
std::string UserDataFolder();
// Login name of the user running the process; throws std::runtime_error when unknown.
std::string UserName();
// The machine's host name; empty when the system does not tell it.
std::string HostName();
struct tOsVersion {
  std::string name;  // "Linux"
  int major = 0, minor = 0, build = 0;
  std::string release;  // the kernel's full release text
};
tOsVersion OsVersion();
// Marks the process non-dumpable with no core size; false when the kernel refused.
bool ForbidCoreDumps();

int WordSize();  // 64 or 32: the kernel's machine type
int WordSizeOf(const std::string& machine);  // "x86_64" -> 64, "i686" -> 32
// Whether a display server can be reached (X11 or Wayland).
bool DisplayAvailable();
// The primary language of the user's locale, as the ISO 639-1 code ("de", "en", ...).
std::string UserLanguage();

}  // namespace kv
