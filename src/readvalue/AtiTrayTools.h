#pragma once

namespace kv {

struct tPassContext;

// ATI Tray Tools' block "ATITRAY_SMEM": two temperatures and a fan, placed by ATTOrderT/F.
void ReadATITrayTools(tPassContext& ctx);

}  // namespace kv
