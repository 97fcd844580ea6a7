#include "displays/ChartParts.h"

namespace kv {

// Memory, CPU, network, battery and disks come here.
void DrawSystemBands(tChartContext&) {}

}  // namespace kv
