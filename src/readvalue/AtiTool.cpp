#include "readvalue/AtiTool.h"

#include "readvalue/SourceFields.h"

namespace kv {

namespace {

const tMappedField AtiToolTable[] = {
    // offset, type, map entry, group, map, test, scaling
    {72, tFieldType::Double, "templocal", tChannelGroup::T, &AtiToolOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {80, tFieldType::Double, "tempremote", tChannelGroup::T, &AtiToolOrderT, TempBelow150ZeroIfAzv, tScale::Times100},
    {88, tFieldType::UInt16, "fanspeed", tChannelGroup::F, &AtiToolOrderF, FanBelow20000, tScale::AsIs},
};

}  // namespace

void ReadAtiTool() {
  ReadSharedMemory("ATIToolData", tShmAccess::Read,
                   [](const ShmView& view) { ApplyTable(view, AtiToolTable); }, {"rv29 ", "rv30 "});
}

}  // namespace kv
