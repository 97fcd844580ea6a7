// The battery section of the statistics chart: the charge band for short windows, the wear band
// for long ones.
#include <algorithm>
#include <cmath>
#include <string>

#include "displays/ChartSystemParts.h"
#include "displays/Formatting.h"
#include "readvalue/Readings.h"
#include "settings/Language.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"

namespace kv {

namespace {

constexpr double WearWindowHours = 240;
constexpr double RateReferenceDays = 10.0 / (24 * 60);  // ten minutes

// Capacity units per day, from the finest series whatever series is drawn: the reference is the
// newest sample that lies in another power state, more than ten minutes back, or just after a
// change of the full capacity. A gap wider than the window ends the walk without a rate.
double ChargeRate(const tChartContext& ctx, double windowHours) {
  if (ctx.d.Current.Readings.BatCap == NoValue32) return 0;
  const tStatStore& s = ctx.d.Series.Stats8h;
  const tReadings* reference = nullptr;
  const tReadings* newerValid = nullptr;
  for (int i = SampleCount(s) - 1; i >= 0; --i) {
    const tReadings& r = s.Samples[i];
    if (r.BatCap == NoValue32) continue;
    if (newerValid && (newerValid->Time - r.Time) * 24 > windowHours) break;
    newerValid = &r;
    const bool fullChangesBefore = i == 0 || s.Samples[i - 1].BatFull != ctx.d.Current.Readings.BatFull;
    if (r.BatOnline != ctx.d.Current.Readings.BatOnline || ctx.d.Current.Readings.Time - r.Time > RateReferenceDays || fullChangesBefore) {
      reference = &r;
      break;
    }
  }
  if (!reference || reference->BatFull <= 0) return 0;
  const double ageDays = ctx.d.Current.Readings.Time - reference->Time;
  if (!(ageDays > 0)) return 0;
  return (static_cast<double>(ctx.d.Current.Readings.BatCap) - reference->BatCap) / ageDays;
}

std::string Duration(double days) { return FormatTimePattern(Texts()->TimeFormat, days); }

// The first legend row: the first case that holds decides its wording.
enum class tTail { None, Remaining, Charging };
struct tBatteryCase {
  bool (*holds)(double cap, double full, double rate);
  std::string tTexts::*relative;  // nullptr: the percentage
  std::string tTexts::*absolute;  // nullptr: the capacity text
  tTail tail;
};
const tBatteryCase BatteryCases[] = {
    {[](double cap, double full, double) { return cap == full; }, &tTexts::BatFullNoCap, &tTexts::BatFull,
     tTail::None},
    {[](double cap, double, double) { return cap == 0; }, &tTexts::BatEmptyNoCap, &tTexts::BatEmpty, tTail::None},
    {[](double, double, double rate) { return rate < 0; }, nullptr, nullptr, tTail::Remaining},
    {[](double, double, double rate) { return rate > 0; }, nullptr, nullptr, tTail::Charging},
    {[](double, double, double) { return true; }, nullptr, nullptr, tTail::None},
};

std::string WearText(const tChartContext& ctx, bool relative) {
  auto tx = Texts();
  const std::string w = FormatFixed((1 - static_cast<double>(ctx.d.Current.Readings.BatFull) / ctx.d.Current.BatDesign) * 100, 1);
  return relative ? FormatTexts(tx->BatWearNoCap, {w})
                  : FormatTexts(tx->BatWear, {FormatPattern(ctx.d.Current.BatDesign, 0), w});
}

std::string ChargeText(const tChartContext& ctx, double rate) {
  auto tx = Texts();
  const double cap = ctx.d.Current.Readings.BatCap, full = ctx.d.Current.Readings.BatFull;
  const std::string p = FormatFixed(cap / full * 100, 1);
  for (const tBatteryCase& row : BatteryCases) {
    if (!row.holds(cap, full, rate)) continue;
    std::string body;
    if (ctx.d.Current.BatRelative)
      body = row.relative ? FormatTexts((*tx).*row.relative, {}) : p + " %";
    else
      body = row.absolute ? FormatTexts((*tx).*row.absolute, {FormatPattern(full, 0)})
                          : FormatTexts(tx->BatCapacity, {p, FormatPattern(cap, 0), FormatPattern(full, 0)});
    std::string tail;
    if (row.tail == tTail::Remaining) {
      tail = FormatTexts(tx->RemainingBattery, {Duration(-full / rate), Duration(-cap / rate)});
    } else if (row.tail == tTail::Charging) {
      const double d = (full - cap) / rate;
      tail = FormatTexts(tx->ChargingTime,
                         {Duration(d), Duration(DisplayTime(ctx.d.Current.Readings.Time + d, ctx.d.Settings.TimeInUTC))});
    }
    return tx->BatteryStatus + " " + body + (tail.empty() ? "" : "   " + tail);
  }
  return tx->BatteryStatus;
}

void DrawChargeBand(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  double rate = 0;
  GuardItem("ds42 ", [&] { rate = ChargeRate(ctx, ctx.hours); });

  const int H = BandHeight(st.BatHeight);
  if (!RoomFor(ctx, H + 8)) return;
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  GuardItem("ds43 ", [&] {
    DrawPercentGrid(ctx, y0, H);
    DrawAreas(ctx, y0, H, st.colBat, [](const tReadings& r, const tReadingsExtra&) {
      if (r.BatCap == NoValue32 || r.BatFull == NoValue32 || r.BatFull <= 0 || r.BatCap < 0) return NoNumber;
      return std::min<double>(r.BatCap, r.BatFull) / r.BatFull;
    });
  });
  DrawBandIcon(ctx, biBattery, y0, H);
  ctx.y += H + 8;

  GuardItem("ds46 ", [&] {
    if (!RoomFor(ctx, LegendPitch)) return;
    const bool known = ctx.d.Current.Readings.BatCap != NoValue32;
    DrawLegendRow(ctx, ctx.y, st.colBat, known ? ChargeText(ctx, rate) : Texts()->BatteryStatus + " " + Texts()->SensNotConn,
                  {}, false);
    ctx.y += LegendPitch;
    if (ctx.d.Current.BatDesign > 0 && RoomFor(ctx, LegendPitch)) {
      DrawLegendRow(ctx, ctx.y, st.colBat, WearText(ctx, ctx.d.Current.BatRelative), {}, false);
      ctx.y += LegendPitch;
    }
  });
}

void DrawWearBand(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  const int H = BandHeight(st.BatHeight);
  if (!RoomFor(ctx, H + 8)) return;
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  DrawPercentGrid(ctx, y0, H);
  const double design = ctx.d.Current.BatDesign;
  DrawAreas(ctx, y0, H, st.colBat, [design](const tReadings& r, const tReadingsExtra&) {
    if (r.BatFull == NoValue32 || r.BatFull <= 0) return NoNumber;
    return std::min<double>(r.BatFull, design) / design;
  });
  DrawBandIcon(ctx, biBattery, y0, H);
  ctx.y += H + 8;
  if (!RoomFor(ctx, LegendPitch)) return;
  DrawLegendRow(ctx, ctx.y, st.colBat, WearText(ctx, false), {}, false);
  ctx.y += LegendPitch;
}

}  // namespace

void DrawBatterySection(tChartContext& ctx) {
  if (!ctx.d.Settings.visBat) return;
  if (ctx.hours < WearWindowHours) {
    if (ctx.d.Current.Readings.BatFull > 0 && ctx.d.Current.Readings.BatFull != NoValue32) DrawChargeBand(ctx);
  } else if (ctx.d.Current.BatDesign > 0) {
    GuardItem("ds46 ", [&] { DrawWearBand(ctx); });
  }
}

}  // namespace kv
