#include <algorithm>
#include <cmath>
#include <exception>
#include <limits>

#include <QDate>
#include <QLocale>

#include "core/EventLog.h"
#include "displays/ChartParts.h"
#include "displays/SegmentDigits.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// How many pixels smaller a legend text may be drawn before it is shortened instead.
constexpr int LegendSmallerSteps = 2;
// Legend rows are 9 pixels apart; a 10-pixel cell keeps a row's ink within 9 rows.
constexpr int LegendRowPitch = 9;
constexpr int LegendFontHeight = 10;

// A hand-edited window can ask for absurd spans; no mark loop runs longer than this.
constexpr int MaxTimeMarks = 4000;

// x of a mark at local time t on the time axis and in the vertical grid.
double MarkX(const tChartContext& ctx, TDateTime t) {
  return (ctx.W - 44) - ctx.pxPerHour * (ctx.endLocal - t) * 24.0;
}

int TruncToInt(double v) {
  if (!(v > -1e9)) return -1000000000;
  if (v > 1e9) return 1000000000;
  return static_cast<int>(v);
}

bool IsMidnight(TDateTime t) { return std::fabs(t - std::round(t)) < 1e-9; }

// Every time mark of the window, newest first, until x < 6: month starts from 2400 hours on,
// otherwise multiples of gridStep. fn(t, x) may throw; the caller guards.
template <typename Fn>
void ForEachTimeMark(const tChartContext& ctx, bool months, Fn fn) {
  if (months) {
    const QDate end = QDate(1899, 12, 30).addDays(static_cast<qint64>(std::floor(ctx.endLocal)));
    QDate m(end.year(), end.month(), 1);
    for (int n = 0; n < MaxTimeMarks && m.isValid(); ++n, m = m.addMonths(-1)) {
      const TDateTime t = static_cast<double>(QDate(1899, 12, 30).daysTo(m));
      const double x = MarkX(ctx, t);
      if (x < 6) break;
      fn(t, x, m);
    }
    return;
  }
  const double stepDays = ctx.gridStep / 24.0;
  TDateTime t = std::trunc(ctx.endLocal * 24.0 / ctx.gridStep) * ctx.gridStep / 24.0;
  double x = MarkX(ctx, t);
  for (int n = 0; n < MaxTimeMarks && x >= 6; ++n) {
    fn(t, x, QDate());
    t -= stepDays;
    x -= ctx.pxPerHour * ctx.gridStep;
  }
}

void DrawCpuClockMark(tChartContext& ctx, int y0, int H) {
  if (!(ctx.hours < 24 || ctx.d.Settings.IncludeStaticData) || ctx.d.Current.Readings.Freq == NoValue32) return;
  Canvas& c = ctx.c;
  const tColour colour = MakeColour((RedOf(ctx.d.Settings.cScGrid) + RedOf(ctx.d.Settings.cScBack)) / 2,
                                    (GreenOf(ctx.d.Settings.cScGrid) + GreenOf(ctx.d.Settings.cScBack)) / 2,
                                    (BlueOf(ctx.d.Settings.cScGrid) + BlueOf(ctx.d.Settings.cScBack)) / 2);
  int len = 50, t = 4, gap = 15;
  int fontHeight = 38;
  if (H < 120) {
    len = len * H / 120;
    t = t * H / 120;
    gap = gap * H / 120;
    fontHeight = 38 * H / 120;
  }
  if (fontHeight <= 0) return;  // too small a band to carry a readable mark
  c.SetFont(tFont{FontArial, fontHeight, false, colour});
  const int cx = 6 + ctx.W / 2;
  const int m = y0 + 7 + H / 2;
  const int b = cx + 2 * len - 35;
  std::string cores;
  if (ctx.d.Current.CPUCount == 1) cores = "1 core";
  else if (ctx.d.Current.CPUCount > 1) cores = std::to_string(ctx.d.Current.CPUCount) + " cores";
  if (!cores.empty()) c.Watermark(b, m + len + t - c.TextHeight(cores), cores);
  c.SetFontBold(true);
  c.Watermark(b, m - len - t, "MHz");
  c.SetFontBold(false);
  DrawSegmentNumber(c, colour, Nearest(ctx.d.Current.Readings.Freq / 1000.0), gap, t, len, m - len - t, cx + 2 * len - 55);
}

