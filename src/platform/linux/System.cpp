#include "platform/System.h"

#include <pwd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <QLocale>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include "core/Text.h"

namespace kv {

namespace {
std::string EnvText(const char* name) {
  const char* v = std::getenv(name);
  return v ? std::string(v) : std::string();
}
}  // namespace

std::string ProgramFolder() {
  char buf[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
  if (n <= 0) return "./";
  std::string path(buf, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/') + 1);
}

std::string UserDataFolder() {
  std::string base = EnvText("XDG_DATA_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = EnvText("HOME");
    if (home.empty()) {
      if (const passwd* pw = ::getpwuid(::getuid())) home = pw->pw_dir ? pw->pw_dir : "";
    }
    if (home.empty()) return {};
    base = IncludeTrailingSlash(home) + ".local/share";
  }
  return IncludeTrailingSlash(base);
}

std::string UserName() {
  if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name) return pw->pw_name;
  const std::string user = EnvText("USER");
  if (!user.empty()) return user;
  throw std::runtime_error("no user name for uid " + std::to_string(::geteuid()));
}

std::string HostName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0) return {};
  return name;
}

tOsVersion OsVersion() {
  tOsVersion v;
  utsname u{};
  if (::uname(&u) != 0) return v;
  v.name = u.sysname;
  v.release = u.release;
  std::sscanf(u.release, "%d.%d.%d", &v.major, &v.minor, &v.build);
  return v;
}

bool ForbidCoreDumps() {
  // Like a key agent: no core file and no ptrace by other processes of the user while the
  // unscrambled passwords are in memory. A dump would land in the working folder, the settings.
  const rlimit none{0, 0};
  const bool limited = ::setrlimit(RLIMIT_CORE, &none) == 0;
  return ::prctl(PR_SET_DUMPABLE, 0, 0, 0, 0) == 0 && limited;
}

int WordSizeOf(const std::string& machine) {
  // "x86_64", "aarch64", "ppc64le", "riscv64", "s390x", "alpha" are 64-bit; "i686", "armv7l" not.
  if (machine.find("64") != std::string::npos || machine == "s390x" || machine == "alpha") return 64;
  return 32;
}

int WordSize() {
  // The system's, not the program's: a 32-bit build on a 64-bit kernel still reports 64.
  utsname u{};
  if (::uname(&u) != 0) return static_cast<int>(sizeof(void*) * 8);
  return WordSizeOf(u.machine);
}

bool DisplayAvailable() { return !EnvText("DISPLAY").empty() || !EnvText("WAYLAND_DISPLAY").empty(); }

std::string UserLanguage() {
  // LANGUAGE and LC_* decide what the user reads; QLocale::system() honours them.
  const QString name = QLocale::system().name();  // "de_DE"
  return name.section(QLatin1Char('_'), 0, 0).toLower().toStdString();
}

}  // namespace kv
