#pragma once
// The kernel's thermal zones (the counterpart of the ACPI zones): T[1..], one channel per zone
// that reports a temperature, in the kernel's zone order.

namespace kv {
struct tPassContext;
}

namespace kv::metrics {

void ReadThermalZones(tPassContext& ctx);

}  // namespace kv::metrics
