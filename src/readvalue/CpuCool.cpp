#include "readvalue/CpuCool.h"

#include "readvalue/SourceFields.h"

namespace kv {

namespace {

constexpr size_t ValidOffset = 84;  // int32; the block holds nothing until it is non-zero

const tFieldRun CpuCoolTable[] = {
    // offset, stride, type, group, channels from, count, test, scaling
    {0, 4, tFieldType::Int32, tChannelGroup::T, 1, 10, TempOrAzv, tScale::Times100},
    {40, 4, tFieldType::Float, tChannelGroup::V, 1, 7, VoltWithin20, tScale::Times100},
    {68, 4, tFieldType::Int32, tChannelGroup::F, 1, 4, FanBelow20000, tScale::AsIs},
    {92, 4, tFieldType::Int32, tChannelGroup::CPU, 1, 2, AnyValue, tScale::Load1024},
};

}  // namespace

void ReadCPUCooL(tPassContext& ctx) {
  ReadSharedMemoryStepErrors("CPUCooL$Data$Area", tShmAccess::Read,
                             [&ctx](const ShmView& view) {
                               if (view.Int32(ValidOffset) != 0) ApplyTable(ctx, view, CpuCoolTable);
                             },
                             {"rv4 ", "rv5 "}, ShmWatch(ctx));
}

}  // namespace kv
