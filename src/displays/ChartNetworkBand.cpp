// The network section of the statistics chart: transfer rates as pairs of bars per interval,
// one shared band or one band per interface slot.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "displays/ChartSystemParts.h"
#include "displays/Formatting.h"
#include "displays/Placeholders.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"

namespace kv {

namespace {

constexpr int32_t NetScaleCeiling = 131072;  // 128 MiB/s in KiB/s
constexpr int32_t NetFallbackMax = 96;
constexpr double SecondsPerHour = 3600;

bool CountersValid(const tReadings& r, int slot) {
  return r.NetIn[slot] != NoValue32 && r.NetOut[slot] != NoValue32;
}

// A counter difference in KiB; a counter that went back (an interface reset) counts 0.
double Increase(int32_t newer, int32_t older) {
  return std::max(0.0, static_cast<double>(newer) - static_cast<double>(older));
}

struct tSlotTraffic {
  int slot = 0;
  double received = 0, sent = 0;                // KiB over the window
  std::vector<std::pair<double, double>> rates;  // KiB/s received, sent, per interval
  bool HasTraffic() const { return received + sent > 0; }
};

// The index of the newest sample not newer than the window's end, or -1.
int NewestInWindow(const tChartContext& ctx) {
  int i = SampleCount(ctx.series) - 1;
  while (i >= 0 && !(ctx.AgeOf(ctx.series.Samples[i]) >= 0)) --i;
  return i;
}

tSlotTraffic MeasureSlot(const tChartContext& ctx, int slot) {
  tSlotTraffic t;
  t.slot = slot;
  const tStatStore& s = ctx.series;
  for (int i = NewestInWindow(ctx); i >= 1; --i) {
    const tReadings& newer = s.Samples[i];
    const tReadings& older = s.Samples[i - 1];
    const double newerAge = ctx.AgeOf(newer), olderAge = ctx.AgeOf(older);
    if (!(olderAge <= ctx.hours)) break;
    if (!CountersValid(newer, slot) || !CountersValid(older, slot)) continue;
    const double in = Increase(newer.NetIn[slot], older.NetIn[slot]);
    const double out = Increase(newer.NetOut[slot], older.NetOut[slot]);
    t.received += in;
    t.sent += out;
    const double seconds = (olderAge - newerAge) * SecondsPerHour;
    if (seconds > 0) t.rates.emplace_back(in / seconds, out / seconds);
  }
  return t;
}

void ClampNetScale(tSettings& s) {
  s.NetMin = std::max<int32_t>(s.NetMin, 0);
  s.NetMax = std::min<int32_t>(s.NetMax, NetScaleCeiling);
  if (s.NetMin >= s.NetMax) {
    s.NetMin = 0;
    s.NetMax = NetFallbackMax;
  }
}

void AutoNetScale(tSettings& s, const std::vector<const tSlotTraffic*>& group) {
  double lo = NoValue32, hi = NoValue32;
  for (const tSlotTraffic* t : group)
    for (const auto& [in, out] : t->rates)
      for (double r : {in, out}) {
        // Rates come from date-time differences; their last bits must not push a scale end a step.
        if (lo == NoValue32 || lo > r) lo = std::floor(r / 8 + 1e-6) * 8;
        if (hi == NoValue32 || hi < r) hi = std::ceil(r / 8 - 1e-6) * 8;
      }
  s.NetMin = static_cast<int32_t>(std::min<double>(lo, NoValue32));
  s.NetMax = static_cast<int32_t>(std::min<double>(hi, NoValue32));
}

// The band's value scale: linear on [NetMin, NetMax], or logarithmic with both ends at least 1.
struct tNetScale {
  bool log = false;
  double lo = 0, hi = 1;  // linear: the rates; logarithmic: their natural logarithms