void FlushPoints(Canvas& c, std::vector<tPoint>& points, tColour colour) {
  if (points.size() >= 2) {
    c.Polyline(points);
  } else if (points.size() == 1) {
    c.SetPixel(points[0].x, points[0].y, colour);
  }
  points.clear();
}

}  // namespace

double tChannelSummary::mean() const { return count > 0 ? std::nearbyint(sum / count) : 0.0; }

int tChartContext::CurveX(double age) const { return (W - 45) - TruncToInt(age * pxPerHour); }
int tChartContext::AreaX(double age) const { return (W - 44) - TruncToInt(age * pxPerHour); }

void SetUpChart(tChartContext& ctx) {
  const double plot = ctx.W - 50;
  ctx.endLocal = DisplayTime(ctx.endTime, ctx.d.Settings.TimeInUTC);
  ctx.pxPerHour = plot / ctx.hours;
  ctx.halfPixelHours = ctx.hours / plot / 2;
  const double h = ctx.hours;
  ctx.gridStep = h <= 2 ? 0.25 : h <= 4 ? 0.5 : h <= 8 ? 1 : h <= 24 ? 4 : h <= 240 ? 24 : 120;
  const int q = (ctx.W - 55) / 5;
  ctx.x1 = 55 + q;
  ctx.x2 = ctx.x1 + q;
  ctx.x3 = ctx.x2 + q;
  ctx.x4 = ctx.x3 + q;
  ctx.y = 2;
  ctx.axisDrawn = false;
  ctx.geometry.EndTime = ctx.endTime;
  ctx.geometry.PxPerHour = ctx.pxPerHour;
  ctx.geometry.HalfPixelHours = ctx.halfPixelHours;
}

int BandHeight(int32_t setting) { return std::clamp<int32_t>(setting, 0, ChartBitmapHeight); }

bool RoomFor(const tChartContext& ctx, int height) {
  int axis = 0;
  if (!ctx.axisDrawn) axis = (ctx.y > 10 ? 4 : 0) + 4;
  return static_cast<long>(ctx.y) + axis + height + ChartFooterHeight <= ChartBitmapHeight;
}

bool DrawableScale(double& lo, double& hi, double unit) {
  if (!std::isfinite(lo) || !std::isfinite(hi) || lo > hi) return false;
  if (lo == hi) {
    lo -= unit;
    hi += unit;
  }
  return true;
}

void DrawTimeAxisRow(tChartContext& ctx) {
  Canvas& c = ctx.c;
  const bool months = ctx.hours >= 2400;
  try {
    if (ctx.y > 10) ctx.y += 4;
    c.brushColour = ctx.d.Settings.cScBack;
    c.brushStyle = tBrushStyle::Clear;
    c.SetFont(tFont{FontArial, 12, false, ctx.d.Settings.cScDesc});
    c.penColour = ctx.d.Settings.cScGrid;
    c.penStyle = tPenStyle::Solid;
    const QLocale locale;
    // Newest first: a label is left out where it would run into the newer one beside it.
    int room = ctx.W - 44;
    ForEachTimeMark(ctx, months, [&](TDateTime t, double x, const QDate& m) {
      std::string label;
      if (months) label = locale.monthName(m.month(), QLocale::ShortFormat).toStdString();
      else if (ctx.gridStep >= 72 || IsMidnight(t)) label = ShortDateText(t);
      else label = ShortTimeText(t);
      if (c.InkRect(TruncToInt(x), 0, label).right() < room && room - c.TextWidth(label) >= x) {
        // A glyph may start a pixel left of its position ("j").
        c.FitText(TruncToInt(x) - 1, room, TruncToInt(x), ctx.y - 1, label);
        room = TruncToInt(x) - 3;
      }
    });
  } catch (const std::exception& e) {
    LogError(months ? "ds3 " : "ds2 ", e);
  }
  ctx.y += 4;
  ctx.axisDrawn = true;
}

