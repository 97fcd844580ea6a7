#include "readvalue/AtiTool.h"

#include "readvalue/SourceFields.h"
#include "settings/Settings.h"

namespace kv {

namespace {

const tMappedField AtiToolTable[] = {
    // offset, type, map entry, group, map, test, scaling
    {72, tFieldType::Double, "templocal", tChannelGroup::T, &tSettings::AtiToolOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {80, tFieldType::Double, "tempremote", tChannelGroup::T, &tSettings::AtiToolOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {88, tFieldType::UInt16, "fanspeed", tChannelGroup::F, &tSettings::AtiToolOrderF, FanBelow20000, tScale::AsIs},
};

}  // namespace

void ReadAtiTool(tPassContext& ctx) {
  ReadSharedMemory("ATIToolData", tShmAccess::Read,
                   [&ctx](const ShmView& view) { ApplyTable(ctx, view, AtiToolTable); }, {"rv29 ", "rv30 "}, ShmWatch(ctx));
}

}  // namespace kv
