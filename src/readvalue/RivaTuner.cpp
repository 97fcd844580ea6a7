#include "readvalue/RivaTuner.h"

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <stdexcept>

#include "core/EventLog.h"
#include "core/Text.h"
#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr uint32_t Signature = 0x5254484D;  // "RTHM"
constexpr uint32_t FixedEntryVersion = 0x10000;
constexpr size_t SignatureOffset = 0;   // uint32
constexpr size_t VersionOffset = 4;     // uint32
constexpr size_t CountOffset = 8;       // int32
constexpr size_t EntrySizeOffset = 16;  // uint32, when the version is not FixedEntryVersion
constexpr size_t EntriesOffset = 20;
constexpr size_t FixedEntrySize = 64;
constexpr size_t EntryNameSize = 32;
constexpr size_t EntryValue1 = 52, EntryValue2 = 56;  // floats; the value is their sum
constexpr size_t EntryFields = 60;                    // the bytes of an entry that are read

struct tBindingRow {
  tStringMap tSettings::*map;
  tChannelGroup group;
  tScale scale;
};
const tBindingRow BindingTable[] = {
    {&tSettings::RivaOrderT, tChannelGroup::T, tScale::Times100},
    {&tSettings::RivaOrderF, tChannelGroup::F, tScale::AsIs},
};

// The first channel whose entry occurs in the name takes the value and binds to the name.
void Bind(tPassContext& ctx, const tBindingRow& row, const std::string& name, double value) {
  for (int k = 1; k <= TempChannels; ++k) {
    std::string& entry = (ctx.Settings.*row.map)[static_cast<size_t>(ChannelIndex(k))];
    if (entry.empty() || name.find(entry) == std::string::npos) continue;
    SetChannel(ctx.Current.Readings, row.group, k, Scaled(value, row.scale));
    entry = name;
    return;
  }
}

std::string Hex4(uint32_t v) {
  char text[16];
  std::snprintf(text, sizeof text, "%04X", v);
  return text;
}

void ApplyRivaTuner(tPassContext& ctx, const ShmView& view) {
  const uint32_t signature = view.UInt32(SignatureOffset);
  const uint32_t version = view.UInt32(VersionOffset);
  LogEvent("Reading from RivaTuner shared memory version " + Hex4(version) + " " + std::to_string(signature));
  if (signature != Signature) return;

  const int32_t count = view.Int32(CountOffset);
  const uint64_t entrySize = version == FixedEntryVersion ? FixedEntrySize : view.UInt32(EntrySizeOffset);
  if (count <= 0) return;
  // A header whose entries overlap or reach past the block is refused before anything is read.
  if (entrySize < EntryFields)
    throw std::out_of_range("entry size " + std::to_string(entrySize) + " is too small");
  view.Require(EntriesOffset + entrySize * static_cast<uint64_t>(count - 1) + EntryFields);

  for (int32_t e = 0; e < count; ++e) {
    const size_t entry = EntriesOffset + entrySize * static_cast<size_t>(e);
    const std::string name = Trim(OutsideText(view.Chars(entry, EntryNameSize)));
    const double value = static_cast<double>(view.Float(entry + EntryValue1)) + view.Float(entry + EntryValue2);
    LogEvent(name + " " + FormatOneDecimal(value));
    if (!std::isfinite(value)) continue;
    const std::string lower = LowerCase(name);
    for (const tBindingRow& row : BindingTable) Bind(ctx, row, lower, value);
  }
}

}  // namespace

std::string FormatOneDecimal(double v) {
  char text[64];
  std::snprintf(text, sizeof text, "%.1f", v);
  std::string s = text;
  if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
  if (s == "-0") s = "0";
  return s;
}

void ReadRivaTuner(tPassContext& ctx) {
  ReadSharedMemory("RTHMSharedMemory", tShmAccess::Read,
                   [&ctx](const ShmView& view) { ApplyRivaTuner(ctx, view); }, {"rv rt 1 ", "rv rt 2 "}, ShmWatch(ctx));
}

}  // namespace kv
