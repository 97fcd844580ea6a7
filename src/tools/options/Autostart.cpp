#include "tools/options/Autostart.h"

#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "core/EventLog.h"
#include "platform/Files.h"

namespace kv {

namespace {

constexpr const char* Marker = "X-Kelvara-Autostart=1";
constexpr size_t MaxEntryBytes = 64 * 1024;  // a desktop entry is a few hundred bytes

std::string Env(const char* name) {
  const char* v = std::getenv(name);
  return v ? v : "";
}

// An Exec argument: quoted when it holds a reserved character, with the quoting's own escapes,
// then the string escape of the key file (a backslash doubles) and the field-code escape (%%).
std::string ExecArgument(const std::string& path) {
  if (path.find_first_of("\r\n") != std::string::npos || path.find('\0') != std::string::npos) return {};
  const bool quote = path.find_first_of(" \t\"'\\><~|&;$*?#()`") != std::string::npos;
  std::string out = quote ? "\"" : "";
  for (char c : path) {
    if (quote && (c == '"' || c == '`' || c == '$')) out += "\\\\";
    if (quote && c == '\\') {
      out += "\\\\\\\\";
      continue;
    }
    if (c == '%') out += '%';
    out += c;
  }
  if (quote) out += '"';
  return out;
}

}  // namespace

std::string AutostartPath() {
  std::string base = Env("XDG_CONFIG_HOME");
  if (base.empty() || base[0] != '/') {
    std::string home = Env("HOME");
    if (home.empty())
      if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_dir) home = pw->pw_dir;
    if (home.empty()) return {};
    base = home + (home.back() == '/' ? "" : "/") + ".config";
  }
  if (base.back() != '/') base += '/';
  return base + "autostart/kelvara.desktop";
}

tAutostartState AutostartStateOf(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    struct stat st;
    return (errno == ENOENT && ::lstat(path.c_str(), &st) != 0) ? tAutostartState::Absent : tAutostartState::Foreign;
  }
  struct stat st;
  std::string text;
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && static_cast<size_t>(st.st_size) <= MaxEntryBytes) {
    char buf[4096];
    ssize_t n;
    while (text.size() <= MaxEntryBytes && (n = ::read(fd, buf, sizeof buf)) > 0) text.append(buf, static_cast<size_t>(n));
  }
  ::close(fd);
  // The marker must be a whole line of its own.
  size_t at = 0;
  while ((at = text.find(Marker, at)) != std::string::npos) {
    const size_t end = at + std::char_traits<char>::length(Marker);
    if ((at == 0 || text[at - 1] == '\n') && (end == text.size() || text[end] == '\n' || text[end] == '\r'))
      return tAutostartState::Ours;
    at = end;
  }
  return tAutostartState::Foreign;
}

std::string AutostartText(const std::string& program) {
  const std::string exec = ExecArgument(program);
  if (exec.empty() || program[0] != '/') return {};
  return "[Desktop Entry]\n"
         "Type=Application\n"
         "Name=Kelvara\n"
         "Comment=PC health monitor, started at login\n"
         "Exec=" + exec + "\n"
         "Icon=kelvara\n"
         "Terminal=false\n"
         "X-GNOME-Autostart-enabled=true\n" +
         std::string(Marker) + "\n";
}

bool WriteAutostart(const std::string& path, const std::string& program) {
  const std::string text = AutostartText(program);
  const size_t slash = path.rfind('/');
  if (text.empty() || slash == std::string::npos || slash == 0) {
    LogEvent("op3 cannot name the program in " + path);
    return false;
  }
  // The config home is private; the autostart folder is the one desktops expect.
  const std::string folder = path.substr(0, slash);
  const std::string config = folder.substr(0, folder.rfind('/'));
  if ((!config.empty() && !FolderExists(config) && !CreateFolder(config, 0700)) ||
      (!FolderExists(folder) && !CreateFolder(folder, 0755)) || !WriteFileAtomic(path, text, 0644)) {
    LogEvent("op3 cannot write " + path);
    return false;
  }
  return true;
}

bool RemoveAutostart(const std::string& path) {
  if (::unlink(path.c_str()) == 0 || errno == ENOENT) return true;
  LogEvent("op4 cannot remove " + path);
  return false;
}

}  // namespace kv
