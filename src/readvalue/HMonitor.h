#pragma once

namespace kv {

// Hmonitor's block "Hmonitor_Counters_Block": three temperatures, seven voltages, three fans.
void ReadHMonitor();

}  // namespace kv
