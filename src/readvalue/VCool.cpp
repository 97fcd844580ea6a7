#include "readvalue/VCool.h"

#include "readvalue/SourceFields.h"

namespace kv {

namespace {

const tFieldRun VCoolTable[] = {
    // offset, stride, type, group, channels from, count, test, scaling
    {36, 4, tFieldType::UInt32, tChannelGroup::T, 1, 2, TempOrAzv, tScale::Times100},
    {44, 4, tFieldType::UInt32, tChannelGroup::F, 1, 3, FanBelow20000, tScale::AsIs},
    {56, 0, tFieldType::Int16, tChannelGroup::CPU, 4, 1, AnyValue, tScale::Times100},
};

}  // namespace

void ReadVCool(tPassContext& ctx) {
  ReadSharedMemory("VCOOL_SHARED_DATA", tShmAccess::Full,
                   [&ctx](const ShmView& view) { ApplyTable(ctx, view, VCoolTable); }, {"rv7 ", "rv7 "}, ShmWatch(ctx));
}

}  // namespace kv
