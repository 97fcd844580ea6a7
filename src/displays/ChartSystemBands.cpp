// The system bands of the statistics chart: memory, CPU, battery and disks here, the network
// in ChartNetworkBand.cpp.
#include <algorithm>
#include <array>
#include <cctype>
#include <cmath>
#include <cstdint>
#include <exception>
#include <string>
#include <vector>

#include "core/EventLog.h"
#include "displays/ChartSystemParts.h"
#include "displays/Formatting.h"
#include "displays/Placeholders.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr int64_t MemScaleCeiling = 1073741824;  // 1 TiB in KiB

double Value32(int32_t v) { return v == NoValue32 ? NoNumber : static_cast<double>(v); }

}  // namespace

int SampleCount(const tStatStore& s) {
  const int64_t n = std::min<int64_t>({static_cast<int64_t>(s.LastIndex) + 1,
                                       static_cast<int64_t>(s.Samples.size()),
                                       static_cast<int64_t>(s.SamplesExtra.size())});
  return static_cast<int>(std::max<int64_t>(n, 0));
}

void DrawAreas(tChartContext& ctx, int y0, int H, tColour colour, const tGetter& fraction) {
  Canvas& c = ctx.c;
  c.penStyle = tPenStyle::Solid;
  c.penColour = colour;
  c.brushStyle = tBrushStyle::Solid;
  c.brushColour = colour;
  const int bottom = y0 + 7 + H;
  std::vector<tPoint> polygon;
  auto close = [&] {
    if (polygon.empty()) return;
    polygon.push_back({polygon.back().x, bottom});
    c.Polygon(polygon);
    polygon.clear();
  };
  double lastAge = 0;
  const tStatStore& s = ctx.series;
  for (int i = SampleCount(s) - 1; i >= 0; --i) {
    const double age = ctx.AgeOf(s.Samples[i]);
    if (age > ctx.hours) break;
    const double f = (age >= 0 && std::isfinite(age)) ? fraction(s.Samples[i], s.SamplesExtra[i]) : NoNumber;
    if (!std::isfinite(f)) {
      close();
      if (std::isfinite(age)) lastAge = age;
      continue;
    }
    if (std::fabs(age - lastAge) < ctx.halfPixelHours) continue;
    lastAge = age;
    const int x = ctx.AreaX(age);
    const int y = Nearest(bottom - std::clamp(f, 0.0, 1.0) * H);
    if (polygon.empty()) polygon.push_back({x, bottom});
    polygon.push_back({x, y});
  }
  close();
}

void DrawPercentGrid(tChartContext& ctx, int y0, int H) {
  const double step = 100.0 / GridLineCount(H);
  for (int k = 0; k * step <= 100.0 + 1e-9; ++k) {
    const double v = k * step;
    DrawValueGridLine(ctx, Nearest(y0 + 7 + H - v * H / 100.0), FormatPattern(v, 0) + " %", ctx.W - 12);
  }
}

std::vector<std::string> StatisticTexts(const std::string& current, const tChannelSummary& sum,
                                        std::string (*format)(double)) {
  auto tx = Texts();
  std::vector<std::string> texts{current, "", "", ""};
  if (sum.hasMinMax) {
    texts[1] = tx->Min + " " + format(sum.min);
    texts[2] = tx->Max + " " + format(sum.max);
  }
  if (sum.hasMean()) texts[3] = tx->Avg + " " + format(sum.mean());
  return texts;
}

namespace {

std::string KiBText(double v) { return FormatKiB(v); }
std::string LoadText(double v) { return FormatPattern(v / 100.0, 1) + " %"; }

}  // namespace

std::string FormatTimePattern(const std::string& pattern, double t) {
  if (!std::isfinite(t)) return {};
  double dayFraction = std::fmod(t, 1.0);
  if (dayFraction < 0) dayFraction += 1.0;
  const int64_t secs = std::min<int64_t>(std::llround(dayFraction * SecondsPerDay), 86399);
  const int parts[3] = {static_cast<int>(secs / 3600), static_cast<int>(secs / 60 % 60),
                        static_cast<int>(secs % 60)};
  std::string out;
  for (size_t i = 0; i < pattern.size();) {
    const char ch = static_cast<char>(std::tolower(static_cast<unsigned char>(pattern[i])));
    const int part = ch == 'h' ? 0 : ch == 'n' ? 1 : ch == 's' ? 2 : -1;
    if (part >= 0) {
      const bool twoDigits = i + 1 < pattern.size() &&
                             std::tolower(static_cast<unsigned char>(pattern[i + 1])) == ch;
      std::string digits = std::to_string(parts[part]);
      if (twoDigits && digits.size() < 2) digits = "0" + digits;
      out += digits;
      i += twoDigits ? 2 : 1;
    } else if (pattern[i] == '\'' || pattern[i] == '"') {
      const size_t end = pattern.find(pattern[i], i + 1);
      out += pattern.substr(i + 1, end == std::string::npos ? std::string::npos : end - i - 1);
      i = end == std::string::npos ? pattern.size() : end + 1;
    } else {
      out += pattern[i++];
    }
  }
  return out;
}

