#include <algorithm>
#include <array>
#include <cmath>
#include <exception>

#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/ChartParts.h"
#include "displays/ContrastColours.h"
#include "displays/Light.h"
#include "displays/Formatting.h"
#include "displays/Placeholders.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {


namespace {

using tGetter = std::function<double(const tReadings&, const tReadingsExtra&)>;
constexpr int32_t Unset16 = 32767;  // a scale end no channel has set
constexpr int RowPitch = 9;

// One legend row waiting for its place below a band.
struct tLegendRow {
  tColour colour = 0;
  std::string name;
  std::vector<std::string> texts;
};

double Current16(int16_t v) { return v == NoValue16 ? NAN : v; }

// "Min 12", "Max 15", "Avg 13" (the last empty without a mean).
std::vector<std::string> StatTexts(const std::string& current, const std::string& min, const std::string& max,
                                   const std::string& mean) {
  const auto texts = Texts();
  return {current, texts->Min + " " + min, texts->Max + " " + max, mean.empty() ? "" : texts->Avg + " " + mean};
}

// Collected rows, clipped, one every RowPitch pixels; a row that fails is left out silently.
void DrawCollectedRows(tChartContext& ctx, const std::vector<tLegendRow>& rows) {
  for (const tLegendRow& row : rows) {
    if (!RoomFor(ctx, RowPitch)) return;
    try {
      DrawLegendRow(ctx, ctx.y, row.colour, row.name, row.texts, true);
    } catch (...) {
    }
    ctx.y += RowPitch;
  }
}

// Grid step from the band's span: the span divided among ceil(H / perLine + 1) lines, rounded
// up to whole units.
double GridStep(double span, int H, int perLine, double unit) {
  const double lines = std::ceil(H / static_cast<double>(perLine) + 1);
  return std::ceil(std::trunc(span / lines) / unit) * unit;
}

// Walks grid values from `from` by `step` (negative: downwards) while inside [lo, hi]; the count
// is bounded, a band cannot show more lines than it has pixels.
template <typename Fn>
void ForEachGridValue(double from, double step, double lo, double hi, Fn fn) {
  if (!(std::fabs(step) > 0) || !std::isfinite(step)) return;
  int n = 0;
  for (double v = from; v >= lo && v <= hi && n <= ChartBitmapHeight; v += step, ++n) fn(v);
}

// ---- Temperatures ----

void DrawTemperatures(tChartContext& ctx) {
  const auto texts = Texts();
  std::array<tChannelSummary, TempChannels> sums{};
  std::array<tGetter, TempChannels> values;
  for (int i = 0; i < TempChannels; ++i) {
    values[i] = [i](const tReadings& r, const tReadingsExtra&) { return Current16(r.T[i]); };
    if (ctx.d.Settings.TCfg[i].Vis == 0) continue;
    try {
      sums[i] = Summarise(ctx, Current16(ctx.d.Current.Readings.T[i]), values[i]);
    } catch (const std::exception& e) {
      LogError("ds4 ", e);
    }
  }

  if (ctx.d.Settings.TAutoStats) {
    ctx.d.Settings.TMinStats = ctx.d.Settings.TMaxStats = Unset16;
    for (int i = 0; i < TempChannels; ++i) {
      if (ctx.d.Settings.TCfg[i].Vis != 1 || !sums[i].hasMinMax) continue;
      const auto lo = static_cast<int32_t>(std::floor(sums[i].min / 500) * 500);
      const auto hi = static_cast<int32_t>(std::ceil(sums[i].max / 500) * 500);
      ctx.d.Settings.TMinStats = ctx.d.Settings.TMinStats == Unset16 ? lo : std::min(ctx.d.Settings.TMinStats, lo);
      ctx.d.Settings.TMaxStats = ctx.d.Settings.TMaxStats == Unset16 ? hi : std::max(ctx.d.Settings.TMaxStats, hi);
    }
  }
  ctx.d.Settings.TMinStats = std::max<int32_t>(ctx.d.Settings.TMinStats, -5000);
  ctx.d.Settings.TMaxStats = std::min<int32_t>(ctx.d.Settings.TMaxStats, 15000);

  const int H = BandHeight(ctx.d.Settings.THeight);
  bool anyShown = false;
  for (const auto& cfg : ctx.d.Settings.TCfg) anyShown = anyShown || cfg.Vis == 1;
  const bool drawn = anyShown && ctx.d.Settings.TMinStats < Unset16 && ctx.d.Settings.TMaxStats < Unset16 &&
                     RoomFor(ctx, H + 8);
  if (drawn) {
    DrawBandFrame(ctx, H, true);
    const int top = ctx.y;
    double lo = ctx.d.Settings.TMinStats, hi = ctx.d.Settings.TMaxStats;
    if (DrawableScale(lo, hi, 500)) {
      const double step = ctx.d.Settings.TStepStats > 0 ? std::nearbyint(ctx.d.Settings.TStepStats * 100)
                                                  : GridStep(hi - lo, H, 30, 500);
      ForEachGridValue(lo, step, lo, hi, [&](double v) {
        const int y = static_cast<int>(MapToBand(v, lo, hi, top, H));
        DrawValueGridLine(ctx, y, FormatTemperature(static_cast<int>(v), ctx.d.Settings.Celsius), ctx.W - 12);
      });
      for (int i = TempChannels - 1; i >= 0; --i) {
        if (ctx.d.Settings.TCfg[i].Vis != 1 || !sums[i].hasMinMax) continue;
        try {
          tCurveSpec spec;
          spec.oldestFirst = true;
          spec.smoothing = ctx.d.Settings.Alpha;
          spec.lo = lo;
          spec.hi = hi;
          spec.y0 = top;
          spec.H = H;
          spec.colour = ctx.d.Settings.TCfg[i].Colour;
          spec.value = values[i];
          spec.bold = ctx.d.Settings.TCfg[i].Bold;
          DrawCurve(ctx, spec);
        } catch (const std::exception& e) {
          LogError("ds5 ", e);
        }
      }
    }
    DrawBandIcon(ctx, biTemperatures, top, H);
  }

  std::vector<tLegendRow> rows;
  for (int i = 0; i < TempChannels; ++i) {
    if (ctx.d.Settings.TCfg[i].Vis == 0 || !sums[i].hasMinMax) continue;
    try {
      const tChannelSummary& m = sums[i];
      const std::string current =
          ctx.d.Current.Readings.T[i] == NoValue16 ? texts->SensNotConn : FormatTemperature(ctx.d.Current.Readings.T[i], ctx.d.Settings.Celsius);
      rows.push_back({ctx.d.Settings.TCfg[i].Colour, FillTemplate(ctx.d, ctx.d.Settings.TCfg[i].Name, ctx.endTime),
                      StatTexts(current, FormatTemperature(static_cast<int>(m.min), ctx.d.Settings.Celsius),
                                FormatTemperature(static_cast<int>(m.max), ctx.d.Settings.Celsius),
                                m.hasMean() ? FormatTemperature(static_cast<int>(m.mean()), ctx.d.Settings.Celsius) : "")});
    } catch (const std::exception& e) {
      LogError("ds6 ", e);
    }
  }
  if (drawn) ctx.y += H + 8;
  DrawCollectedRows(ctx, rows);
}

// ---- Voltages ----

int VoltUnit(double v) {
  const double a = std::fabs(v);
  return a < 400 ? 5 : a < 800 ? 10 : a < 10000 ? 40 : 100;
}

std::string Volts(double hundredths) { return FormatPattern(hundredths / 100, 2); }

void DrawVoltages(tChartContext& ctx) {
  const auto texts = Texts();
  std::vector<tLegendRow> collected;
  for (int i = 0; i < VoltChannels; ++i) {
    if (ctx.d.Settings.VCfg[i].Vis == 0) continue;
    try {
      const tGetter value = [i](const tReadings& r, const tReadingsExtra&) { return Current16(r.V[i]); };
      const tChannelSummary m = Summarise(ctx, Current16(ctx.d.Current.Readings.V[i]), value);
      if (!m.hasMinMax) continue;
      const std::string current =
          ctx.d.Current.Readings.V[i] == NoValue16 ? texts->SensNotConn : Volts(ctx.d.Current.Readings.V[i]) + " " + texts->Volt;
      const auto stat = [&](double v) { return Volts(v) + " " + texts->V; };
      tLegendRow row{ctx.d.Settings.VCfg[i].Colour, FillTemplate(ctx.d, ctx.d.Settings.VCfg[i].Name, ctx.endTime),
                     StatTexts(current, stat(m.min), stat(m.max), m.hasMean() ? stat(m.mean()) : "")};
      if (ctx.d.Settings.VCfg[i].Vis != 1) {
        collected.push_back(std::move(row));
        continue;
      }
      const int H = BandHeight(ctx.d.Settings.VHeight);
      if (!RoomFor(ctx, H + 8 + RowPitch)) continue;
      const double g = VoltUnit(m.max);
      double lo = std::max(std::floor(m.min / g - 0.001) * g, -30000.0);
      double hi = std::min(std::ceil(m.max / g + 0.001) * g, 30000.0);
      DrawBandFrame(ctx, H, false);
      const int top = ctx.y;
      if (DrawableScale(lo, hi, g)) {
        const double step = GridStep(hi - lo, H, 20, VoltUnit(hi));
        ForEachGridValue(lo, step, lo, hi, [&](double v) {
          DrawValueGridLine(ctx, Nearest(MapToBand(v, lo, hi, top, H)), Volts(v) + " " + texts->V, ctx.W - 7);
        });
        try {
          tCurveSpec spec;
          spec.lo = lo;
          spec.hi = hi;
          spec.y0 = top;
          spec.H = H;
          spec.colour = ctx.d.Settings.VCfg[i].Colour;
          spec.value = value;
          spec.bold = ctx.d.Settings.VCfg[i].Bold;
          DrawCurve(ctx, spec);
        } catch (const std::exception& e) {
          LogError("ds8 ", e);
        }
      }
      DrawBandIcon(ctx, biVoltages, top, H);
      try {
        DrawLegendRow(ctx, top + H + 8, row.colour, row.name, row.texts, false);
      } catch (const std::exception& e) {
        LogError("ds10 ", e);
      }
      ctx.y = top + H + 8 + RowPitch;
    } catch (const std::exception& e) {
      LogError("ds7 ", e);
    }
  }
  if (!collected.empty() && ctx.y > 10) ctx.y += 4;
  DrawCollectedRows(ctx, collected);
}

// ---- Fans and flows ----

// A fan value on the band's scale: revolutions per minute, or a flow in whole units.
double FanOnScale(int16_t f) { return f == NoValue16 ? NAN : f < 0 ? -f / 100.0 : f; }

std::string FanText(double v, const tTexts& texts) {
  if (v < 0) return FormatPattern(-v / 100, 1) + " " + texts.LH;
  return FormatPattern(v, 0) + " " + texts.RPM;
}

void FanAutoScale(tSettings& s, const std::array<tChannelSummary, FanChannels>& sums) {
  int32_t& lo = s.FMin;
  int32_t& hi = s.FMax;
  lo = hi = Unset16;
  for (int i = 0; i < FanChannels; ++i) {
    if (s.FCfg[i].Vis == 0 || !sums[i].hasMinMax) continue;
    const double mn = sums[i].min, mx = sums[i].max;
    if (mx > 0) {
      const double unit = mx < 500 ? 50 : 250;
      const double below = mx < 500 ? 50 : 250, above = mx < 500 ? 100 : 500;
      if (lo == Unset16 || mn - below < lo) lo = static_cast<int32_t>(std::trunc(mn / unit - 1) * unit);
      if (hi == Unset16 || mx + above > hi) hi = static_cast<int32_t>(std::trunc(mx / unit + 2) * unit);
    } else if (mx < 0) {
      if (lo == Unset16 || -mx / 100 - 5 < lo) lo = static_cast<int32_t>(std::trunc(-mx / 500 - 1) * 5);
      if (hi == Unset16 || -mn / 100 + 10 > hi) hi = static_cast<int32_t>(std::trunc(-mn / 500 + 2) * 5);
    }
  }
}

void DrawFans(tChartContext& ctx) {
  const auto texts = Texts();
  std::array<tChannelSummary, FanChannels> sums{};
  std::array<tGetter, FanChannels> raw;
  bool anyShown = false;
  for (int i = 0; i < FanChannels; ++i) {
    raw[i] = [i](const tReadings& r, const tReadingsExtra&) { return Current16(r.F[i]); };
    if (ctx.d.Settings.FCfg[i].Vis == 0) continue;
    anyShown = true;
    try {
      sums[i] = Summarise(ctx, Current16(ctx.d.Current.Readings.F[i]), raw[i], true);
    } catch (const std::exception& e) {
      LogError("ds23 ", e);
    }
  }
  if (ctx.d.Settings.FAuto) FanAutoScale(ctx.d.Settings, sums);
  ctx.d.Settings.FMin = std::max<int32_t>(ctx.d.Settings.FMin, 0);
  ctx.d.Settings.FMax = std::min<int32_t>(ctx.d.Settings.FMax, 20000);

  const int H = BandHeight(ctx.d.Settings.FHeight);
  const bool drawn = anyShown && ctx.d.Settings.FMin < Unset16 && ctx.d.Settings.FMax < Unset16 && RoomFor(ctx, H + 8);
  if (!drawn) return;
  DrawBandFrame(ctx, H, false);
  const int top = ctx.y;
  double lo = ctx.d.Settings.FMin, hi = ctx.d.Settings.FMax;
  const double unit = hi < 50 ? 5 : hi < 500 ? 50 : 250;
  if (DrawableScale(lo, hi, unit)) {
    const double step = GridStep(hi - lo, H, 20, unit);
    ForEachGridValue(hi, -step, lo, hi, [&](double v) {
      DrawValueGridLine(ctx, Nearest(MapToBand(v, lo, hi, top, H)), FormatPattern(v, 0), ctx.W - 18);
    });
    for (int i = FanChannels - 1; i >= 0; --i) {
      if (ctx.d.Settings.FCfg[i].Vis == 0) continue;
      try {
        tCurveSpec spec;
        spec.lo = lo;
        spec.hi = hi;
        spec.y0 = top;
        spec.H = H;
        spec.colour = ctx.d.Settings.FCfg[i].Colour;
        spec.value = [i](const tReadings& r, const tReadingsExtra&) { return FanOnScale(r.F[i]); };
        spec.bold = ctx.d.Settings.FCfg[i].Bold;
        DrawCurve(ctx, spec);
      } catch (const std::exception& e) {
        LogError("ds25 ", e);
      }
    }
  }
  DrawBandIcon(ctx, biFans, top, H);
  ctx.y += H + 8;

  for (int i = 0; i < FanChannels; ++i) {
    if (ctx.d.Settings.FCfg[i].Vis == 0 || !sums[i].hasMinMax) continue;
    if (!RoomFor(ctx, RowPitch)) break;
    try {
      const tChannelSummary& m = sums[i];
      // A flow is stored negated: its smallest amount is the largest stored value.
      const bool flow = m.max < 0;
      const double least = flow ? m.max : m.min, most = flow ? m.min : m.max;
      // Without samples in the window the mean is 0.
      const double mean = m.hasMean() ? m.mean() : 0;
      const std::string meanText =
          flow ? FormatPattern(-mean / 100, 1) + " " + texts->LH : FanText(mean, *texts);
      const std::string current =
          ctx.d.Current.Readings.F[i] == NoValue16 ? texts->SensNotConn : FanText(ctx.d.Current.Readings.F[i], *texts);
      DrawLegendRow(ctx, ctx.y, ctx.d.Settings.FCfg[i].Colour, FillTemplate(ctx.d, ctx.d.Settings.FCfg[i].Name, ctx.endTime),
                    StatTexts(current, FanText(least, *texts), FanText(most, *texts), meanText), true);
    } catch (const std::exception& e) {
      LogError("ds27 ", e);
    }
    ctx.y += RowPitch;
  }
}

// Runs one section with its hover row: the range from where it starts to where the next starts.
void Section(tChartContext& ctx, tChartSection row, void (*draw)(tChartContext&)) {
  ctx.geometry.Rows[row].top = ctx.y;
  draw(ctx);
  ctx.geometry.Rows[row].bottom = ctx.y;
}

}  // namespace

