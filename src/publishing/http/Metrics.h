#pragma once
// The readings in the Prometheus text exposition format (version 0.0.4). Built on the main
// thread after each pass; the server only hands the text out.
#include <span>
#include <string>

#include "core/MetricFamily.h"
#include "readvalue/AcquisitionPass.h"
#include "readvalue/Readings.h"

namespace kv {

struct tSettings;

// The readings table, its companions, the disk slots and each pass step's health, then more
// families (the alert gauges): complete families ("# HELP", "# TYPE" and samples, every line
// ending in "\n").
std::string MetricsText(const tReadingsState& current, const tSettings& settings, std::span<const tStepHealth> health,
                        const std::string& moreFamilies = {});

}  // namespace kv
