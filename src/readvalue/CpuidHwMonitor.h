#pragma once

namespace kv {

struct tPassContext;

// CPUID Hardware Monitor's block "$CPUID$HWM$": devices with their sensors, voltages into
// V1..V9, temperatures into T1..T10, fans into F1..F10, in block order.
void ReadCPUID(tPassContext& ctx);

}  // namespace kv
