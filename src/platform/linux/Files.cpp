#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace kv {

namespace fs = std::filesystem;

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CopyFile(const std::string& from, const std::string& to) {
  std::error_code ec;
  fs::copy_file(from, to, fs::copy_options::overwrite_existing, ec);
  return !ec;
}

bool MoveFile(const std::string& from, const std::string& to) {
  if (!FileExists(from) || FileExists(to)) return false;
  if (::rename(from.c_str(), to.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!CopyFile(from, to)) return false;
  return ::unlink(from.c_str()) == 0;
}

bool DeleteFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

bool CreateFolder(const std::string& path, unsigned mode) {
  if (path.empty()) return false;
  if (FolderExists(path)) return true;
  std::string partial;
  std::stringstream parts(path);
  std::string piece;
  if (path[0] == '/') partial = "/";
  while (std::getline(parts, piece, '/')) {
    if (piece.empty()) continue;
    partial += piece + "/";
    if (!FolderExists(partial) && ::mkdir(partial.c_str(), static_cast<mode_t>(mode)) != 0 &&
        errno != EEXIST)
      return false;
  }
  return FolderExists(path);
}

bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned mode) {
  const std::string temp = path + ".tmp" + std::to_string(::getpid());
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  if (fd < 0) return false;
  ::fchmod(fd, static_cast<mode_t>(mode));  // umask must not widen nor narrow it
  const char* p = content.data();
  size_t left = content.size();
  bool ok = true;
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) { ok = false; break; }
    p += n;
    left -= static_cast<size_t>(n);
  }
  ok = ok && ::fsync(fd) == 0;
  ok = (::close(fd) == 0) && ok;
  if (ok && ::rename(temp.c_str(), path.c_str()) == 0) return true;
  const int error = errno;  // the caller reports why, not the clean-up's result
  ::unlink(temp.c_str());
  errno = error;
  return false;
}

bool ReadWholeFile(const std::string& path, std::string& content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  if (in.bad()) return false;
  content = buffer.str();
  return true;
}

bool SetCurrentFolder(const std::string& path) { return ::chdir(path.c_str()) == 0; }

}  // namespace kv
