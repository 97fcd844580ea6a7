#pragma once
// What the system band files (memory, CPU, battery, disks; network) share among themselves.
#include <functional>
#include <limits>
#include <string>
#include <vector>

#include "displays/ChartParts.h"

namespace kv {

// Runs item; a failure is logged as tag + message and the drawing goes on.
void GuardItem(const char* tag, const std::function<void()>& item);

// Per-component mean of two colours, halves rounded down.
tColour MeanColour(tColour a, tColour b);

// The number of grid lines a band of height H asks for: ceil(H / 20 + 1).
int GridLineCount(int H);

// What a value getter answers for a sample that holds no value.
inline constexpr double NoNumber = std::numeric_limits<double>::quiet_NaN();

using tGetter = std::function<double(const tReadings&, const tReadingsExtra&)>;
constexpr int LegendPitch = 9;

// The "Min"/"Max"/"Avg" texts of a legend row; the mean stays empty without samples.
std::vector<std::string> StatisticTexts(const std::string& current, const tChannelSummary& sum,
                                        std::string (*format)(double));

// The samples of a series that both its arrays really hold.
int SampleCount(const tStatStore& s);

// Filled areas from the band's bottom line, walked from the newest sample: fraction gives the
// share of the band height a sample fills (NAN when it cannot be shown, which closes the
// current polygon).
void DrawAreas(tChartContext& ctx, int y0, int H, tColour colour, const tGetter& fraction);

// The 0 .. 100 % grid of the CPU and battery bands.
void DrawPercentGrid(tChartContext& ctx, int y0, int H);

// A date-time pattern of the language file ("hh:nn": h hours, n minutes, s seconds, quoted text
// copied) applied to the time of day of t.
std::string FormatTimePattern(const std::string& pattern, double t);

// The user's active seconds over the window: the sum of the increases of UserSecs between
// consecutive samples (a counter that went back counts 0). With draw, each such interval is a
// two-pixel colUser line on the bottom of the band at y0 with height H.
int64_t DrawUserActivity(tChartContext& ctx, int y0, int H, bool draw);

// The network section: one shared band, or one band per slot with NetSep.
void DrawNetworkSection(tChartContext& ctx);
// The GPU band (off unless a visGPU switch is on).
void DrawGpuBand(tChartContext& ctx);
// A GPU slot's switch, its name in the legend and the hover text ("GPU1 <card name>"), and
// its load (hundredths of a percent) and power (mW) as shown there.
bool GpuSlotShown(const tSettings& s, int slot);
std::string GpuLabel(const std::vector<tGpu>& gpus, int slot);
std::string GpuLoadText(double hundredths);
std::string GpuWattText(double milliwatts);
// The battery section: the charge band below 240 hours, the wear band from there on.
void DrawBatterySection(tChartContext& ctx);

}  // namespace kv
