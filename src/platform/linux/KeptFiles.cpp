#include "platform/KeptFiles.h"

#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/linux/SysText.h"

namespace kv {

namespace {

// A pass reads a few dozen files; a caller that asks for more gets them read but not kept.
constexpr size_t MaxKeptFiles = 256;

}  // namespace

tKeptFiles::~tKeptFiles() { CloseAll(); }

void tKeptFiles::CloseAll() {
  for (tFile& file : files_)
    if (file.fd >= 0) ::close(file.fd);
  files_.clear();
}

bool tKeptFiles::Open(tFile& file) {
  file.fd = systext::OpenRegularFile(file.path, file.noFollow);
  if (file.fd < 0) return false;
  struct statfs fs {};
  file.kernelMade = ::fstatfs(file.fd, &fs) == 0 &&
                    (fs.f_type == PROC_SUPER_MAGIC || fs.f_type == SYSFS_MAGIC);
  return true;
}

bool tKeptFiles::ReadFrom(tFile& file) {
  if (file.fd < 0) return false;
  if (!file.kernelMade) {
    // A removed file would still read through its descriptor; the path now names another.
    struct stat st {};
    if (::fstat(file.fd, &st) != 0 || st.st_nlink == 0) return false;
  }
  if (buffer_.capacity() < 4096) buffer_.reserve(4096);
  buffer_.resize(buffer_.capacity());
  size_t used = 0;
  for (;;) {
    if (used == buffer_.size()) {
      if (buffer_.size() >= systext::MaxSmallFile) return false;
      buffer_.resize(std::min(buffer_.size() * 2, systext::MaxSmallFile));
    }
    const size_t space = buffer_.size() - used;
    const ssize_t n = ::pread(file.fd, buffer_.data() + used, space, static_cast<off_t>(used));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    used += static_cast<size_t>(n);
    // As with a plain read: a short answer is the end of the file.
    if (static_cast<size_t>(n) < space) break;
  }
  buffer_.resize(used);
  return true;
}

std::optional<std::string_view> tKeptFiles::Read(const std::string& path, bool noFollow) {
  auto found = std::find_if(files_.begin(), files_.end(),
                            [&](const tFile& f) { return f.path == path && f.noFollow == noFollow; });
  if (found == files_.end()) {
    if (files_.size() >= MaxKeptFiles) {
      if (!systext::ReadSmallFile(path, buffer_)) return std::nullopt;
      return std::string_view(buffer_);
    }
    files_.push_back({path, -1, noFollow, false});
    found = files_.end() - 1;
  }
  tFile& file = *found;
  if (ReadFrom(file)) return std::string_view(buffer_);
  // Gone, replaced or failing: once more through a fresh descriptor.
  if (file.fd >= 0) ::close(file.fd);
  file.fd = -1;
  if (Open(file) && ReadFrom(file)) return std::string_view(buffer_);
  buffer_.clear();
  return std::nullopt;
}

}  // namespace kv
