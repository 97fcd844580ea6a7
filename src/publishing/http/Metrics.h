#pragma once
// The readings in the Prometheus text exposition format (version 0.0.4). Built on the main
// thread after each pass; the server only hands the text out.
#include <functional>
#include <string>

#include "core/MetricFamily.h"

namespace kv {

// The current readings table, its companions, the disk slots and each pass step's health.
std::string MetricsText();

// More metric families appended to MetricsText (alert gauges, say): each function returns
// complete families ("# HELP", "# TYPE" and samples, every line ending in "\n"). Main thread.
using tMetricLines = std::function<std::string()>;
void AddMetricLines(tMetricLines lines);
void ClearMetricLines();

}  // namespace kv
