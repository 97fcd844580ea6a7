#pragma once

namespace kv {

// ATITool's block "ATIToolData": two temperatures and a fan, placed by AtiToolOrderT/F.
void ReadAtiTool();

}  // namespace kv
