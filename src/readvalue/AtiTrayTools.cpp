#include "readvalue/AtiTrayTools.h"

#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

const tMappedField ATTTable[] = {
    // offset, type, map entry, group, map, test, scaling
    {20, tFieldType::UInt32, "gputemp", tChannelGroup::T, &tSettings::ATTOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {24, tFieldType::UInt32, "envtemp", tChannelGroup::T, &tSettings::ATTOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {64, tFieldType::UInt32, "fanspeed", tChannelGroup::F, &tSettings::ATTOrderF, AnyValue, tScale::Times100},
};

}  // namespace

void ReadATITrayTools(tPassContext& ctx) {
  ReadSharedMemory("ATITRAY_SMEM", tShmAccess::Read,
                   [&ctx](const ShmView& view) { ApplyTable(ctx, view, ATTTable); }, {"rv att 1 ", "rv att 2 "}, ShmWatch(ctx));
}

}  // namespace kv
