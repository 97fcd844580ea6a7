#include "readvalue/SpeedFan.h"

#include <sstream>

#include "core/EventLog.h"
#include "core/Process.h"
#include "platform/OutsideFile.h"
#include "readvalue/Readings.h"
#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

const char* const SpeedFanSensorFile = "speedfansens.cfg";

namespace {

constexpr size_t SensorSlots = 32;  // each array holds 32 int32
constexpr size_t MaxSensorFile = 1024 * 1024;  // a real one is a few KiB

bool SpeedFanTemp(double t, bool azv) { return (t != 0 && t < 15000) || azv; }
bool SpeedFanFan(double f, bool) { return 0 <= f && f < 20000; }
bool SpeedFanVolt(double v, bool) { return v != 0 && -2000 < v && v < 2000; }

// One array of the block: channel k takes sensor map[k] of it.
struct tSensorArray {
  size_t offset;
  tChannelGroup group;
  tIndexMap tSettings::*map;
  tValueTest test;
};

const tSensorArray SpeedFanTable[] = {
    // offset, group, order map, test; every value int32, stored as is
    {18, tChannelGroup::T, &tSettings::SFOrderT, SpeedFanTemp},  // hundredths of °C
    {146, tChannelGroup::F, &tSettings::SFOrderF, SpeedFanFan},  // rpm
    {274, tChannelGroup::V, &tSettings::SFOrderV, SpeedFanVolt}, // hundredths of V
};
constexpr size_t BlockSize = 274 + 4 * SensorSlots;

void ApplySpeedFan(tPassContext& ctx, const ShmView& view) {
  view.Require(BlockSize);
  for (const tSensorArray& array : SpeedFanTable)
    for (int k = 1; k <= TempChannels; ++k) {
      const size_t i = (ctx.Settings.*array.map)[static_cast<size_t>(ChannelIndex(k))];
      if (i < SensorSlots)
        StoreChecked(ctx, array.group, k, view.Int32(array.offset + 4 * i), array.test, tScale::AsIs);
    }
}

bool StartsWith(const std::string& s, const char* prefix) { return s.rfind(prefix, 0) == 0; }

// "xxx Fan Fan1 from IT8712F@ISA" → "IT8712F".
std::string ChipName(std::string line) {
  const std::string from = " from ";
  if (const size_t at = line.find(from); at != std::string::npos) line.erase(0, at + from.size());
  if (const size_t at = line.find('@'); at != std::string::npos) line.erase(at);
  return line;
}

// The running entry number of one kind and the channels it names.
struct tEntryKind {
  const char* line;  // the line that opens an entry of this kind
  tChannelGroup group;
  const tIndexMap& map;
  int next = 0;
};

}  // namespace

std::string SpeedFanFolder(const std::string& appDir) { return appDir + "../SpeedFan/"; }

bool ReadSpeedFanNames(tPassContext& ctx, const std::string& path) {
  std::string content, why;
  switch (ReadOutsideFile(path, MaxSensorFile, content, why)) {
    case tOutsideFile::Missing: return false;
    case tOutsideFile::Refused:
      // A link or FIFO planted in SpeedFan's folder counts as no file.
      LogEvent("rv12 refusing " + path + ": " + why);
      return false;
    case tOutsideFile::Failed:
      LogEvent("rv12 cannot open " + path + ": " + why);
      return true;
    case tOutsideFile::Read: break;
  }
  std::istringstream file(content);
  tEntryKind kinds[] = {
      {"xxx Temp", tChannelGroup::T, ctx.Settings.SFOrderT},
      {"xxx Volt", tChannelGroup::V, ctx.Settings.SFOrderV},
      {"xxx Fan", tChannelGroup::F, ctx.Settings.SFOrderF},
  };
  tEntryKind* kind = nullptr;
  std::string chip, sensor;
  std::string line;
  while (std::getline(file, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (StartsWith(line, "name=")) {
      sensor = OutsideText(line.substr(5));
    } else if (line == "xxx end") {
      if (!sensor.empty()) sensor += " (" + chip + ")";
      if (kind) {
        for (int k = 1; k <= TempChannels; ++k)
          if (kind->map[static_cast<size_t>(ChannelIndex(k))] == kind->next)
            NameChannel(ctx.Settings, kind->group, k, sensor);
        ++kind->next;
      }
      kind = nullptr;
    } else if (StartsWith(line, "xxx")) {
      for (tEntryKind& candidate : kinds)
        if (StartsWith(line, candidate.line)) kind = &candidate;
      chip = OutsideText(ChipName(line));
    }
  }
  return true;
}

void ReadSpeedFan(tPassContext& ctx) {
  const bool read = ReadSharedMemoryStepErrors(
      "SFSharedMemory_ALM", tShmAccess::Read, [&ctx](const ShmView& view) { ApplySpeedFan(ctx, view); },
      {"rv11 ", "rv12 "}, ShmWatch(ctx));
  bool& pending = ctx.Current.SFNamesPending;
  if (!read || !pending) return;
  try {
    if (ReadSpeedFanNames(ctx, SpeedFanFolder(ctx.Process.AppDir) + SpeedFanSensorFile)) pending = false;
  } catch (const std::exception& e) {
    pending = false;  // a broken file would fail the same way every pass
    LogError("rv12 ", e);
  }
}

}  // namespace kv
