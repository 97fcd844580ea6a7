#pragma once

namespace kv {

struct tPassContext;

// ATITool's block "ATIToolData": two temperatures and a fan, placed by AtiToolOrderT/F.
void ReadAtiTool(tPassContext& ctx);

}  // namespace kv
