#pragma once

namespace kv {

// ATI Tray Tools' block "ATITRAY_SMEM": two temperatures and a fan, placed by ATTOrderT/F.
void ReadATITrayTools();

}  // namespace kv
