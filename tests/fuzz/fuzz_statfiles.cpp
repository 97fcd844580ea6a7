// A statistics file pair as a crash, a full disk or another program may leave it. The input is
// split into a main file and a companion file:
//   byte 0: bit 0 companion present, bit 1 the main file only as its .backup, bit 2 the
//           companion only as its .backup, bit 3 save with backup copies; bytes 1..3: the main file's length (little-endian,
//           cut to what is there); then the main file, then the companion.
// The pair is loaded, checked, written back and loaded again: the second load must give the
// same records as the first.
#include <cmath>
#include <cstring>
#include <string>

#include "FuzzSupport.h"
#include "readvalue/Readings.h"
#include "statistics/StatFiles.h"
#include "statistics/StatStore.h"

namespace {

const char* const Base = "KVFuzz";
// The time the loads take as now: a record more than a day after it is damage.
constexpr kv::TDateTime Now = 46365.5;  // 9 December 2026, noon
std::string MainPath() { return kvfuzz::Facts().SettingsDir + Base + "6"; }
std::string ExtraPath() { return kvfuzz::Facts().SettingsDir + Base + "7"; }

void RemovePair() {
  for (const std::string& path : {MainPath(), ExtraPath()}) {
    kvfuzz::RemoveFile(path);
    kvfuzz::RemoveFile(path + ".backup");
  }
}

void Check(const kv::tStatStore& s) {
  if (s.Samples.size() != s.SamplesExtra.size()) kvfuzz::Fail("samples and companions differ in count");
  if (s.LastIndex + 1 != static_cast<int32_t>(s.Samples.size())) kvfuzz::Fail("LastIndex does not match the samples");
  for (const kv::tReadings& r : s.Samples)
    if (!std::isfinite(r.Time)) kvfuzz::Fail("a sample without a valid time was loaded");
}

// Main and companion records must come back byte for byte: after one load every companion
// record pairs with its sample (read, rebuilt or, without a companion file, empty but timed).
bool SameRecords(const kv::tStatStore& a, const kv::tStatStore& b) {
  if (a.Samples.size() != b.Samples.size() || a.SamplesExtra.size() != b.SamplesExtra.size()) return false;
  if (std::memcmp(a.Samples.data(), b.Samples.data(), a.Samples.size() * sizeof(kv::tReadings)) != 0) return false;
  return std::memcmp(a.SamplesExtra.data(), b.SamplesExtra.data(), a.SamplesExtra.size() * sizeof(kv::tReadingsExtra)) == 0;
}

// Seeds come from the real writer: a store of a few samples, saved and read back as files.
void WriteSeeds() {
  kv::tStatStore s;
  const double start = 46365.5;  // 9 December 2026, noon
  for (int i = 0; i < 4; ++i) {
    kv::tReadings r{};
    kv::tReadingsExtra e{};
    kv::tReadingsState fresh;
    kv::ResetReadings(fresh);
    r = fresh.Readings;
    r.Time = start + i / 1440.0;
    r.T[0] = static_cast<int16_t>(4500 + 10 * i);
    r.V[0] = 1216;
    r.F[0] = 1830;
    r.CPU[0] = 1250;
    r.MemUsed = 4000000;
    r.Freq = 3400000;
    e.Time2 = r.Time;
    e.UserSecs = 60 * i;
    s.Samples.push_back(r);
    s.SamplesExtra.push_back(e);
  }
  kv::MakeBreakSample(start + 5 / 1440.0, s.Samples.emplace_back(), s.SamplesExtra.emplace_back());
  s.LastIndex = static_cast<int32_t>(s.Samples.size()) - 1;
  kv::SaveStore(s, kvfuzz::Facts().SettingsDir, Base, false);
  const std::string main = kvfuzz::ReadFile(MainPath());
  const std::string extra = kvfuzz::ReadFile(ExtraPath());
  auto seed = [&](uint8_t flags, const std::string& m, const std::string& c) {
    std::string bytes(4, '\0');
    bytes[0] = static_cast<char>(flags);
    for (int k = 0; k < 3; ++k) bytes[1 + k] = static_cast<char>((m.size() >> (8 * k)) & 0xFF);
    return bytes + m + c;
  };
  kvfuzz::WriteSeed("pair", seed(1, main, extra));
  kvfuzz::WriteSeed("main-only", seed(0, main, ""));
  kvfuzz::WriteSeed("backups", seed(15, main, extra));
  kvfuzz::WriteSeed("shifted", seed(1, main.substr(141), extra));
  kvfuzz::WriteSeed("torn", seed(1, main + "\x01\x02", extra.substr(0, extra.size() - 5)));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  kvfuzz::Init();
  if (!kvfuzz::SeedFolder().empty()) {
    WriteSeeds();
    std::exit(0);
  }
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  RemovePair();
  const uint8_t flags = size > 0 ? data[0] : 0;
  size_t mainSize = 0;
  for (size_t k = 0; k < 3 && 1 + k < size; ++k) mainSize |= static_cast<size_t>(data[1 + k]) << (8 * k);
  const size_t header = std::min<size_t>(size, 4);
  mainSize = std::min(mainSize, size - header);
  const uint8_t* main = data + header;
  const uint8_t* extra = main + mainSize;
  const size_t extraSize = size - header - mainSize;
  kvfuzz::WriteFile(MainPath() + ((flags & 2) ? ".backup" : ""), main, mainSize);
  if (flags & 1) kvfuzz::WriteFile(ExtraPath() + ((flags & 4) ? ".backup" : ""), extra, extraSize);

  kv::tStatStore first;
  kv::LoadStore(first, kvfuzz::Facts().SettingsDir, Base, Now);
  Check(first);
  if (first.LastIndex < 0) return 0;

  kv::SaveStore(first, kvfuzz::Facts().SettingsDir, Base, (flags & 8) != 0);
  kv::tStatStore second;
  kv::LoadStore(second, kvfuzz::Facts().SettingsDir, Base, Now);
  Check(second);
  if (!SameRecords(first, second)) kvfuzz::Fail("a saved pair loads differently");
  return 0;
}
