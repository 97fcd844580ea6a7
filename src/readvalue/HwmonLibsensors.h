#pragma once
// The hwmon provider on libsensors, which honours the user's sensors3.conf labels, computations
// and ignores. The library scans the chips once at initialisation and reads values per pass.
#include <vector>

#include "readvalue/HwmonSource.h"

namespace kv {

// Temperatures, voltages and fans of every chip libsensors found; initialises it on first use.
// Failures: "rv hw 1 " initialising, "rv hw 2 " reading a chip or a value.
std::vector<tHwmonSensor> ReadLibsensors();

// Rescans chips and configuration (after a settings load) when the source is enabled.
void ReinitHwmon(bool enabled);

// Releases libsensors; the next read initialises it again.
void CloseHwmon();

}  // namespace kv