namespace {

void FinishRow(tChartContext& ctx, tChartSection section, int top) {
  ctx.geometry.Rows[section] = {top, ctx.y};
}

// ---- Memory ----

struct tMemSeries {
  const char* rowTag;
  int level;
  bool exists;       // the cache is no series when free values are shown
  tColour colour;
  double (*value)(const tReadings&);
  double total;      // KiB; 0 when unknown
  std::string name;
  bool cache;
  tChannelSummary sum;
};

void DrawMemory(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  if (st.Page == 0 && st.visMem == 0 && st.visCache == 0) return;
  auto tx = Texts();
  const bool free = st.MemFree;
  tMemSeries series[3] = {
      {"ds33a ", st.Page, true, st.colMemPage,
       free ? +[](const tReadings& r) { return Value32(r.PageFree); }
            : +[](const tReadings& r) { return Value32(r.PageUsed); },
       static_cast<double>(ctx.d.Current.PageTotal), FormatWithText(tx->PageMem, FormatKiB(ctx.d.Current.PageTotal)), false, {}},
      {"ds33 ", st.visMem, true, st.colMem,
       free ? +[](const tReadings& r) { return Value32(r.MemFree); }
            : +[](const tReadings& r) { return Value32(r.MemUsed); },
       static_cast<double>(ctx.d.Current.MemTotal), FormatWithText(tx->PhysMem, FormatKiB(ctx.d.Current.MemTotal)), false, {}},
      {"ds33b ", st.visCache, !free, st.colMemCache, +[](const tReadings& r) { return Value32(r.Cache); },
       static_cast<double>(ctx.d.Current.MemTotal), FormatWithText(tx->Cache, FormatKiB(ctx.d.Current.MemTotal)), true, {}},
  };

  GuardItem("ds29 ", [&] {
    for (tMemSeries& m : series)
      if (m.exists && m.level != 0)
        m.sum = Summarise(ctx, m.value(ctx.d.Current.Readings),
                          [&m](const tReadings& r, const tReadingsExtra&) { return m.value(r); });
  });

  if (st.MemAuto) {
    int64_t lo = NoValue32, hi = NoValue32;
    for (const tMemSeries& m : series) {
      if (!m.exists || m.level != 1 || !m.sum.hasMinMax) continue;
      const double lower = std::floor(m.sum.min / 16 / 1024 - (m.cache ? 1 : 0)) * 16384;
      if (lo == NoValue32 || m.sum.min < lo) lo = static_cast<int64_t>(lower);
      const double upper = std::ceil(m.sum.max / 16 / 1024 + 1) * 16384;
      if (hi == NoValue32 || m.sum.max > hi) hi = static_cast<int64_t>(std::min<double>(upper, NoValue32));
    }
    ctx.d.Settings.MemMin = static_cast<int32_t>(std::clamp<int64_t>(lo, INT32_MIN, NoValue32));
    ctx.d.Settings.MemMax = static_cast<int32_t>(std::clamp<int64_t>(hi, INT32_MIN, NoValue32));
  }
  ctx.d.Settings.MemMin = std::max<int32_t>(ctx.d.Settings.MemMin, 0);
  ctx.d.Settings.MemMax = static_cast<int32_t>(std::min<int64_t>(ctx.d.Settings.MemMax, MemScaleCeiling));
  const int64_t lo = ctx.d.Settings.MemMin, hi = ctx.d.Settings.MemMax;
  const bool scaleUsable = lo < hi;  // ends that coincide show the band without values

  const int H = BandHeight(st.MemHeight);
  if (!RoomFor(ctx, H + 8)) return;
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  if (scaleUsable) {
    const int64_t step =
        static_cast<int64_t>(std::ceil(static_cast<double>((hi - lo) / GridLineCount(H)) / 16384)) * 16384;
    // The labels reach left into the plot, so they are drawn after the areas, not under them.
    const auto forEachGridLine = [&](auto fn) {
      if (step > 0)
        for (int64_t v = lo; v <= hi; v += step) fn(Nearest(MapToBand(static_cast<double>(v), lo, hi, y0, H)), v);
    };
    forEachGridLine([&](int y, int64_t) { DrawValueGridLine(ctx, y, {}, ctx.W - 6); });

    GuardItem("ds36 ", [&] {
      for (const tMemSeries& m : series) {
        if (!m.exists || m.level != 1) continue;
        DrawAreas(ctx, y0, H, m.colour, [&](const tReadings& r, const tReadingsExtra&) {
          const double v = m.value(r);
          if (std::isnan(v) || v < lo) return NoNumber;
          return (std::min<double>(v, hi) - lo) / static_cast<double>(hi - lo);
        });
      }
      // Outlines keep the series visible that a later area covers.
      auto outline = [&](const tMemSeries& m) {
        tCurveSpec spec;
        spec.lo = static_cast<double>(lo);
        spec.hi = static_cast<double>(hi);
        spec.y0 = y0;
        spec.H = H;
        spec.colour = m.colour;
        spec.value = [&m](const tReadings& r, const tReadingsExtra&) { return m.value(r); };
        DrawCurve(ctx, spec);
      };
      const bool cacheArea = series[2].exists && series[2].level == 1;
      if (st.Page == 1 && (st.visMem == 1 || cacheArea)) outline(series[0]);
      if (st.visMem == 1 && cacheArea) outline(series[1]);
    });
    forEachGridLine([&](int y, int64_t v) { DrawValueLabel(ctx, y, FormatKiB(static_cast<double>(v)), ctx.W - 6); });
  }
  DrawBandIcon(ctx, biMemory, y0, H);
  ctx.y += H + 8;

  GuardItem("ds30 ", [&] {
    if (!RoomFor(ctx, LegendPitch)) return;
    DrawLegendRow(ctx, ctx.y, st.cScDesc, free ? tx->FreeMem : tx->AllocMem, {}, false);
    ctx.y += LegendPitch;
    for (const tMemSeries& m : series) {
      if (!m.exists || m.level == 0 || m.total <= 0) continue;
      if (!RoomFor(ctx, LegendPitch)) return;
      GuardItem(m.rowTag, [&] {
        const double v = m.value(ctx.d.Current.Readings);
        const std::string current =
            std::isnan(v) ? tx->SensNotConn
                          : FormatKiB(v) + " (" + FormatPattern(std::round(v / m.total * 100), 1) + " %)";
        DrawLegendRow(ctx, ctx.y, st.cScDesc, m.name, StatisticTexts(current, m.sum, KiBText), true);
      });
      ctx.y += LegendPitch;
    }
  });
}

// ---- CPU ----

}  // namespace

