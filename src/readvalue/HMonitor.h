#pragma once

namespace kv {

struct tPassContext;

// Hmonitor's block "Hmonitor_Counters_Block": three temperatures, seven voltages, three fans.
void ReadHMonitor(tPassContext& ctx);

}  // namespace kv
