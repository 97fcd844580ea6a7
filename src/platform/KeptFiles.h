#pragma once
// /proc and /sys files read once per pass through descriptors kept open between passes: each
// read is one pread from the start, where opening, checking and closing the file cost three
// more system calls every time. The kernel builds such a file's text afresh for every read from
// offset 0, so the figures are as new as with a fresh open.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kv {

class tKeptFiles {
 public:
  tKeptFiles() = default;
  tKeptFiles(const tKeptFiles&) = delete;
  tKeptFiles& operator=(const tKeptFiles&) = delete;
  ~tKeptFiles();

  // The whole text of the file at path, opened on first use like any small system file (only
  // a regular file; with noFollow no link as its last part) and kept open. A file that fails
  // to read, or one outside /proc and /sys that has been removed or replaced (a device gone,
  // a rewritten test tree), is opened again once; nullopt when that fails too. The view lasts
  // until the next Read.
  std::optional<std::string_view> Read(const std::string& path, bool noFollow = false);
  // Closes every file, so the next reads open them afresh.
  void CloseAll();
  size_t OpenCount() const { return files_.size(); }

 private:
  struct tFile {
    std::string path;
    int fd = -1;
    bool noFollow = false;
    bool kernelMade = false;  // on procfs or sysfs: never replaced behind an open descriptor
  };
  bool ReadFrom(tFile& file);
  bool Open(tFile& file);

  std::vector<tFile> files_;
  std::string buffer_;
};

}  // namespace kv