int64_t DrawUserActivity(tChartContext& ctx, int y0, int H, bool draw) {
  Canvas& c = ctx.c;
  const int y = y0 + H + 6;
  const int right = ctx.W - 44;
  if (draw) {
    c.penStyle = tPenStyle::Solid;
    c.penColour = ctx.d.Settings.cScGrid;
    c.Line(6, y, right + 1, y);
    c.penColour = ctx.d.Settings.colUser;
  }
  int64_t active = 0;
  const tStatStore& s = ctx.series;
  const int n = SampleCount(s);
  for (int i = n - 1; i >= 1; --i) {
    const double newerAge = ctx.AgeOf(s.Samples[i]);
    const double olderAge = ctx.AgeOf(s.Samples[i - 1]);
    if (newerAge > ctx.hours || olderAge > ctx.hours) break;
    if (!(newerAge >= 0)) continue;
    const int32_t newer = s.SamplesExtra[i].UserSecs, older = s.SamplesExtra[i - 1].UserSecs;
    if (newer == NoValue32 || older == NoValue32 || newer <= older) continue;
    active += static_cast<int64_t>(newer) - older;
    if (!draw) continue;
    const int x1 = std::max(ctx.CurveX(olderAge), 6);
    const int x2 = std::min(ctx.CurveX(newerAge), right);
    if (x2 < x1) continue;
    c.Line(x1, y, x2 + 1, y);
    c.Line(x1, y + 1, x2 + 1, y + 1);
  }
  return active;
}

