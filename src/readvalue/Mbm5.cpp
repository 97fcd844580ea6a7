#include "readvalue/Mbm5.h"

#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// ---- 5.1.9: sensor records ----
constexpr size_t RecordsOffset = 88;
constexpr size_t RecordSize = 80;
constexpr int RecordCount = 100;
constexpr size_t RecordValue = 16;  // double
constexpr uint8_t VoltageKind = 2, FanKind = 3;

size_t Record(int r) { return RecordsOffset + RecordSize * static_cast<size_t>(r); }

void ApplyMbm5190(tPassContext& ctx, const ShmView& view) {
  view.Require(Record(RecordCount));
  // The ordered temperatures take their record whatever its kind.
  for (int k = 1; k <= TempChannels; ++k) {
    const int r = ctx.Settings.MBMOrderT[static_cast<size_t>(ChannelIndex(k))];
    if (r < RecordCount)
      StoreChecked(ctx, tChannelGroup::T, k, view.Double(Record(r) + RecordValue), TempOrAzv, tScale::Times100);
  }
  // Voltages and fans in record order; a record that fails its test still takes its channel.
  int voltages = 0, fans = 0;
  for (int r = 0; r < RecordCount; ++r) {
    const uint8_t kind = view.Byte(Record(r));
    const double v = view.Double(Record(r) + RecordValue);
    if (kind == VoltageKind && ++voltages <= VoltChannels)
      StoreChecked(ctx, tChannelGroup::V, voltages, v, VoltWithin150, tScale::Times100);
    else if (kind == FanKind && ++fans <= FanChannels)
      StoreChecked(ctx, tChannelGroup::F, fans, v, FanNot255, tScale::AsIs);
  }
}

// ---- 5.1.0.7 and 5.0.9: fixed fields, each behind its own validity count ----
const tFieldRun Mbm5107Table[] = {
    // offset, stride, type, group, channels from, count, test, scaling
    {0, 4, tFieldType::Int32, tChannelGroup::T, 1, 10, TempOrAzv, tScale::Times100},
    {40, 8, tFieldType::Double, tChannelGroup::V, 1, 10, VoltWithin150, tScale::Times100},
    {120, 4, tFieldType::Int32, tChannelGroup::F, 1, 10, FanNot255Below20000, tScale::AsIs},
};
constexpr size_t Mbm5107Valid = 160;

const tFieldRun Mbm509xTable[] = {
    {0, 4, tFieldType::Int32, tChannelGroup::T, 1, 10, TempOrAzv, tScale::Times100},
    {40, 8, tFieldType::Double, tChannelGroup::V, 1, 7, VoltWithin150, tScale::Times100},
    {96, 4, tFieldType::Int32, tChannelGroup::F, 1, 4, FanNot255Below20000, tScale::AsIs},
};
constexpr size_t Mbm509xValid = 112;

const char* const Mbm5Name = "$M$B$M$5$D$";

}  // namespace

void ReadMBM5190(tPassContext& ctx) {
  ReadSharedMemory("$M$B$M$5$S$D$", tShmAccess::Full,
                   [&ctx](const ShmView& view) { ApplyMbm5190(ctx, view); }, {"rv17 ", "rv17 "}, ShmWatch(ctx));
}

void ReadMBM5107(tPassContext& ctx) {
  ReadSharedMemory(Mbm5Name, tShmAccess::Full,
                   [&ctx](const ShmView& view) {
                     if (view.Int32(Mbm5107Valid) > 0) ApplyTable(ctx, view, Mbm5107Table);
                   },
                   {"rv18 ", "rv18 "}, ShmWatch(ctx));
}

void ReadMBM509x(tPassContext& ctx) {
  ReadSharedMemory(Mbm5Name, tShmAccess::Full,
                   [&ctx](const ShmView& view) {
                     if (view.Int32(Mbm509xValid) > 0) ApplyTable(ctx, view, Mbm509xTable);
                   },
                   {"rv19 ", "rv19 "}, ShmWatch(ctx));
}

}  // namespace kv
