#include "statistics/StatFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

#include "core/EventLog.h"
#include "platform/Files.h"

namespace kv {

namespace {

constexpr size_t MainSize = sizeof(tReadings);
constexpr size_t ExtraSize = sizeof(tReadingsExtra);

// The new file goes to a temporary name first; Commit puts it in place of the old one.
std::string WriteRecords(const std::string& path, const void* data, size_t bytes) {
  const std::string content(static_cast<const char*>(data), bytes);
  std::string temp;
  if (!WriteTempFile(path, content, 0644, temp))
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
  return temp;
}

void Commit(const std::string& temp, const std::string& path) {
  if (!CommitTempFile(temp, path))
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

// A failed copy leaves the old backup whole; a missing file has nothing to back up.
void Backup(const std::string& path) {
  if (!CopyFile(path, path + ".backup") && errno != ENOENT)
    LogEvent("wsl1 cannot back up " + path + ": " + std::strerror(errno));
}

void RestoreFromBackup(const std::string& path) {
  if (FileExists(path) || !FileExists(path + ".backup")) return;
  CopyFile(path + ".backup", path);
  LogEvent("Restoring backup: " + path + ".backup -> " + path);
}

// Reads at most MaxFileRecords whole records from the end of a file; only a regular file, and
// never through a link.
std::string ReadRecords(const std::string& path, size_t recordSize, size_t& firstRecord,
                        size_t& count) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    throw std::runtime_error("cannot open " + path + ": not a regular file");
  }
  const auto length = static_cast<size_t>(st.st_size);
  const size_t total = length / recordSize;  // a trailing partial record is never read
  firstRecord = total > MaxFileRecords ? total - MaxFileRecords : 0;
  count = total - firstRecord;
  std::string bytes(count * recordSize, '\0');
  size_t done = 0;
  const auto start = static_cast<off_t>(firstRecord * recordSize);
  while (done < bytes.size()) {
    const ssize_t n = ::pread(fd, bytes.data() + done, bytes.size() - done, start + static_cast<off_t>(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  ::close(fd);
  if (done != bytes.size()) throw std::runtime_error("Read beyond end of file");
  return bytes;
}

void ConvertLegacyMarkers(tReadings& r) {
  for (int i = 0; i < VChannels; ++i)
    if (r.V[i] == 0 || r.V[i] == 25500) r.V[i] = NoValue16;
  for (int i = 0; i < FChannels; ++i)
    if (r.F[i] == 255) r.F[i] = NoValue16;
}

// The companion records of one file. A record pairs with the main record at its own position;
// when that one's time differs (a save killed between its two renames leaves a new main file
// beside the old companion, shifted by the crop), with the unused record of the same time.
class tCompanion {
 public:
  tCompanion(std::string bytes, size_t first, size_t count)
      : bytes_(std::move(bytes)), first_(first), count_(count), used_(count, false) {}

  // False with the reason in error when no record has this time.
  bool Take(size_t position, double time, tReadingsExtra& e, std::string& error) {
    if (position >= first_ && position - first_ < count_) {
      const size_t j = position - first_;
      if (!used_[j] && TimeAt(j) == time) return Use(j, e);
      error = "Time mismatch";
    } else {
      error = "Read beyond end of file";
    }
    if (byTime_.empty() && count_ > 0) IndexByTime();
    auto it = std::lower_bound(byTime_.begin(), byTime_.end(), std::make_pair(time, size_t{0}));
    for (; it != byTime_.end() && it->first == time; ++it)
      if (!used_[it->second]) return ++pairedByTime, Use(it->second, e);
    return false;
  }
  size_t pairedByTime = 0;

 private:
  double TimeAt(size_t j) const {
    double t;
    std::memcpy(&t, bytes_.data() + j * ExtraSize, sizeof t);
    return t;
  }
  bool Use(size_t j, tReadingsExtra& e) {
    used_[j] = true;
    std::memcpy(&e, bytes_.data() + j * ExtraSize, ExtraSize);
    return true;
  }
  void IndexByTime() {
    byTime_.reserve(count_);
    for (size_t j = 0; j < count_; ++j)
      if (std::isfinite(TimeAt(j))) byTime_.emplace_back(TimeAt(j), j);
    std::sort(byTime_.begin(), byTime_.end());
  }

  std::string bytes_;
  size_t first_, count_;
  std::vector<bool> used_;
  std::vector<std::pair<double, size_t>> byTime_;
};

// A time before 2000 or more than a day ahead is damage: loaded, it would make the first crop
// delete all history older than it.
bool Plausible(double t, TDateTime now) {
  static const double earliest = EncodeDateTime({2000, 1, 1, 0, 0, 0, 0});
  return std::isfinite(t) && t >= earliest && t <= now + 1.0;
}

// Which records keep the series in time order: the longest run of plausible records whose times
// never decrease, so that one record out of place costs itself, not everything after it.
std::vector<bool> KeptInOrder(const std::string& main, size_t count, TDateTime now) {
  std::vector<double> times(count);
  for (size_t i = 0; i < count; ++i) std::memcpy(&times[i], main.data() + i * MainSize, sizeof(double));
  std::vector<size_t> tails;                  // tails[k]: last record of the best run of length k+1
  std::vector<size_t> before(count, SIZE_MAX);  // the record before each one in its run
  for (size_t i = 0; i < count; ++i) {
    if (!Plausible(times[i], now)) continue;
    const auto at = std::upper_bound(tails.begin(), tails.end(), times[i],
                                     [&](double t, size_t j) { return t < times[j]; });
    if (at != tails.begin()) before[i] = *(at - 1);
    if (at == tails.end()) tails.push_back(i); else *at = i;
  }
  std::vector<bool> kept(count, false);
  for (size_t i = tails.empty() ? SIZE_MAX : tails.back(); i != SIZE_MAX; i = before[i]) kept[i] = true;
  return kept;
}

}  // namespace

void SaveStore(const tStatStore& s, const std::string& dir, const std::string& baseName, bool backup,
               const std::function<void()>& betweenRenames) {
  const std::string base = dir + baseName;
  for (const char* suffix : {"", "2", "3", "4", "5"}) {
    DeleteFile(base + suffix);
    DeleteFile(base + suffix + ".backup");
  }
  if (s.LastIndex < 0) return;
  try {
    const std::string m = base + "6";
    const std::string c = base + "7";
    if (backup) Backup(m);
    LogEvent("Writing " + m);
    if (backup) Backup(c);
    LogEvent("Writing " + c);
    const size_t n = static_cast<size_t>(s.LastIndex) + 1;
    // Both new files are whole on disk before either replaces the old one, so a kill can only
    // fall between the two renames; loading bridges that by pairing records by time.
    const std::string tm = WriteRecords(m, s.Samples.data(), n * MainSize);
    std::string tc;
    try {
      tc = WriteRecords(c, s.SamplesExtra.data(), n * ExtraSize);
    } catch (...) {
      DeleteFile(tm);
      throw;
    }
    try {
      Commit(tm, m);
    } catch (...) {
      DeleteFile(tc);
      throw;
    }
    if (betweenRenames) betweenRenames();
    Commit(tc, c);
  } catch (const std::exception& e) {
    LogError("wsl1 ", e);
  }
}


namespace {

// The file to read: the file itself, or in read-only mode its backup when only that exists.
std::string LoadPath(const std::string& path, bool readOnly) {
  if (!readOnly) {
    RestoreFromBackup(path);
    return path;
  }
  return !FileExists(path) && FileExists(path + ".backup") ? path + ".backup" : path;
}

void LoadPair(tStatStore& s, const std::string& dir, const std::string& baseName, bool readOnly, TDateTime now) {
  const std::string m = LoadPath(dir + baseName + "6", readOnly);
  if (!FileExists(m)) return;
  s.LastIndex = -1;
  s.Samples.clear();
  s.SamplesExtra.clear();
  LogEvent("Loading " + m);
  const std::string c = LoadPath(dir + baseName + "7", readOnly);
  const bool hasCompanion = FileExists(c);
  if (hasCompanion) LogEvent("Loading " + c);
  try {
    size_t first = 0, count = 0;
    const std::string main = ReadRecords(m, MainSize, first, count);
    if (first > 0)
      LogEvent("rsl2 " + m + " holds " + std::to_string(first + count) +
               " records; loading the newest " + std::to_string(count));
    std::unique_ptr<tCompanion> companion;
    if (hasCompanion) {
      size_t extraFirst = 0, extraCount = 0;
      try {
        std::string extra = ReadRecords(c, ExtraSize, extraFirst, extraCount);
        companion = std::make_unique<tCompanion>(std::move(extra), extraFirst, extraCount);
      } catch (const std::exception& e) {
        LogError("rsl3 ", e);  // each sample below then gets a rebuilt second record
        companion = std::make_unique<tCompanion>(std::string(), 0, 0);
      }
    }
    const std::vector<bool> inOrder = KeptInOrder(main, count, now);
    s.Samples.reserve(count);
    s.SamplesExtra.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      try {
        tReadings r;
        std::memcpy(&r, main.data() + i * MainSize, MainSize);
        if (!std::isfinite(r.Time))
          throw std::runtime_error("Invalid time in record " + std::to_string(first + i));
        if (!Plausible(r.Time, now))
          throw std::runtime_error("Implausible time in record " + std::to_string(first + i));
        if (!inOrder[i])
          throw std::runtime_error("Time out of order in record " + std::to_string(first + i));
        ConvertLegacyMarkers(r);
        tReadingsExtra e{};
        // Without a companion the second record is all zero but for its time: with a zero time
        // every record would mismatch at the next load and come back rebuilt as a break.
        if (!companion) e.Time2 = r.Time;
        if (companion) {
          std::string error;
          if (!companion->Take(first + i, r.Time, e, error)) {
            MakeBreakExtra(r.Time, e);
            LogEvent("rsl3 " + error);
          }
        }
        s.Samples.push_back(r);
        s.SamplesExtra.push_back(e);
        ++s.LastIndex;
      } catch (const std::exception& e) {
        LogError("rsl1 ", e);
      }
    }
    if (companion && companion->pairedByTime > 0)
      LogEvent("rsl3 " + c + " out of step; " + std::to_string(companion->pairedByTime) +
               " records paired by time");
  } catch (const std::exception& e) {
    LogError("rsl2 ", e);
  }
  s.CropLimit = s.LastIndex + 3;
}

}  // namespace

void LoadStore(tStatStore& s, const std::string& dir, const std::string& baseName, TDateTime now) {
  LoadPair(s, dir, baseName, false, now);
}

void LoadStoreReadOnly(tStatStore& s, const std::string& dir, const std::string& baseName, TDateTime now) {
  LoadPair(s, dir, baseName, true, now);
}

}  // namespace kv
