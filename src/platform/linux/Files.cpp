#include "platform/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>

namespace kv {

bool FileExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool FolderExists(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
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

namespace {

// Temporary files are named "<target>.kvtmp.<pid>.<n>", so that a later run can tell a killed
// writer's leftovers from anything else in the folder.
constexpr char TempMarker[] = ".kvtmp.";
constexpr int TempAttempts = 1000;

bool WriteAll(int fd, const char* p, size_t left) {
  while (left > 0) {
    const ssize_t n = ::write(fd, p, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = ENOSPC;
      return false;
    }
    p += n;
    left -= static_cast<size_t>(n);
  }
  return true;
}

// A new file beside path that nobody else can have prepared: O_EXCL fails on any existing name,
// a planted link included, and the next name is tried.
int CreateTemp(const std::string& path, unsigned mode, std::string& temp) {
  const std::string stem = path + TempMarker + std::to_string(::getpid()) + ".";
  for (int n = 0; n < TempAttempts; ++n) {
    temp = stem + std::to_string(n);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC,
                          static_cast<mode_t>(mode));
    if (fd >= 0) {
      ::fchmod(fd, static_cast<mode_t>(mode));  // umask must not widen nor narrow it
      return fd;
    }
    if (errno != EEXIST) return -1;
  }
  errno = EEXIST;
  return -1;
}

// Syncs and closes a temporary file; on any failure it is removed and errno tells why.
bool FinishTemp(int fd, bool ok, const std::string& temp) {
  int error = ok ? 0 : errno;
  if (ok && ::fsync(fd) != 0) ok = false, error = errno;
  if (::close(fd) != 0 && ok) ok = false, error = errno;
  if (ok) return true;
  ::unlink(temp.c_str());
  errno = error;
  return false;
}

void SyncFolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash + 1);
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool IsDigits(const std::string& s, size_t most) {
  return !s.empty() && s.size() <= most && s.find_first_not_of("0123456789") == std::string::npos;
}

}  // namespace

bool WriteTempFile(const std::string& path, const std::string& content, unsigned mode,
                   std::string& temp) {
  const int fd = CreateTemp(path, mode, temp);
  if (fd < 0) return false;
  return FinishTemp(fd, WriteAll(fd, content.data(), content.size()), temp);
}

bool CommitTempFile(const std::string& temp, const std::string& path) {
  // rename replaces a link at path itself, never the file it points to.
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;  // the caller reports why, not the clean-up's result
    ::unlink(temp.c_str());
    errno = error;
    return false;
  }
  SyncFolderOf(path);
  return true;
}

bool WriteFileAtomic(const std::string& path, const std::string& content, unsigned mode) {
  std::string temp;
  return WriteTempFile(path, content, mode, temp) && CommitTempFile(temp, path);
}

bool CopyFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (in < 0) return false;
  struct stat st {};
  if (::fstat(in, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(in);
    errno = EINVAL;
    return false;
  }
  std::string temp;
  const int out = CreateTemp(to, st.st_mode & 0777, temp);
  if (out < 0) {
    const int error = errno;
    ::close(in);
    errno = error;
    return false;
  }
  bool ok = true;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(in, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    if (n == 0) break;
    if (!WriteAll(out, buffer, static_cast<size_t>(n))) { ok = false; break; }
  }
  const int error = errno;
  ::close(in);
  errno = error;
  return FinishTemp(out, ok, temp) && CommitTempFile(temp, to);
}

int RemoveStaleTempFiles(const std::string& dir) {
  const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (dirFd < 0) return 0;
  DIR* listing = ::fdopendir(dirFd);
  if (!listing) {
    ::close(dirFd);
    return 0;
  }
  const std::string marker = TempMarker;
  int removed = 0;
  while (const dirent* entry = ::readdir(listing)) {
    const std::string name = entry->d_name;
    const size_t at = name.rfind(marker);
    if (at == std::string::npos || at == 0) continue;
    const std::string tail = name.substr(at + marker.size());  // "<pid>.<n>"
    const size_t dot = tail.find('.');
    if (dot == std::string::npos || !IsDigits(tail.substr(0, dot), 10) ||
        !IsDigits(tail.substr(dot + 1), 10))
      continue;
    const long long pid = std::stoll(tail.substr(0, dot));
    // A live process (this one included) may still be writing; a reused pid only delays removal.
    if (pid <= 0 || pid > INT32_MAX || pid == ::getpid()) continue;
    if (::kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) continue;
    struct stat st {};
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode))
      continue;
    if (::unlinkat(dirFd, name.c_str(), 0) == 0) ++removed;
  }
  ::closedir(listing);
  return removed;
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
