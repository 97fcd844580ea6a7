#pragma once
// The statistics chart: one series drawn as a stack of bands (temperatures, voltages, fans,
// memory, CPU, network, battery, disks) over a time window, with a time-axis row and a footer.
// Main thread only.
#include <array>
#include <optional>
#include <string>

#include <QImage>

#include "core/DateTime.h"
#include "displays/Canvas.h"
#include "displays/DisplayData.h"
#include "statistics/StatStore.h"

namespace kv {

// The hover sections of the chart, in the order of ChartGeometry::Rows.
enum tChartSection {
  csTemperatures = 0,
  csVoltages = 1,
  csFans = 2,
  csMemory = 3,
  csNetwork = 4,
  csBattery = 5,
  csDisks = 6,
  csCPU = 7,
  csGPU = 8,
  ChartSections = 9
};

struct tRowRange {
  int top = 0;
  int bottom = 0;  // the next section's top: a section that drew nothing has top == bottom
};

// What the chart view needs to turn a mouse position back into a time and a section.
struct ChartGeometry {
  TDateTime EndTime = 0;
  double PxPerHour = 0;
  double HalfPixelHours = 0;
  std::array<tRowRange, ChartSections> Rows{};
  int Height = 0;  // the picture's height
};

// Draws series over the hours up to endTime (UTC) into image, which becomes StatsWidth wide and
// exactly as tall as its content; the legends show d's current readings. An empty series draws
// nothing: the image keeps its picture and the answer is nullopt. The automatic scales write
// their results into d's settings.
// texts, when given, receives where each text went. A caller that draws the chart again and
// again hands in the same textCache each time.
std::optional<ChartGeometry> DrawStatistics(QImage& image, const tDisplayData& d, const tStatStore& series,
                                            TDateTime endTime, double hours, std::vector<tDrawnText>* texts = nullptr,
                                            tTextCache* textCache = nullptr);

// The band icons, one 16 x 16 picture per band kind.
enum tBandIcon { biTemperatures, biVoltages, biFans, biMemory, biCPU, biNetwork, biBattery, biGpu, BandIconCount };
// The icon files' names, in tBandIcon order ("temperatures.png", ...).
extern const std::array<const char*, BandIconCount> BandIconFiles;
// Loads the icons from folder (the program's data folder at start-up); a missing or unreadable file leaves that
// icon empty, and an empty icon is simply not drawn.
void LoadBandIcons(const std::string& folder);
const QImage& BandIcon(tBandIcon icon);

}  // namespace kv