namespace {

std::string ActiveTimeText(int64_t secs, double hours) {
  auto tx = Texts();
  std::string time;
  if (secs < 86400) {
    time = FormatTimePattern(tx->TimeFormat, secs / SecondsPerDay) + " h";
  } else {
    time = FormatPattern(static_cast<double>(secs / 86400), 0) + " d " +
           FormatTimePattern(tx->TimeFormat, (secs % 86400) / SecondsPerDay) + " h";
  }
  const double share = hours > 0 ? secs / 3600.0 * 100 / hours : 0;
  return FormatTexts("%s (%s %%)", {time, FormatPattern(share, 1)});
}

void DrawCPU(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  bool anyLoad = false;
  for (const tChannelCfg& cfg : ctx.d.Settings.CPUCfg) anyLoad = anyLoad || cfg.Vis != 0;
  if (!anyLoad && !st.visCPUFreq && !st.visUser) return;
  auto tx = Texts();

  std::array<tChannelSummary, CpuChannels> sums{};
  GuardItem("ds31 ", [&] {
    for (int i = 0; i < CpuChannels; ++i)
      if (ctx.d.Settings.CPUCfg[i].Vis != 0)
        sums[i] = Summarise(ctx, ctx.d.Current.Readings.CPU[i] == NoValue16 ? NoNumber : ctx.d.Current.Readings.CPU[i],
                            [i](const tReadings& r, const tReadingsExtra&) {
                              return r.CPU[i] == NoValue16 ? NoNumber : static_cast<double>(r.CPU[i]);
                            });
  });

  const int H = BandHeight(st.CPUHeight);
  if (!RoomFor(ctx, H + 8)) return;
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  DrawPercentGrid(ctx, y0, H);

  const bool clock = st.visCPUFreq && ctx.d.Current.FreqMax > 0;
  if (clock) {
    const double freqMax = ctx.d.Current.FreqMax;
    DrawAreas(ctx, y0, H, MeanColour(st.cFreq, st.cScBack), [freqMax](const tReadings& r, const tReadingsExtra&) {
      if (r.Freq == NoValue32 || r.Freq < 0) return NoNumber;
      return std::min<double>(r.Freq, freqMax) / freqMax;
    });
  }

  for (int i = CpuChannels - 1; i >= 0; --i) {
    if (ctx.d.Settings.CPUCfg[i].Vis == 0) continue;
    GuardItem("ds34 ", [&] {
      tCurveSpec spec = PercentCurve(y0, H);
      spec.colour = ctx.d.Settings.CPUCfg[i].Colour;
      spec.value = [i](const tReadings& r, const tReadingsExtra&) {
        return r.CPU[i] == NoValue16 ? NoNumber : static_cast<double>(r.CPU[i]);
      };
      spec.bold = ctx.d.Settings.CPUCfg[i].Bold;
      DrawCurve(ctx, spec);
    });
  }

  int64_t activeSecs = 0;
  if (st.visUser) GuardItem("ds35 ", [&] { activeSecs = DrawUserActivity(ctx, y0, H, true); });
  DrawBandIcon(ctx, biCPU, y0, H);
  ctx.y += H + 8;

  GuardItem("ds36 ", [&] {
    if (clock && RoomFor(ctx, LegendPitch)) {
      const std::string now = ctx.d.Current.Readings.Freq == NoValue32 ? tx->SensNotConn : FormatPattern(ctx.d.Current.Readings.Freq / 1000.0, 1);
      DrawLegendRow(ctx, ctx.y, st.cFreq, FormatTexts(tx->CPUFreq, {FormatPattern(ctx.d.Current.FreqMax / 1000.0, 1), now}), {},
                    false);
      ctx.y += LegendPitch;
    }
    for (int i = 0; i < CpuChannels; ++i) {
      if (ctx.d.Settings.CPUCfg[i].Vis == 0 || !sums[i].hasMinMax) continue;
      if (!RoomFor(ctx, LegendPitch)) return;
      const std::string current = ctx.d.Current.Readings.CPU[i] == NoValue16 ? tx->SensNotConn : LoadText(ctx.d.Current.Readings.CPU[i]);
      DrawLegendRow(ctx, ctx.y, ctx.d.Settings.CPUCfg[i].Colour, FillTemplate(ctx.d, ctx.d.Settings.CPUCfg[i].Name, ctx.endTime),
                    StatisticTexts(current, sums[i], LoadText), true);
      ctx.y += LegendPitch;
    }
    if (st.visUser && RoomFor(ctx, LegendPitch)) {
      DrawLegendRow(ctx, ctx.y, st.colUser, tx->UserActiveTime, {ActiveTimeText(activeSecs, ctx.hours)}, true);
      ctx.y += LegendPitch;
    }
  });
}

// ---- Disks ----

void DrawDisks(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  if (!st.ReadDisk || !(ctx.hours < 24 || st.IncludeStaticData)) return;
  ctx.x1 = 120;
  auto tx = Texts();
  Canvas& c = ctx.c;
  const int W = ctx.W;
  int o = 0;
  for (const tDiskSlot& slot : ctx.d.Settings.DiskSlots) {
    if (!slot.Vis || slot.TotalKB <= 0) continue;
    if (!RoomFor(ctx, o + 16 + 4)) break;
    const int Y = ctx.y + o;
    GuardItem("ds49 ", [&] {
      const double total = static_cast<double>(slot.TotalKB);
      // A free figure above the total (a drive swapped between readings) counts as all free.
      const double freeKB = std::clamp(static_cast<double>(slot.FreeKB), 0.0, total);
      const double used = total - freeKB;
      const double s = st.DisksFree ? freeKB / total : used / total;
      const double v = st.DisksFree ? freeKB : used;
      const double u = st.DisksFree ? used : freeKB;

      c.penStyle = tPenStyle::Solid;
      c.brushStyle = tBrushStyle::Solid;
      c.penColour = st.cScBorder;
      c.brushColour = st.cScBack;
      c.Rectangle(5, Y + 7, W - 10, Y + 21);

      const int b = 4 + static_cast<int>(std::trunc((W - 15) * s));
      if (b > 6) {  // an empty bar has no corner to round off
        c.penColour = slot.Colour;
        c.brushColour = slot.Colour;
        c.Rectangle(6, Y + 8, b, Y + 20);
        c.SetPixel(b - 1, Y + 8, st.cScBack);
        c.SetPixel(b - 1, Y + 19, st.cScBack);
      }

      c.brushStyle = tBrushStyle::Clear;
      c.SetFontColour(st.cInfo);
      // Label, total, share and the rest, each within its stretch of the box.
      c.TextRect(10, Y + 8, std::min(115, ctx.x1 - 4), Y + 28, 10, Y + 8, slot.Label);
      c.FitText(ctx.x1 - 2, ctx.x3 - 4, ctx.x1, Y + 8,
                FormatWithText(st.DisksFree ? tx->FreeDisk : tx->AllocDisk, FormatKiB(total)), 1);
      c.FitText(ctx.x4 - 2, W - 11, ctx.x4, Y + 8, FormatKiB(u) + " " + (st.DisksFree ? tx->Allocated : tx->Free), 1);
      DrawBevel(c, ctx.d.Settings, 5, Y + 7, W - 10, Y + 21);
      c.FitText(ctx.x3 - 2, ctx.x4 - 4, ctx.x3, Y + 8,
                FormatKiB(v) + " (" + FormatPattern(std::round(v / total * 100), 1) + " %)", 1);
      c.brushStyle = tBrushStyle::Solid;
    });
    o += 16;
  }
  if (o > 0) ctx.y += o + 4;
}

}  // namespace

