#pragma once

namespace kv {

// CPUCooL's block "CPUCooL$Data$Area": temperatures, voltages, fans and two CPU loads.
void ReadCPUCooL();

}  // namespace kv
