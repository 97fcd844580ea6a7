#include "readvalue/AtiTrayTools.h"

#include "readvalue/SourceFields.h"

namespace kv {

namespace {

const tMappedField ATTTable[] = {
    // offset, type, map entry, group, map, test, scaling
    {20, tFieldType::UInt32, "gputemp", tChannelGroup::T, &ATTOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {24, tFieldType::UInt32, "envtemp", tChannelGroup::T, &ATTOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {64, tFieldType::UInt32, "fanspeed", tChannelGroup::F, &ATTOrderF, AnyValue, tScale::Times100},
};

}  // namespace

void ReadATITrayTools() {
  ReadSharedMemory("ATITRAY_SMEM", tShmAccess::Read,
                   [](const ShmView& view) { ApplyTable(view, ATTTable); }, {"rv att 1 ", "rv att 2 "});
}

}  // namespace kv
