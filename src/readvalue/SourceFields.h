#pragma once
// What the shared-memory sensor sources have in common: channel access by group and 1-based
// channel number, the plausibility tests, the scalings, and fixed-layout field tables that a
// source describes as data and applies with one loop.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/SharedMemory.h"
#include "readvalue/PassContext.h"
#include "settings/Channels.h"

namespace kv {

enum class tChannelGroup { T, V, F, CPU };

// Channels are 1-based here, as the outside programs' tables number them.
void SetChannel(tReadings& readings, tChannelGroup group, int channel, int16_t value);
// The configured name of a T, V or F channel, and the default it starts with ("T3").
std::string& ChannelName(tSettings& settings, tChannelGroup group, int channel);
std::string DefaultChannelName(tChannelGroup group, int channel);
// A name or label taken from another program's block or file, made fit for the settings files
// and JSON: valid UTF-8 is kept, anything else is read as Windows-1252 (what those programs
// write), and control characters are dropped.
std::string OutsideText(std::string_view raw);

// Renames a T, V or F channel only while it keeps its default name.
void NameChannel(tSettings& settings, tChannelGroup group, int channel, const std::string& name);

// ---- Plausibility tests (AZV: the AcceptZeroValue setting, given as azv) ----
using tValueTest = bool (*)(double, bool azv);

bool AnyValue(double, bool);
bool NonZero(double v, bool);                  // v ≠ 0
bool TempOrAzv(double t, bool azv);            // (t ≠ 0 and t < 150) or AZV
bool TempBelow150ZeroIfAzv(double t, bool azv);  // t < 150 and (t ≠ 0 or AZV)
bool VoltWithin20(double v, bool);             // -20 < v < 20 and v ≠ 0
bool VoltWithin150(double v, bool);            // -150 < v < 150 and v ≠ 0
bool FanBelow20000(double f, bool);            // f < 20000
bool FanNot255Below20000(double f, bool);      // f ≠ 255 and f < 20000
bool FanNot255(double f, bool);                // f ≠ 255

// ---- Scalings into a 16-bit channel ----
enum class tScale {
  AsIs,      // rounded, ties to even
  Times100,  // ×100, rounded, ties to even
  Load1024,  // a load in 1/1024 → hundredths of a percent
};
int16_t Scaled(double v, tScale scale);

// Tests and stores one value. A value that is not a finite number never reaches a channel:
// a block that holds garbage leaves the channel as it was.
void StoreChecked(tPassContext& ctx, tChannelGroup group, int channel, double v, tValueTest test, tScale scale);

// ---- Fixed layouts ----
enum class tFieldType { Int16, UInt16, Int32, UInt32, Float, Double };
size_t FieldSize(tFieldType type);
double ReadField(const ShmView& view, size_t offset, tFieldType type);

// count fields of one type, stride bytes apart from offset, feeding channels firstChannel.. of
// one group: one line of a source's table.
struct tFieldRun {
  size_t offset;
  size_t stride;
  tFieldType type;
  tChannelGroup group;
  int firstChannel;
  int count;
  tValueTest test;
  tScale scale;
};

// A field tested against a string order map: every channel whose map entry equals `entry`.
struct tMappedField {
  size_t offset;
  tFieldType type;
  const char* entry;
  tChannelGroup group;
  tStringMap tSettings::*map;
  tValueTest test;
  tScale scale;
};

// The byte just past a row's last field.
size_t RowEnd(const tFieldRun& run);
size_t RowEnd(const tMappedField& field);

void ApplyRow(tPassContext& ctx, const ShmView& view, const tFieldRun& run);
void ApplyRow(tPassContext& ctx, const ShmView& view, const tMappedField& field);

// One table, read in row order. A block shorter than the table's layout is refused before
// anything is stored from it.
template <typename Row, size_t N>
void ApplyTable(tPassContext& ctx, const ShmView& view, const Row (&rows)[N]) {
  size_t end = 0;
  for (const Row& row : rows) end = std::max(end, RowEnd(row));
  view.Require(end);
  for (const Row& row : rows) ApplyRow(ctx, view, row);
}

// ReadSharedMemory for sources whose reading errors belong to the whole step (their second tag
// covers only the unmapping): the block is unmapped and closed first, then the error goes on
// to the pass's guard. True when the block was there and read.
bool ReadSharedMemoryStepErrors(const std::string& name, tShmAccess access, const tShmReader& reader,
                                const tShmTags& tags, tShmWatch* watch);

// The pass's record of the blocks that are missing (see tShmWatch).
tShmWatch* ShmWatch(tPassContext& ctx);

}  // namespace kv
