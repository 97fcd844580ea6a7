#pragma once

namespace kv {

struct tPassContext;

// Motherboard Monitor 5 in its three block layouts, all opened for full access.
void ReadMBM5190(tPassContext& ctx);  // 5.1.9: "$M$B$M$5$S$D$", 100 sensor records
void ReadMBM5107(tPassContext& ctx);  // 5.1.0.7: "$M$B$M$5$D$"
void ReadMBM509x(tPassContext& ctx);  // 5.0.9: the same block name, older layout

}  // namespace kv
