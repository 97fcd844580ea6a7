#include "readvalue/HMonitor.h"

#include "readvalue/SourceFields.h"

namespace kv {

namespace {

const tFieldRun HMonitorTable[] = {
    // offset, stride, type, group, channels from, count, test, scaling
    {4, 4, tFieldType::Float, tChannelGroup::T, 1, 3, TempOrAzv, tScale::Times100},
    {20, 0, tFieldType::Float, tChannelGroup::V, 1, 1, NonZero, tScale::Times100},
    {24, 0, tFieldType::Float, tChannelGroup::V, 2, 1, NonZero, tScale::Times100},
    {16, 0, tFieldType::Float, tChannelGroup::V, 3, 1, NonZero, tScale::Times100},
    {28, 4, tFieldType::Float, tChannelGroup::V, 4, 4, NonZero, tScale::Times100},
    {44, 4, tFieldType::Int32, tChannelGroup::F, 1, 3, FanNot255Below20000, tScale::AsIs},
};

}  // namespace

void ReadHMonitor(tPassContext& ctx) {
  ReadSharedMemoryStepErrors("Hmonitor_Counters_Block", tShmAccess::Read,
                             [&ctx](const ShmView& view) { ApplyTable(ctx, view, HMonitorTable); },
                             {"rv8 ", "rv9 "}, ShmWatch(ctx));
}

}  // namespace kv