void DrawSensorBands(tChartContext& ctx) {
  Section(ctx, csTemperatures, DrawTemperatures);
  Section(ctx, csVoltages, DrawVoltages);
  Section(ctx, csFans, DrawFans);
}

std::string FooterMiddleText(const tDisplayData& d, double hours) {
  const auto texts = Texts();
  if (hours < 24 || d.Settings.IncludeStaticData) {
    if (!d.Settings.ReadUpTime) return "";
    return UptimeLineText(d.Current);
  }
  if (hours == 24) return texts->Stats24;
  if (hours == 168) return texts->Stats7;
  if (hours < 2400) return texts->Stats31;
  return texts->Stats365;
}

// How many pixels smaller a footer text may be drawn before it is shortened instead.
constexpr int FooterSmallerSteps = 2;

void DrawChartFooter(tChartContext& ctx) {
  Canvas& c = ctx.c;
  const int W = ctx.W;
  ctx.y += 3;
  try {
    const auto texts = Texts();
    c.SetFont(tFont{FontArial, 12, false, c.Font().colour});
    c.brushStyle = tBrushStyle::Clear;
    const tContrast contrast = PickContrastColours(c, 443, ctx.y + 1);
    c.SetFontHeight(13);
    // Three texts in one row: each is fitted to the room up to the next.
    const std::string middle = FooterMiddleText(ctx.d, ctx.hours);
    const int middleX = ctx.hours < 24 || ctx.d.Settings.IncludeStaticData ? 135 : 142;
    const int versionX = W - 2 - c.TextWidth(ProductVersion);
    if (ctx.d.Settings.DisplayDateTime) {
      c.SetFontColour(contrast.Main);
      c.FitText(3, (middle.empty() ? versionX : middleX) - 4, 3, ctx.y, ReadingsTimeText(ctx.d.Current, ctx.d.Settings),
                FooterSmallerSteps);
    }
    if (!middle.empty()) {
      c.SetFontColour(contrast.Dim);
      c.FitText(middleX, versionX - 4, middleX, ctx.y, middle, FooterSmallerSteps);
    }
    c.SetFontColour(contrast.Highlight);
    c.FitText(versionX, W, versionX, ctx.y, ProductVersion);
  } catch (const std::exception& e) {
    LogError("ds51 ", e);
  }
  ctx.y += 14;
  const int bottom = ctx.y - 1;
  c.penStyle = tPenStyle::Solid;
  c.penColour = ctx.d.Settings.cBorder2;
  c.MoveTo(0, bottom);
  c.LineTo(0, 0);
  c.LineTo(W - 1, 0);
  c.penColour = ctx.d.Settings.cBorder;
  c.LineTo(W - 1, bottom);
  c.LineTo(-1, bottom);
}

}  // namespace kv