void DrawBandFrame(tChartContext& ctx, int H, bool cpuClockMark) {
  if (!ctx.axisDrawn) DrawTimeAxisRow(ctx);
  Canvas& c = ctx.c;
  const int y0 = ctx.y;
  const int right = ctx.W - 42;
  c.penColour = ctx.d.Settings.cScBorder;
  c.penStyle = tPenStyle::Solid;
  c.brushColour = ctx.d.Settings.cScBack;
  c.brushStyle = tBrushStyle::Solid;
  c.Rectangle(5, y0 + 5, right, y0 + H + 9);
  ctx.labelInk = QRect();
  DrawBevel(c, ctx.d.Settings, 5, y0 + 5, right, y0 + H + 9);
  if (cpuClockMark) DrawCpuClockMark(ctx, y0, H);

  c.brushStyle = tBrushStyle::Clear;
  c.SetFont(tFont{FontArial, 12, false, ctx.d.Settings.cScDesc});
  c.penColour = ctx.d.Settings.cScGrid;
  c.penStyle = tPenStyle::Dot;
  ForEachTimeMark(ctx, ctx.hours >= 2400, [&](TDateTime, double x, const QDate&) {
    const int gx = TruncToInt(x);
    c.Line(gx, y0 + 9, gx, y0 + H + 6);
  });
  c.penStyle = tPenStyle::Solid;
}

void DrawBandIcon(tChartContext& ctx, tBandIcon icon, int y0, int H) {
  const QImage& picture = BandIcon(icon);
  if (!picture.isNull()) ctx.c.Draw(8, y0 + H - 10, picture);
}

void DrawValueGridLine(tChartContext& ctx, int y, const std::string& label, int labelRight) {
  Canvas& c = ctx.c;
  c.penColour = ctx.d.Settings.cScGrid;
  c.penStyle = tPenStyle::Dot;
  c.Line(8, y, ctx.W - 46, y);
  c.penStyle = tPenStyle::Solid;
  DrawValueLabel(ctx, y, label, labelRight);
}

void DrawValueLabel(tChartContext& ctx, int y, const std::string& label, int labelRight) {
  Canvas& c = ctx.c;
  c.brushStyle = tBrushStyle::Clear;
  c.SetFontColour(ctx.d.Settings.cScDesc);
  const int x = labelRight - c.TextWidth(label);
  if (!label.empty()) ctx.labelInk = ctx.labelInk.united(c.InkRect(x, y - 6, label));
  c.TextOut(x, y - 6, label);
}

double MapToBand(double v, double lo, double hi, int y0, int H) {
  if (!(hi > lo)) return y0 + 7 + H;
  return y0 + 7 + H - (v - lo) * H / (hi - lo);
}

namespace {

void DrawCurveOnce(tChartContext& ctx, const tCurveSpec& spec) {
  Canvas& c = ctx.c;
  if (!(spec.hi > spec.lo) || !spec.value) return;
  c.penColour = spec.colour;
  c.penStyle = tPenStyle::Solid;
  const tStatStore& s = ctx.series;
  const int n = s.LastIndex + 1;
  std::vector<tPoint> points;
  double lastAge = spec.oldestFirst ? std::numeric_limits<double>::infinity() : 0.0;
  double smooth = 0;
  const double scale = spec.H / (spec.hi - spec.lo);
  for (int k = 0; k < n; ++k) {
    const int i = spec.oldestFirst ? k : n - 1 - k;
    const tReadings& r = s.Samples[i];
    double v = spec.value(r, s.SamplesExtra[i]);
    if (spec.smoothing != 0) {
      if (std::isnan(v)) {
        smooth = 0;
      } else if (smooth != 0) {
        smooth = (1 - spec.smoothing) * smooth + spec.smoothing * v;
        v = std::nearbyint(smooth);
      } else {
        smooth = v;
      }
    }
    const double age = ctx.AgeOf(r);
    if (!(age >= 0)) {  // newer than the window's end, or a time that is no time at all
      if (!spec.oldestFirst) FlushPoints(c, points, spec.colour);
      continue;
    }
    if (age > ctx.hours) {
      if (!spec.oldestFirst) break;
      FlushPoints(c, points, spec.colour);
      continue;
    }
    if (std::isnan(v) || v < spec.lo || v > spec.hi) {
      FlushPoints(c, points, spec.colour);
      lastAge = age;
      continue;
    }
    if (std::fabs(age - lastAge) < ctx.halfPixelHours) continue;
    lastAge = age;
    points.push_back({ctx.CurveX(age), Nearest(spec.y0 + spec.H - (v - spec.lo) * scale) + spec.offset});
  }
  FlushPoints(c, points, spec.colour);
}

}  // namespace

