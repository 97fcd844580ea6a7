#pragma once
// The chart's shared machinery, used by its band files (ChartSensorBands.cpp,
// ChartSystemBands.cpp) and by the banner, which reuses the band frame and its bevel.
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "displays/Canvas.h"
#include "displays/Chart.h"
#include "displays/DisplayData.h"
#include "statistics/StatStore.h"

namespace kv {

// The bevel on a drawn frame rectangle (x1, y1)-(x2, y2), right and bottom exclusive: the inner
// bottom and right edge in cScBorder2 and the rounded corner pixels in cBack, cScBorder and
// cScBorder2. The band frames, the disk boxes and the banner share it.
void DrawBevel(Canvas& c, const tSettings& settings, int x1, int y1, int x2, int y2);

// The per-channel summary over the drawn window: minimum and maximum start from the current
// value (when it holds one), no-value markers are ignored.
struct tChannelSummary {
  bool hasMinMax = false;
  double min = 0, max = 0;
  double sum = 0;
  int count = 0;  // samples in the window that counted toward the mean
  bool hasMean() const { return count > 0; }
  double mean() const;  // sum / count rounded to the nearest integer
};

// The state of one drawing, passed to every band. Everything here is derived from the drawing's
// inputs; nothing outlives the drawing except `geometry`, which the caller returns.
struct tChartContext {
  Canvas& c;
  const tDisplayData d;      // the readings of the legends, the settings, the fine series
  const tStatStore& series;  // the drawing's private copy
  TDateTime endTime = 0;     // UTC of the right edge
  double hours = 0;
  int W = 0;                 // StatsWidth
  TDateTime endLocal = 0;    // DisplayTime(endTime)
  double pxPerHour = 0;
  double halfPixelHours = 0;
  double gridStep = 0;       // hours between vertical grid lines
  int x1 = 0, x2 = 0, x3 = 0, x4 = 0;  // legend value columns; the name column is at 10
  int y = 2;                 // the running position
  QRect labelInk;            // the value labels of the band drawn last: the legend row below keeps clear
  bool axisDrawn = false;
  ChartGeometry geometry;

  tChartContext(Canvas& canvas, const tDisplayData& data, const tStatStore& s) : c(canvas), d(data), series(s) {}

  // Age of a sample in hours before endTime (negative: newer than endTime).
  double AgeOf(const tReadings& r) const { return (endTime - r.Time) * 24.0; }
  // x of a curve point of that age.
  int CurveX(double age) const;
  // x of an area point (memory, CPU clock, battery): one pixel further right.
  int AreaX(double age) const;
};

// The tallest chart the layout makes; the footer needs the last ChartFooterHeight pixels of
// whatever is drawn.
constexpr int ChartBitmapHeight = 2000;
constexpr int ChartFooterHeight = 17;
// Rows beyond the last chart's height that a drawing may grow into without being drawn again.
constexpr int ChartRoom = 128;
// The rows a first chart of a width is measured in, before it is drawn at its height.
constexpr int ChartFirstRows = 1;

// Derives the window values into ctx from W, endTime and hours.
void SetUpChart(tChartContext& ctx);

// A band height from the settings, clamped to 0 .. ChartBitmapHeight (the INI may hold anything).
int BandHeight(int32_t setting);
// Whether `height` more pixels from ctx.y (plus the time-axis row when it is still due) leave room
// for the footer inside the bitmap. A band or legend row that does not fit is not drawn.
bool RoomFor(const tChartContext& ctx, int height);
// The scale a band draws its grid and curves on: lo == hi is widened by unit on both sides; a
// reversed or non-finite scale answers false (the band then draws frame, icon and legend only).
bool DrawableScale(double& lo, double& hi, double unit);

// The time-axis row, once, before the first drawn band.
void DrawTimeAxisRow(tChartContext& ctx);
// Starts a band of height H at ctx.y: the time-axis row when not yet drawn, the frame with its
// bevel, the CPU-clock mark when asked for, and the dotted vertical time grid.
void DrawBandFrame(tChartContext& ctx, int H, bool cpuClockMark);
// The band icon at (8, y0 + H - 10); an empty icon draws nothing.
void DrawBandIcon(tChartContext& ctx, tBandIcon icon, int y0, int H);

// One dotted horizontal grid line at y with its label right-aligned at labelRight.
void DrawValueGridLine(tChartContext& ctx, int y, const std::string& label, int labelRight);
// Only the label of such a line, for bands whose areas would cover labels drawn before them.
void DrawValueLabel(tChartContext& ctx, int y, const std::string& label, int labelRight);

// Maps v on [lo, hi] into the plot area of a band at y0 with height H (not rounded).
double MapToBand(double v, double lo, double hi, int y0, int H);

// How one curve walks the series.
struct tCurveSpec {
  bool oldestFirst = false;  // the temperature band walks from the oldest sample
  int offset = 7;            // vertical offset added to the mapped y
  double smoothing = 0;      // Alpha; 0 = none
  double lo = 0, hi = 0;     // the band's scale
  int y0 = 0, H = 0;
  tColour colour = 0;
  bool bold = false;         // drawn a second time one pixel lower: a line two pixels high
  // The value of sample i in scale units, or NAN when it holds none.
  std::function<double(const tReadings&, const tReadingsExtra&)> value;
};
// A curve on a band of hundredths of a percent (0..10000) at y0, H pixels high.
tCurveSpec PercentCurve(int y0, int H);
// Draws the curve with thinning, breaks and single pixels, twice one pixel apart when bold.
void DrawCurve(tChartContext& ctx, const tCurveSpec& spec);

// Walks the window from the newest sample and summarises the value getter (NAN = no value);
// `current` (NAN = none) seeds minimum and maximum.
// With zeroOnlyInMean a value of 0 counts toward the mean but not toward minimum and maximum
// (fans: a stopped fan from old files).
tChannelSummary Summarise(const tChartContext& ctx, double current,
                          const std::function<double(const tReadings&, const tReadingsExtra&)>& value,
                          bool zeroOnlyInMean = false);

// One legend row at y in colour: the name in the name column (clipped at x1 - 5 when clipped),
// then up to four texts at x1..x4.
void DrawLegendRow(tChartContext& ctx, int y, tColour colour, const std::string& name,
                   const std::vector<std::string>& texts, bool clipped);

// The system bands, between the fan band and the footer: memory, CPU, network, battery, disks.
void DrawSystemBands(tChartContext& ctx);
// The three sensor bands and the footer.
void DrawSensorBands(tChartContext& ctx);
void DrawChartFooter(tChartContext& ctx);
// The footer's middle text for a window of `hours`: the uptime for short windows (or with
// IncludeStaticData) when ReadUpTime, otherwise for longer windows the span name; may be empty.
std::string FooterMiddleText(const tDisplayData& d, double hours);

}  // namespace kv
