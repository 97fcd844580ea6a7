#include "platform/OutsideFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace kv {

namespace {

tOutsideFile ReadBounded(const std::string& path, size_t maxBytes, bool keepHead, std::string& content,
                         bool& truncated, std::string& why) {
  content.clear();
  truncated = false;
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ENOENT || errno == ENOTDIR) return tOutsideFile::Missing;
    why = errno == ELOOP ? "is a link" : std::system_category().message(errno);
    return errno == ELOOP ? tOutsideFile::Refused : tOutsideFile::Failed;
  }
  struct stat st {};
  tOutsideFile result = tOutsideFile::Read;
  if (::fstat(fd, &st) != 0) {
    why = std::system_category().message(errno);
    result = tOutsideFile::Failed;
  } else if (!S_ISREG(st.st_mode)) {
    why = "is not a regular file";
    result = tOutsideFile::Refused;
  } else if (!keepHead && static_cast<unsigned long long>(st.st_size) > maxBytes) {
    why = "is larger than " + std::to_string(maxBytes) + " bytes";
    result = tOutsideFile::Refused;
  } else {
    // Read up to one byte past what fstat saw (and never past the bound plus one): a file that
    // grew in between is read up to the bound, and refused beyond it.
    content.resize(std::min(static_cast<size_t>(st.st_size), maxBytes) + 1);
    size_t got = 0;
    while (got < content.size()) {
      const ssize_t n = ::read(fd, content.data() + got, content.size() - got);
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) {
        why = std::system_category().message(errno);
        result = tOutsideFile::Failed;
        break;
      }
      if (n == 0) break;
      got += static_cast<size_t>(n);
      if (got == content.size() && got <= maxBytes) content.resize(std::min(maxBytes + 1, got * 2));
    }
    content.resize(result == tOutsideFile::Read ? got : 0);
    if (result != tOutsideFile::Read) {
      // nothing was kept
    } else if (got > maxBytes && keepHead) {
      content.resize(maxBytes);
      truncated = true;
    } else if (got > maxBytes) {
      content.clear();
      why = "is larger than " + std::to_string(maxBytes) + " bytes";
      result = tOutsideFile::Refused;
    }
  }
  ::close(fd);
  return result;
}

}  // namespace

tOutsideFile ReadOutsideFile(const std::string& path, size_t maxBytes, std::string& content,
                             std::string& why) {
  bool truncated = false;
  return ReadBounded(path, maxBytes, false, content, truncated, why);
}

tOutsideFile ReadOutsideFileHead(const std::string& path, size_t maxBytes, std::string& content,
                                 bool& truncated, std::string& why) {
  return ReadBounded(path, maxBytes, true, content, truncated, why);
}

}  // namespace kv