tCurveSpec PercentCurve(int y0, int H) {
  tCurveSpec spec;
  spec.offset = 6;
  spec.hi = 10000;
  spec.y0 = y0;
  spec.H = H;
  return spec;
}

void DrawCurve(tChartContext& ctx, const tCurveSpec& spec) {
  DrawCurveOnce(ctx, spec);
  if (!spec.bold) return;
  tCurveSpec lower = spec;
  lower.offset += 1;
  DrawCurveOnce(ctx, lower);
}

tChannelSummary Summarise(const tChartContext& ctx, double current,
                          const std::function<double(const tReadings&, const tReadingsExtra&)>& value,
                          bool zeroOnlyInMean) {
  tChannelSummary sum;
  const auto widen = [&](double v) {
    if (zeroOnlyInMean && v == 0) return;
    if (!sum.hasMinMax) {
      sum.hasMinMax = true;
      sum.min = sum.max = v;
    } else {
      sum.min = std::min(sum.min, v);
      sum.max = std::max(sum.max, v);
    }
  };
  if (!std::isnan(current)) widen(current);
  const tStatStore& s = ctx.series;
  for (int i = s.LastIndex; i >= 0; --i) {
    const tReadings& r = s.Samples[i];
    if (ctx.AgeOf(r) > ctx.hours) break;
    const double v = value(r, s.SamplesExtra[i]);
    if (std::isnan(v)) continue;
    widen(v);
    sum.sum += v;
    ++sum.count;
  }
  return sum;
}

void DrawLegendRow(tChartContext& ctx, int y, tColour colour, const std::string& name,
                   const std::vector<std::string>& texts, bool clipped) {
  Canvas& c = ctx.c;
  c.brushStyle = tBrushStyle::Clear;
  // Rows are LegendRowPitch apart: the font is one whose capitals and descenders fit that, so a
  // "p" never touches the capital below it.
  const int height = c.Font().height;
  c.SetFontHeight(LegendFontHeight);
  c.SetFontColour(colour);
  // The row's own pixel rows: from the descenders up by the pitch. Accents above capitals
  // would reach into the row above; such a text is drawn a step smaller.
  const int rowBottom = y + c.Ascent() + c.Descent(), rowTop = rowBottom - LegendRowPitch;
  // The lowest value label of the band above reaches down into the first row: texts stop before it.
  const auto rightOf = [&](int right) {
    const QRect& labels = ctx.labelInk;
    return labels.isValid() && labels.bottom() >= rowTop && right > labels.left() ? labels.left() - 2 : right;
  };
  // Each text keeps to its column: a little smaller first, then shortened, never into the next.
  const int columns[] = {ctx.x1, ctx.x2, ctx.x3, ctx.x4, ctx.W - 1};
  const size_t used = std::min<size_t>(texts.size(), 4);
  // An unclipped name (a band's heading) may run on over the columns it leaves empty.
  size_t nameEnd = 0;
  if (!clipped)
    while (nameEnd < used && texts[nameEnd].empty()) ++nameEnd;
  if (!clipped && nameEnd == used) nameEnd = 4;
  c.FitText(8, rightOf(columns[nameEnd] - 5), 10, y, name, LegendSmallerSteps, false, rowTop, rowBottom);
  for (size_t k = 0; k < used; ++k) {
    if (!texts[k].empty())
      c.FitText(columns[k] - 2, rightOf(columns[k + 1] - 4), columns[k], y, texts[k], LegendSmallerSteps, false, rowTop, rowBottom);
  }
  c.SetFontHeight(height);
}

}  // namespace kv
