#pragma once
// What the pictures and the filled-in texts show: the readings table of the last pass, the three
// series, the settings they are drawn with and the process's folders (the light's template). The
// chart and the banner leave their automatic scales in the settings, so those are not const.
#include "core/Process.h"
#include "readvalue/Readings.h"
#include "statistics/StatStore.h"

namespace kv {

struct tSettings;

struct tDisplayData {
  tSettings& Settings;
  const tReadingsState& Current;
  const tStatistics& Series;
  const tProcessFacts& Process;
};

}  // namespace kv
