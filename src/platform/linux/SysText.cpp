#include "platform/linux/SysText.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>

#include "platform/KeptFiles.h"

namespace kv::systext {

std::string RootPath(const std::string& root, std::string_view relative) {
  std::string path = root.empty() ? std::string("/") : root;
  if (path.back() != '/') path += '/';
  path += relative;
  return path;
}

int OpenRegularFile(const std::string& path, bool noFollow) {
  // O_NONBLOCK: a FIFO planted where a file is expected must not stop the thread in open.
  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | (noFollow ? O_NOFOLLOW : 0));
  if (fd < 0) return -1;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return -1;
  }
  return fd;
}

bool ReadSmallFile(const std::string& path, std::string& buffer) {
  // /proc and /sys files are regular files (a class device's link is followed on purpose).
  const int fd = OpenRegularFile(path, false);
  if (fd < 0) return false;
  // /proc files report size 0, so read until the end, growing the buffer as needed. A read that
  // does not fill the space it was given has reached the end: sysfs, seq_file and regular files
  // all fill it otherwise, and the saved read() is a good share of the cost of a small file.
  if (buffer.capacity() < 4096) buffer.reserve(4096);
  buffer.resize(buffer.capacity());
  size_t used = 0;
  bool ok = true;
  for (;;) {
    if (used == buffer.size()) {
      if (buffer.size() >= MaxSmallFile) { ok = false; break; }
      buffer.resize(std::min(buffer.size() * 2, MaxSmallFile));
    }
    const size_t space = buffer.size() - used;
    const ssize_t n = ::read(fd, buffer.data() + used, space);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) { ok = false; break; }
    used += static_cast<size_t>(n);
    if (static_cast<size_t>(n) < space) break;
  }
  ::close(fd);
  buffer.resize(ok ? used : 0);
  return ok;
}

std::optional<std::string_view> ReadScratch(const std::string& path) {
  thread_local std::string scratch;
  if (!ReadSmallFile(path, scratch)) return std::nullopt;
  return std::string_view(scratch);
}

std::optional<std::string_view> ReadText(const std::string& path, tKeptFiles* kept) {
  return kept != nullptr ? kept->Read(path) : ReadScratch(path);
}

std::optional<std::string> ReadTrimmed(const std::string& path) {
  const auto text = ReadScratch(path);
  if (!text) return std::nullopt;
  return std::string(TrimView(*text));
}

std::optional<uint64_t> ReadUnsigned(const std::string& path) {
  const auto text = ReadScratch(path);
  if (!text) return std::nullopt;
  return ParseUnsigned(TrimView(*text));
}

std::optional<int64_t> ReadSigned(const std::string& path) {
  const auto text = ReadScratch(path);
  if (!text) return std::nullopt;
  return ParseSigned(TrimView(*text));
}

std::string_view TrimView(std::string_view s) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  while (!s.empty() && blank(s.front())) s.remove_prefix(1);
  while (!s.empty() && blank(s.back())) s.remove_suffix(1);
  return s;
}

std::string_view CompleteLines(std::string_view text) {
  const size_t last = text.rfind('\n');
  return last == std::string_view::npos ? std::string_view() : text.substr(0, last + 1);
}

std::string_view NextLine(std::string_view& text) {
  const size_t end = text.find('\n');
  const std::string_view line = text.substr(0, end);
  text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
  return line;
}

std::string_view NextField(std::string_view& text) {
  auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; };
  size_t b = 0;
  while (b < text.size() && blank(text[b])) ++b;
  size_t e = b;
  while (e < text.size() && !blank(text[e])) ++e;
  const std::string_view field = text.substr(b, e - b);
  text.remove_prefix(e);
  return field;
}

std::optional<uint64_t> ParseUnsigned(std::string_view s) {
  if (s.empty()) return std::nullopt;
  uint64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::optional<int64_t> ParseSigned(std::string_view s) {
  if (s.empty()) return std::nullopt;
  int64_t v = 0;
  const auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), v);
  if (ec != std::errc() || ptr != s.data() + s.size()) return std::nullopt;
  return v;
}

std::vector<std::string> ListFolder(const std::string& path) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (name == "." || name == "..") continue;
    names.emplace_back(name);
  }
  ::closedir(dir);
  return names;
}

std::optional<uint64_t> NumberAfter(std::string_view name, std::string_view prefix) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return std::nullopt;
  const std::string_view digits = name.substr(prefix.size());
  for (const char c : digits)
    if (c < '0' || c > '9') return std::nullopt;
  return ParseUnsigned(digits);
}

}  // namespace kv::systext