  explicit tNetScale(const tSettings& s) {
    log = s.NetLog;
    if (log) {
      const double bottom = std::max(s.NetMin, 1);
      // Ends that meet at 1 still need a span to divide by.
      const double top = std::max<double>(s.NetMax, bottom + 1);
      lo = std::log(bottom);
      hi = std::log(top);
    } else {
      lo = s.NetMin;
      hi = s.NetMax;
    }
  }
  double Rate(double r) const { return log ? std::exp(r) : r; }
  // Position 0 .. 1 of a rate on the scale, clipped to the ends.
  double Share(double r) const {
    double v = log ? std::log(std::max(r, std::exp(lo))) : r;
    return std::clamp((v - lo) / (hi - lo), 0.0, 1.0);
  }
};

void DrawNetGrid(tChartContext& ctx, const tNetScale& scale, int y0, int H) {
  const int n = GridLineCount(H);
  if (scale.log) {
    const double step = (scale.hi - scale.lo) / std::max(n - 1, 1);
    const double limit = std::log(scale.Rate(scale.hi) + 0.1);
    for (int k = 0; k <= n; ++k) {
      const double L = scale.lo + k * step;
      if (L > limit) break;
      DrawValueGridLine(ctx, Nearest(y0 + 7 + H - (L - scale.lo) / (scale.hi - scale.lo) * H),
                        FormatRate(std::exp(L), ctx.d.Settings.BitDisplay), ctx.W - 3);
    }
  } else {
    const double step = std::ceil((scale.hi - scale.lo) / n / 8) * 8;
    if (!(step > 0)) return;
    for (double v = scale.lo; v <= scale.hi; v += step)
      DrawValueGridLine(ctx, Nearest(MapToBand(v, scale.lo, scale.hi, y0, H)), FormatRate(v, ctx.d.Settings.BitDisplay), ctx.W - 3);
  }
}

void DrawBar(Canvas& c, tColour colour, int left, int top, int right, int bottom) {
  c.penStyle = tPenStyle::Solid;
  c.brushStyle = tBrushStyle::Solid;
  c.penColour = colour;
  c.brushColour = colour;
  c.Rectangle(left, top, right, bottom);
}

// One slot's bars, and its offline time painted over in the background colour.
void DrawSlotBars(tChartContext& ctx, const tNetScale& scale, int slot, int y0, int H) {
  Canvas& c = ctx.c;
  const tNetSlot& cfg = ctx.d.Settings.NetSlots[slot];
  const tStatStore& s = ctx.series;
  const double minSpan = 0.1 * ctx.halfPixelHours;
  const double p = ctx.pxPerHour;
  const int bottom = y0 + 8 + H;
  const int newest = NewestInWindow(ctx);
  if (newest < 0) return;
  // The newer end of the current interval; a too short interval hands on only its counters.
  double newerAge = ctx.AgeOf(s.Samples[newest]);
  bool newerValid = CountersValid(s.Samples[newest], slot);
  int32_t newerIn = s.Samples[newest].NetIn[slot], newerOut = s.Samples[newest].NetOut[slot];
  for (int i = newest - 1; i >= 0; --i) {
    const tReadings& older = s.Samples[i];
    const double olderAge = ctx.AgeOf(older);
    if (!(olderAge <= ctx.hours)) break;
    const bool olderValid = CountersValid(older, slot);
    if (newerValid && olderValid && olderAge > newerAge) {
      if (olderAge - newerAge < minSpan) {
        newerIn = older.NetIn[slot];
        newerOut = older.NetOut[slot];
        continue;
      }
      const double seconds = (olderAge - newerAge) * SecondsPerHour;
      const double in = Increase(newerIn, older.NetIn[slot]) / seconds;
      const double out = Increase(newerOut, older.NetOut[slot]) / seconds;
      const int left = (ctx.W - 44) - static_cast<int>(std::ceil(olderAge * p));
      const int right = (ctx.W - 45) - static_cast<int>(std::floor(newerAge * p));
      auto top = [&](double rate) { return Nearest(bottom - scale.Share(rate) * H); };
      const bool inLarger = in >= out;
      const double larger = inLarger ? in : out, smaller = inLarger ? out : in;
      const tColour largerColour = inLarger ? cfg.ColourIn : cfg.ColourOut;
      const tColour smallerColour = inLarger ? cfg.ColourOut : cfg.ColourIn;
      DrawBar(c, largerColour, left, top(larger), right, bottom);
      DrawBar(c, smallerColour, left, top(smaller), right, bottom);
      DrawBar(c, MeanColour(cfg.ColourIn, cfg.ColourOut), left, top(smaller), right, bottom);
    } else if ((!newerValid || !olderValid) && ctx.d.Settings.ShowOfflineTime && olderAge - newerAge >= minSpan) {
      const int left = (ctx.W - 44) - static_cast<int>(std::floor(olderAge * p));
      const int right = (ctx.W - 45) - static_cast<int>(std::ceil(newerAge * p));
      if (right > left) {
        c.penStyle = tPenStyle::Clear;
        c.brushStyle = tBrushStyle::Solid;
        c.brushColour = ctx.d.Settings.cBack;
        c.Rectangle(left, y0 + 6, right, y0 + 9 + H);
        c.penStyle = tPenStyle::Solid;
      }
    }
    newerAge = olderAge;
    newerValid = olderValid;
    newerIn = older.NetIn[slot];
    newerOut = older.NetOut[slot];
  }
}

// The current rates always come from the two newest samples of the finest series.
std::vector<std::string> CurrentRateTexts(const tChartContext& ctx, int slot) {
  auto tx = Texts();
  const int n = SampleCount(ctx.d.Series.Stats8h);
  if (n >= 2) {
    const tReadings& newer = ctx.d.Series.Stats8h.Samples[n - 1];
    const tReadings& older = ctx.d.Series.Stats8h.Samples[n - 2];
    const double seconds = (newer.Time - older.Time) * SecondsPerDay;
    if (CountersValid(newer, slot) && CountersValid(older, slot) && seconds > 0)
      return {tx->Down + " " + FormatRate(Increase(newer.NetIn[slot], older.NetIn[slot]) / seconds, ctx.d.Settings.BitDisplay),
              tx->Up + " " + FormatRate(Increase(newer.NetOut[slot], older.NetOut[slot]) / seconds, ctx.d.Settings.BitDisplay)};
  }
  return {tx->SensNotConn, ""};
}

void DrawNetBand(tChartContext& ctx, const std::vector<const tSlotTraffic*>& group) {
  const int H = BandHeight(ctx.d.Settings.NetHeight);
  if (!RoomFor(ctx, H + 8)) return;
  if (ctx.d.Settings.NetAuto) AutoNetScale(ctx.d.Settings, group);
  ClampNetScale(ctx.d.Settings);
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  GuardItem("ds39 ", [&] {
    const tNetScale scale(ctx.d.Settings);
    DrawNetGrid(ctx, scale, y0, H);
    for (const tSlotTraffic* t : group) DrawSlotBars(ctx, scale, t->slot, y0, H);
  });
  DrawBandIcon(ctx, biNetwork, y0, H);
  ctx.y += H + 8;
  for (const tSlotTraffic* t : group) {
    if (!RoomFor(ctx, LegendPitch)) return;
    GuardItem("ds41 ", [&] {
      const tNetSlot& cfg = ctx.d.Settings.NetSlots[t->slot];
      std::vector<std::string> texts{FormatKiB(t->received), FormatKiB(t->sent)};
      for (std::string& rate : CurrentRateTexts(ctx, t->slot)) texts.push_back(std::move(rate));
      DrawLegendRow(ctx, ctx.y, cfg.ColourIn, FillTemplate(ctx.d, cfg.Name, ctx.endTime), texts, true);
    });
    ctx.y += LegendPitch;
  }
}

}  // namespace

void DrawNetworkSection(tChartContext& ctx) {
  ClampNetScale(ctx.d.Settings);
  std::vector<tSlotTraffic> traffic;
  for (int i = 0; i < NetSlotCount; ++i) {
    if (!ctx.d.Settings.NetSlots[i].Vis) continue;
    GuardItem("ds37 ", [&] { traffic.push_back(MeasureSlot(ctx, i)); });
  }
  if (ctx.d.Settings.NetSep) {
    for (const tSlotTraffic& t : traffic)
      if (t.HasTraffic()) DrawNetBand(ctx, {&t});
    return;
  }
  std::vector<const tSlotTraffic*> shown;
  for (const tSlotTraffic& t : traffic)
    if (!shown.empty() || t.HasTraffic()) shown.push_back(&t);
  if (!shown.empty()) DrawNetBand(ctx, shown);
}

}  // namespace kv
