#include "statistics/StatFiles.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <fstream>
#include <stdexcept>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/Files.h"

namespace kv {

namespace {

constexpr size_t MainSize = sizeof(tReadings);
constexpr size_t ExtraSize = sizeof(tReadingsExtra);

// Writes through a temporary file and a rename: a crash or a full disk leaves the old file.
void WriteRecords(const std::string& path, const void* data, size_t bytes) {
  const std::string content(static_cast<const char*>(data), bytes);
  if (!WriteFileAtomic(path, content, 0644))
    throw std::runtime_error("cannot write " + path + ": " + std::strerror(errno));
}

void RestoreFromBackup(const std::string& path) {
  if (FileExists(path) || !FileExists(path + ".backup")) return;
  CopyFile(path + ".backup", path);
  LogEvent("Restoring backup: " + path + ".backup -> " + path);
}

// Reads at most MaxFileRecords whole records from the end of a file.
std::string ReadRecords(const std::string& path, size_t recordSize, size_t& firstRecord,
                        size_t& count) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot open " + path + ": " + std::strerror(errno));
  in.seekg(0, std::ios::end);
  const auto length = static_cast<size_t>(in.tellg());
  const size_t total = length / recordSize;  // a trailing partial record is never read
  firstRecord = total > MaxFileRecords ? total - MaxFileRecords : 0;
  count = total - firstRecord;
  std::string bytes(count * recordSize, '\0');
  in.seekg(static_cast<std::streamoff>(firstRecord * recordSize));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (static_cast<size_t>(in.gcount()) != bytes.size())
    throw std::runtime_error("Read beyond end of file");
  return bytes;
}

void ConvertLegacyMarkers(tReadings& r) {
  for (int i = 0; i < VChannels; ++i)
    if (r.V[i] == 0 || r.V[i] == 25500) r.V[i] = NoValue16;
  for (int i = 0; i < FChannels; ++i)
    if (r.F[i] == 255) r.F[i] = NoValue16;
}

}  // namespace

void SaveStore(const tStatStore& s, const std::string& baseName, bool backup) {
  const std::string base = SettingsDir + baseName;
  for (const char* suffix : {"", "2", "3", "4", "5"}) {
    DeleteFile(base + suffix);
    DeleteFile(base + suffix + ".backup");
  }
  if (s.LastIndex < 0) return;
  try {
    const std::string m = base + "6";
    const std::string c = base + "7";
    if (backup) CopyFile(m, m + ".backup");
    LogEvent("Writing " + m);
    if (backup) CopyFile(c, c + ".backup");
    LogEvent("Writing " + c);
    const size_t n = static_cast<size_t>(s.LastIndex) + 1;
    WriteRecords(m, s.Samples.data(), n * MainSize);
    WriteRecords(c, s.SamplesExtra.data(), n * ExtraSize);
  } catch (const std::exception& e) {
    LogError("wsl1 ", e);
  }
}

void SaveStatistics(bool backup) {
  LogEvent("Writing log");
  RunAcquirePass(true);
  for (tSeriesRef s : AllSeries()) StoreSample(s.store, s.params, true);
  for (tSeriesRef s : AllSeries()) SaveStore(s.store, s.params.baseName, backup);
}

void LoadStore(tStatStore& s, const std::string& baseName) {
  const std::string m = SettingsDir + baseName + "6";
  const std::string c = SettingsDir + baseName + "7";
  RestoreFromBackup(m);
  if (!FileExists(m)) return;
  s.LastIndex = -1;
  s.Samples.clear();
  s.SamplesExtra.clear();
  LogEvent("Loading " + m);
  RestoreFromBackup(c);
  const bool hasCompanion = FileExists(c);
  if (hasCompanion) LogEvent("Loading " + c);
  try {
    size_t first = 0, count = 0;
    const std::string main = ReadRecords(m, MainSize, first, count);
    if (first > 0)
      LogEvent("rsl2 " + m + " holds " + std::to_string(first + count) +
               " records; loading the newest " + std::to_string(count));
    std::string extra;
    size_t extraFirst = 0, extraCount = 0;
    if (hasCompanion) {
      try {
        extra = ReadRecords(c, ExtraSize, extraFirst, extraCount);
      } catch (const std::exception& e) {
        LogError("rsl3 ", e);  // each sample below then gets a rebuilt second record
      }
    }
    s.Samples.reserve(count);
    s.SamplesExtra.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      try {
        tReadings r;
        std::memcpy(&r, main.data() + i * MainSize, MainSize);
        if (!std::isfinite(r.Time)) throw std::runtime_error("Invalid time in record " + std::to_string(first + i));
        ConvertLegacyMarkers(r);
        tReadingsExtra e{};
        if (hasCompanion) {
          try {
            // Records pair by their position in the file.
            const size_t ci = first + i;
            if (ci < extraFirst || ci - extraFirst >= extraCount)
              throw std::runtime_error("Read beyond end of file");
            std::memcpy(&e, extra.data() + (ci - extraFirst) * ExtraSize, ExtraSize);
            if (e.Time2 != r.Time) throw std::runtime_error("Time mismatch");
          } catch (const std::exception& ex) {
            MakeBreakExtra(r.Time, e);
            LogError("rsl3 ", ex);
          }
        }
        s.Samples.push_back(r);
        s.SamplesExtra.push_back(e);
        ++s.LastIndex;
      } catch (const std::exception& e) {
        LogError("rsl1 ", e);
      }
    }
  } catch (const std::exception& e) {
    LogError("rsl2 ", e);
  }
  s.CropLimit = s.LastIndex + 3;
}

void LoadStatistics() {
  for (tSeriesRef s : AllSeries()) LoadStore(s.store, s.params.baseName);
  SampleAndAcquire(true);
}

}  // namespace kv
