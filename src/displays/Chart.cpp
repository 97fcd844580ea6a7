#include "displays/Chart.h"

#include <QFile>
#include <QImageReader>
#include <algorithm>
#include <atomic>
#include <cmath>
#include <exception>

#include "core/EventLog.h"
#include "displays/ChartParts.h"
#include "settings/Settings.h"

namespace kv {

namespace {

std::array<QImage, BandIconCount> bandIcons;

// Icons are small pictures; a file that claims to be larger is not one of ours.
constexpr int MaxIconSide = 64;

}  // namespace

void LoadBandIcons(const std::string& folder) {
  for (int i = 0; i < BandIconCount; ++i) {
    bandIcons[i] = QImage();
    // Opened first: a reader given a file it cannot open still hands it to libpng, which then
    // complains on stderr about an icon that is simply not installed.
    QFile file(QString::fromStdString(folder + BandIconFiles[i]));
    if (!file.open(QIODevice::ReadOnly)) continue;
    // The format named and guessing off: otherwise Qt loads every image plugin to ask it.
    QImageReader reader(&file, "png");
    reader.setAutoDetectImageFormat(false);
    const QSize size = reader.size();
    if (!size.isValid() || size.width() > MaxIconSide || size.height() > MaxIconSide) continue;
    QImage picture;
    if (reader.read(&picture)) bandIcons[i] = picture.convertToFormat(QImage::Format_ARGB32);
  }
}

const QImage& BandIcon(tBandIcon icon) {
  static const QImage none;
  if (icon < 0 || icon >= BandIconCount) return none;
  return bandIcons[icon];
}

std::optional<ChartGeometry> DrawStatistics(QImage& image, const tDisplayData& d, const tStatStore& series,
                                            TDateTime endTime, double hours, std::vector<tDrawnText>* texts,
                                            tTextCache* textCache) {
  if (series.LastIndex < 0) return std::nullopt;
  // A window must have a width and an end inside the calendar (years 0 .. 9999).
  if (!(hours > 0) || !std::isfinite(hours) || !(std::fabs(endTime) < 2958466)) return std::nullopt;

  // Only the samples both arrays really hold; a copy is cut only when the series claims more.
  const size_t held = std::min(series.Samples.size(), series.SamplesExtra.size());
  const int32_t lastHeld = static_cast<int32_t>(std::min<size_t>(static_cast<size_t>(series.LastIndex) + 1, held)) - 1;
  if (lastHeld < 0) return std::nullopt;
  tStatStore cut;
  if (lastHeld != series.LastIndex) {
    cut = series;
    cut.LastIndex = lastHeld;
  }
  const tStatStore& copy = lastHeld != series.LastIndex ? cut : series;

  LogEvent("Drawing statistics");
  const int W = std::clamp<int32_t>(d.Settings.StatsWidth, 100, 4096);
  // The layout may take all ChartBitmapHeight rows, but every row of the bitmap costs page faults
  // on each drawing, and the chart's height rarely changes: the bitmap is as tall as the last
  // chart of this width plus some room, and the chart is drawn again at its height when it has
  // outgrown that. Rows outside the bitmap are clipped, so the layout is the same either way.
  // A first chart of a width (every picture a one-shot run saves) is so measured in
  // ChartFirstRows: faulting in all ChartBitmapHeight rows and cutting a copy cost more than
  // the second drawing.
  static std::atomic<int64_t> lastShape{0};  // width << 32 | used height
  const int64_t shape = lastShape.load();
  int rows = ChartFirstRows;
  if ((shape >> 32) == W) rows = std::min<int>(ChartBitmapHeight, static_cast<int>(shape & 0xFFFFFFFF) + ChartRoom);
  // The caller's last chart of this width is drawn over in place when the chart keeps its
  // height, as it does from tick to tick: no new bitmap to fault in and no copy to cut.
  const bool inPlace = image.width() == W && image.height() > 0 &&
                       image.format() == QImage::Format_RGB32;
  if (inPlace) rows = image.height();
  for (;;) {
    QImage fresh;
    if (!inPlace || rows != image.height()) fresh = QImage(W, rows, QImage::Format_RGB32);
    QImage& bitmap = fresh.isNull() ? image : fresh;
    Canvas c(bitmap, textCache);
    if (texts != nullptr) texts->clear();
    c.drawnTexts = texts;
    c.penColour = d.Settings.cBorder;
    c.penStyle = tPenStyle::Solid;
    c.brushColour = d.Settings.cBack;
    c.brushStyle = tBrushStyle::Solid;
    c.Rectangle(0, 0, W, ChartBitmapHeight);
    c.SetFont(tFont{FontArial, 12, false, 0});

    tChartContext ctx(c, d, copy);
    ctx.W = W;
    ctx.endTime = endTime;
    ctx.hours = hours;
    SetUpChart(ctx);

    DrawSensorBands(ctx);
    const int systemTop = ctx.y;
    for (int s = csMemory; s < ChartSections; ++s) {
      if (s != csTemperatures && s != csVoltages && s != csFans) ctx.geometry.Rows[s] = {systemTop, systemTop};
    }
    DrawSystemBands(ctx);
    DrawChartFooter(ctx);

    const int used = std::clamp(ctx.y, 1, ChartBitmapHeight);
    if (used > rows) {
      rows = used;  // the layout does not depend on the rows drawn, so this height is exact
      continue;
    }
    lastShape.store(static_cast<int64_t>(W) << 32 | used);
    ctx.geometry.Height = used;
    if (used != rows) image = bitmap.copy(0, 0, W, used);
    else if (&bitmap != &image) image = std::move(fresh);  // drawn at its height: no copy to cut
    return ctx.geometry;
  }
}

}  // namespace kv
