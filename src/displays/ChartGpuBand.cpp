// The GPU band: per switched-on GPU slot its load (bold) and its power draw against GPUPowerMax,
// both on a 0 .. 100 % grid like the CPU band, from the history in the second records.
#include <algorithm>
#include <array>
#include <cmath>

#include "displays/ChartSystemParts.h"
#include "displays/Formatting.h"
#include "readvalue/Readings.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

// Load in the slot's colour, power in the same hue darkened.
constexpr std::array<tColour, GpuSlots> GpuColours = {MakeColour(0, 160, 0), MakeColour(0, 96, 208),
                                                      MakeColour(176, 0, 176), MakeColour(208, 112, 0)};

tColour Darker(tColour c) { return MeanColour(c, MakeColour(0, 0, 0)); }

double OrNone(int32_t v) { return v == NoValue32 ? NoNumber : static_cast<double>(v); }

}  // namespace

bool GpuSlotShown(const tSettings& s, int slot) {
  const bool vis[GpuSlots] = {s.visGPU1, s.visGPU2, s.visGPU3, s.visGPU4};
  return slot >= 0 && slot < GpuSlots && vis[slot];
}

std::string GpuLabel(const std::vector<tGpu>& gpus, int slot) {
  const std::string name = slot >= 0 && slot < static_cast<int>(gpus.size()) ? gpus[static_cast<size_t>(slot)].Name : "";
  return "GPU" + std::to_string(slot + 1) + (name.empty() ? "" : " " + name);
}

std::string GpuLoadText(double hundredths) { return FormatPattern(hundredths / 100.0, 1) + " %"; }
std::string GpuWattText(double milliwatts) { return FormatPattern(milliwatts / 1000.0, 1) + " W"; }

void DrawGpuBand(tChartContext& ctx) {
  const tSettings& st = ctx.d.Settings;
  bool any = false;
  for (int i = 0; i < GpuSlots; ++i) any = any || GpuSlotShown(st, i);
  if (!any) return;
  const double powerScale = std::max(1, st.GPUPowerMax) * 1000.0;  // mW at the band's top

  struct tGpuRows {
    tChannelSummary load, power;
  };
  std::array<tGpuRows, GpuSlots> sums{};
  const std::vector<tGpu>& gpus = ctx.d.Current.Gpus;
  auto current = [&gpus](int i, int32_t tGpu::*field) {
    return i < static_cast<int>(gpus.size()) ? OrNone(gpus[static_cast<size_t>(i)].*field) : NoNumber;
  };
  GuardItem("ds61 ", [&] {
    for (int i = 0; i < GpuSlots; ++i) {
      if (!GpuSlotShown(st, i)) continue;
      sums[i].load = Summarise(ctx, current(i, &tGpu::Load),
                               [i](const tReadings&, const tReadingsExtra& e) { return OrNone(GpuLoadAt(e, i)); });
      sums[i].power = Summarise(ctx, current(i, &tGpu::Power),
                                [i](const tReadings&, const tReadingsExtra& e) { return OrNone(GpuPowerAt(e, i)); });
    }
  });

  const int H = BandHeight(st.GPUHeight);
  if (!RoomFor(ctx, H + 8)) return;
  DrawBandFrame(ctx, H, false);
  const int y0 = ctx.y;
  DrawPercentGrid(ctx, y0, H);
  for (int i = GpuSlots - 1; i >= 0; --i) {
    if (!GpuSlotShown(st, i)) continue;
    GuardItem("ds62 ", [&] {
      tCurveSpec spec = PercentCurve(y0, H);
      spec.colour = Darker(GpuColours[i]);
      spec.value = [i, powerScale](const tReadings&, const tReadingsExtra& e) {
        const int32_t mW = GpuPowerAt(e, i);
        return mW == NoValue32 ? NoNumber : std::min(mW / powerScale, 1.0) * 10000;
      };
      DrawCurve(ctx, spec);
      spec.colour = GpuColours[i];
      spec.bold = true;
      spec.value = [i](const tReadings&, const tReadingsExtra& e) { return OrNone(GpuLoadAt(e, i)); };
      DrawCurve(ctx, spec);
    });
  }
  DrawBandIcon(ctx, biGpu, y0, H);
  ctx.y += H + 8;

  GuardItem("ds63 ", [&] {
    auto tx = Texts();
    for (int i = 0; i < GpuSlots; ++i) {
      if (!GpuSlotShown(st, i)) continue;
      const std::string label = GpuLabel(gpus, i);
      const double load = current(i, &tGpu::Load), power = current(i, &tGpu::Power);
      if (!RoomFor(ctx, 2 * LegendPitch)) return;
      DrawLegendRow(ctx, ctx.y, GpuColours[i], label, StatisticTexts(std::isnan(load) ? tx->SensNotConn : GpuLoadText(load), sums[i].load, GpuLoadText), true);
      ctx.y += LegendPitch;
      DrawLegendRow(ctx, ctx.y, Darker(GpuColours[i]), label + " W",
                    StatisticTexts(std::isnan(power) ? tx->SensNotConn : GpuWattText(power), sums[i].power, GpuWattText), true);
      ctx.y += LegendPitch;
    }
  });
}

}  // namespace kv
