#pragma once

namespace kv {

struct tPassContext;

// CPUCooL's block "CPUCooL$Data$Area": temperatures, voltages, fans and two CPU loads.
void ReadCPUCooL(tPassContext& ctx);

}  // namespace kv