void GuardItem(const char* tag, const std::function<void()>& item) {
  try {
    item();
  } catch (const std::exception& e) {
    LogEvent(std::string(tag) + e.what());
  } catch (...) {
    LogEvent(std::string(tag) + "unknown error");
  }
}

tColour MeanColour(tColour a, tColour b) {
  return MakeColour((RedOf(a) + RedOf(b)) / 2, (GreenOf(a) + GreenOf(b)) / 2, (BlueOf(a) + BlueOf(b)) / 2);
}

int GridLineCount(int H) { return static_cast<int>(std::ceil(H / 20.0 + 1)); }


void DrawSystemBands(tChartContext& ctx) {
  struct tBand {
    tChartSection section;
    const char* tag;  // what went wrong outside the band's own guarded items
    void (*draw)(tChartContext&);
  };
  static const tBand bands[] = {
      {csMemory, "ds29 ", DrawMemory},           {csCPU, "ds31 ", DrawCPU},
      {csGPU, "ds60 ", DrawGpuBand},
      {csNetwork, "ds39 ", DrawNetworkSection}, {csBattery, "ds43 ", DrawBatterySection},
      {csDisks, "ds49 ", DrawDisks},
  };
  for (const tBand& band : bands) {
    const int top = ctx.y;
    GuardItem(band.tag, [&] { band.draw(ctx); });
    FinishRow(ctx, band.section, top);
  }
}

}  // namespace kv
