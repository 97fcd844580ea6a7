#include "displays/ChartView.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>

#include "core/EventLog.h"
#include "displays/ChartSystemParts.h"
#include "displays/Formatting.h"
#include "displays/Placeholders.h"
#include "settings/Channels.h"
#include "settings/Language.h"
#include "settings/Settings.h"

namespace kv {

namespace {

constexpr double OneSecond = 1.0 / SecondsPerDay;

// The last second of the day before `local`'s day, as UTC.
TDateTime DayEndBefore(TDateTime local) { return LocalToUtc(std::floor(local) - OneSecond); }

bool HasGeometry(const ChartGeometry& g) { return std::isfinite(g.PxPerHour) && g.PxPerHour > 0; }

// The chart's drawn columns: the legend margin on the left and the scale margin on the right are
// not part of the time axis.
bool InPlotColumns(int width, int x) { return x > 5 && static_cast<int64_t>(x) < static_cast<int64_t>(width) - 45; }

}  // namespace

// ---- The view -------------------------------------------------------------------------------

tViewChoice ChartView::CurrentView(const tDisplayData& d, TDateTime nowLocal) const {
  const tStatistics& series = d.Series;
  if (NavDate > 0) {
    const double back = nowLocal - NavDate;
    if (back > 6) return {&series.Stats1a, DayEndBefore(NavDate), 168};
    if (back >= 0) return {&series.Stats7d, DayEndBefore(NavDate), 24};
    // A position in the future (the clock went back) falls through to the live rows.
  }
  struct tLiveRow {
    tStatsView view;
    const tStatStore tStatistics::*series;
    double hours;
  };
  static const std::array<tLiveRow, 2> liveRows{{
      {tStatsView::Day24, &tStatistics::Stats7d, 24},
      {tStatsView::Week7, &tStatistics::Stats7d, 168},
  }};
  const TDateTime last = d.Current.Readings.Time;
  for (const auto& row : liveRows)
    if (checked_ == row.view) return {&(series.*row.series), last, row.hours};
  return {&series.Stats8h, last, d.Settings.SpanStats};
}

void ChartView::SelectView(tStatsView view) {
  NavDate = 0;
  checked_ = view;
}

void ChartView::Back1Day(TDateTime nowLocal) {
  if (NavDate != 0)
    NavDate -= (nowLocal - NavDate > 6) ? 7 : 1;
  else
    NavDate = nowLocal;
  checked_.reset();
}

void ChartView::Forward1Day(TDateTime nowLocal) {
  if (NavDate > 0) NavDate += (nowLocal - NavDate > 7) ? 7 : 1;
  if (!(nowLocal > NavDate)) NavDate = 0;
  if (NavDate == 0) checked_ = tStatsView::Basic;
}

bool ChartView::Wheel(bool up) {
  struct tWheelRow {
    bool up;
    tStatsView from, to;
  };
  static const std::array<tWheelRow, 4> wheelRows{{
      {true, tStatsView::Day24, tStatsView::Basic},
      {true, tStatsView::Week7, tStatsView::Day24},
      {false, tStatsView::Basic, tStatsView::Day24},
      {false, tStatsView::Day24, tStatsView::Week7},
  }};
  for (const auto& row : wheelRows) {
    if (row.up == up && checked_ == row.from) {
      checked_ = row.to;
      return true;
    }
  }
  return false;
}

// ---- Hover ----------------------------------------------------------------------------------

std::optional<tChartSection> SectionAt(const ChartGeometry& geometry, int width, int x, int y) {
  if (!InPlotColumns(width, x)) return std::nullopt;
  for (int r = 0; r < ChartSections; ++r)
    if (geometry.Rows[r].top < y && y < geometry.Rows[r].bottom) return static_cast<tChartSection>(r);
  return std::nullopt;
}

TDateTime HoverTime(const ChartGeometry& geometry, int width, int x) {
  // A chart that drew nothing has no time axis; its end is as good an answer as any.
  if (!HasGeometry(geometry)) return geometry.EndTime;
  const double columnsBack = static_cast<double>(width) - x - 45;
  return geometry.EndTime - columnsBack / geometry.PxPerHour / 24;
}

std::optional<std::string> HoverHint(const ChartView& view, const tDisplayData& d, const ChartGeometry& geometry,
                                     int width, int x, int y, TDateTime nowLocal) {
  if (!d.Settings.DisplayHint || !HasGeometry(geometry)) return std::nullopt;
  const auto section = SectionAt(geometry, width, x, y);
  if (!section) return std::nullopt;
  const tStatStore* series = view.CurrentView(d, nowLocal).series;
  if (!series) return std::nullopt;
  return ValuesText(d, *series, *section, HoverTime(geometry, width, x), geometry);
}

// ---- The values text ------------------------------------------------------------------------

namespace {

bool Shown(uint8_t vis) { return vis != 0; }

std::string ChannelName(const tDisplayData& d, const std::string& name, TDateTime hoverTime) {
  return FillTemplate(d, name, hoverTime);
}

void AddLine(std::string& text, const std::string& line) { text += "\r\n" + line; }

void TemperatureLines(const tDisplayData& d, std::string& text, const tReadings& s, TDateTime t) {
  for (int i = 0; i < TChannels; ++i) {
    const int16_t v = s.T[i];
    if (!Shown(d.Settings.TCfg[i].Vis) || v == NoValue16) continue;
    AddLine(text, ChannelName(d, d.Settings.TCfg[i].Name, t) + ": " + FormatTemperature(v, d.Settings.Celsius));
  }
}

void VoltageLines(const tDisplayData& d, std::string& text, const tReadings& s, TDateTime t) {
  const tTexts& texts = *Texts();
  for (int i = 0; i < VChannels; ++i) {
    const int16_t v = s.V[i];
    if (!Shown(d.Settings.VCfg[i].Vis) || v == NoValue16) continue;
    AddLine(text, ChannelName(d, d.Settings.VCfg[i].Name, t) + ": " + FormatPattern(v / 100.0, 2) + " " + texts.Volt);
  }
}

void FanLines(const tDisplayData& d, std::string& text, const tReadings& s, TDateTime t) {
  const tTexts& texts = *Texts();
  for (int i = 0; i < FChannels; ++i) {
    const int v = s.F[i];
    if (!Shown(d.Settings.FCfg[i].Vis) || v == NoValue16) continue;
    const std::string figure =
        v < 0 ? FormatPattern(-v / 100.0, 1) + " " + texts.LH : FormatPattern(v, 0) + " " + texts.RPM;
    AddLine(text, ChannelName(d, d.Settings.FCfg[i].Name, t) + ": " + figure);
  }
}

bool Usable(int32_t v) { return v != NoValue32; }

void MemoryLines(const tDisplayData& d, std::string& text, const tReadings& s) {
  const int32_t memTotal = d.Current.MemTotal, pageTotal = d.Current.PageTotal;
  if (memTotal < 1 || !Usable(memTotal) || !Usable(s.MemUsed) || !Usable(s.MemFree)) return;
  const tTexts& texts = *Texts();
  // A figure the sample lacks, or a total that cannot be divided by, is left out rather than
  // printed as a marker or an infinite share.
  auto figureLine = [&](const std::string& label, int32_t total, int32_t value) {
    if (total < 1 || !Usable(total) || !Usable(value)) return;
    const double share = std::round(static_cast<double>(value) / total * 100.0);
    AddLine(text, FormatWithText(label, FormatKiB(total)) + " " + FormatKiB(value) + " (" + FormatPattern(share, 1) +
                      " %)");
  };
  if (d.Settings.MemFree) {
    AddLine(text, texts.FreeMem);
    figureLine(texts.PageMem, pageTotal, s.PageFree);
    figureLine(texts.PhysMem, memTotal, s.MemFree);
  } else {
    AddLine(text, texts.AllocMem);
    figureLine(texts.PageMem, pageTotal, s.PageUsed);
    figureLine(texts.PhysMem, memTotal, s.MemUsed);
  }
  figureLine(texts.Cache, memTotal, s.Cache);
}

void NetworkLines(const tDisplayData& d, std::string& text, const tStatStore& series, int index) {
  if (index < 1) return;  // the first sample has nothing to take a rate against
  const tReadings& s = series.Samples[index];
  const tReadings& p = series.Samples[index - 1];
  if (!(s.Time > p.Time)) return;
  const double seconds = (s.Time - p.Time) * SecondsPerDay;
  const tTexts& texts = *Texts();
  for (int i = 0; i < NetChannels; ++i) {
    if (!d.Settings.NetSlots[i].Vis) continue;
    if (!Usable(s.NetIn[i]) || !Usable(s.NetOut[i]) || !Usable(p.NetIn[i]) || !Usable(p.NetOut[i])) continue;
    const double dIn = (static_cast<double>(s.NetIn[i]) - p.NetIn[i]) / seconds;
    const double dOut = (static_cast<double>(s.NetOut[i]) - p.NetOut[i]) / seconds;
    AddLine(text, d.Settings.NetSlots[i].Name + ": " + texts.Down + " " + FormatRate(dIn, d.Settings.BitDisplay) + " / " + texts.Up + " " +
                      FormatRate(dOut, d.Settings.BitDisplay));
  }
}

void BatteryLines(const tDisplayData& d, std::string& text, const tReadings& s) {
  if (!d.Settings.visBat || s.BatFull < 1 || !Usable(s.BatFull) || !Usable(s.BatCap)) return;
  const tTexts& texts = *Texts();
  const double percent = static_cast<double>(s.BatCap) * 100.0 / s.BatFull;
  AddLine(text, texts.BatteryStatus + " " +
                    FormatTexts(texts.BatCapacity, {FormatFixed(percent, 1), FormatFixed(s.BatCap, 0),
                                                    FormatFixed(s.BatFull, 0)}));
}

void CpuLines(const tDisplayData& d, std::string& text, const tReadings& s, TDateTime t) {
  const tTexts& texts = *Texts();
  if (d.Settings.visCPUFreq && Usable(s.Freq))
    AddLine(text, FormatTexts(texts.CPUFreq, {FormatPattern(d.Current.FreqMax / 1000.0, 1), FormatPattern(s.Freq / 1000.0, 1)}));
  for (int i = 0; i < CPUChannels; ++i) {
    const int16_t v = s.CPU[i];
    if (!Shown(d.Settings.CPUCfg[i].Vis) || v == NoValue16) continue;
    AddLine(text, ChannelName(d, d.Settings.CPUCfg[i].Name, t) + ": " + FormatPattern(v / 100.0, 1) + " %");
  }
}

// Per shown GPU slot its load and power at that sample, from the history in the second record.
void GpuLines(const tDisplayData& d, std::string& text, const tStatStore& series, int index) {
  if (index >= static_cast<int>(series.SamplesExtra.size())) return;
  const tReadingsExtra& e = series.SamplesExtra[static_cast<size_t>(index)];
  for (int i = 0; i < GpuSlots; ++i) {
    if (!GpuSlotShown(d.Settings, i)) continue;
    std::string figures;
    if (const int32_t load = GpuLoadAt(e, i); load != NoValue32) figures = GpuLoadText(load);
    if (const int32_t power = GpuPowerAt(e, i); power != NoValue32)
      figures += (figures.empty() ? "" : " / ") + GpuWattText(power);
    if (!figures.empty()) AddLine(text, GpuLabel(d.Current.Gpus, i) + ": " + figures);
  }
}

// The newest sample at or before t, scanning from the newest; -1 when there is none.
int SampleAtOrBefore(const tStatStore& series, TDateTime t) {
  const int64_t stored = static_cast<int64_t>(series.Samples.size());
  for (int64_t i = std::min<int64_t>(series.LastIndex, stored - 1); i >= 0; --i)
    if (series.Samples[i].Time <= t) return static_cast<int>(i);
  return -1;
}

}  // namespace

std::string ValuesText(const tDisplayData& d, const tStatStore& series, tChartSection section, TDateTime hoverTime,
                       const ChartGeometry& geometry) {
  std::string text;
  if (!HasGeometry(geometry) || !std::isfinite(hoverTime)) return text;
  try {
    const int index = SampleAtOrBefore(series, hoverTime);
    if (index < 0) return text;
    const tReadings& s = series.Samples[index];
    // Twelve pixel columns: further away the pointer stands in a hole of the data.
    if ((hoverTime - s.Time) * 24 >= 12 / geometry.PxPerHour) return text;

    const TDateTime shown = DisplayTime(s.Time, d.Settings.TimeInUTC);
    text = FormatWithText(Texts()->Time, ShortDateText(shown) + " " + LongTimeText(shown));
    switch (section) {
      case csTemperatures: TemperatureLines(d, text, s, hoverTime); break;
      case csVoltages: VoltageLines(d, text, s, hoverTime); break;
      case csFans: FanLines(d, text, s, hoverTime); break;
      case csMemory: MemoryLines(d, text, s); break;
      case csNetwork: NetworkLines(d, text, series, index); break;
      case csBattery: BatteryLines(d, text, s); break;
      case csDisks: break;  // the disk boxes show free space now, not over time
      case csCPU: CpuLines(d, text, s, hoverTime); break;
      case csGPU: GpuLines(d, text, series, index); break;
      default: break;
    }
  } catch (const std::exception& e) {
    LogError("gv1 ", e);
  } catch (...) {
    LogUnknownError("gv1 ");
  }
  return text;
}

// ---- Double-click ---------------------------------------------------------------------------

int DoubleClickPage(const ChartGeometry& geometry, int width, int x, int y,
                    const std::function<void(int page)>& openPage) {
  // The options program's page for each section, in tChartSection order.
  static const std::array<int, ChartSections> sectionPages{4, 5, 6, 7, 8, 13, 9, 7, 7};
  constexpr int ColoursPage = 3;
  if (const auto section = SectionAt(geometry, width, x, y)) {
    const int page = sectionPages[*section];
    try {
      openPage(page);
      return page;
    } catch (const std::exception& e) {
      LogError("ismd1 ", e);
    } catch (...) {
      LogUnknownError("ismd1 ");
    }
  }
  try {
    openPage(ColoursPage);
    return ColoursPage;
  } catch (const std::exception& e) {
    LogError("ismd1 ", e);
  } catch (...) {
    LogUnknownError("ismd1 ");
  }
  return 0;
}

// ---- Resize ---------------------------------------------------------------------------------

std::optional<tRowRange> TakeChangedRows(QImage& shown, const QImage& drawn) {
  if (shown.size() != drawn.size() || shown.format() != drawn.format()) {
    shown = drawn.copy();
    if (drawn.isNull()) return std::nullopt;
    return tRowRange{0, drawn.height()};
  }
  const size_t bytes = static_cast<size_t>(drawn.width()) * static_cast<size_t>(drawn.depth() / 8);
  const auto same = [&](int y) { return std::memcmp(shown.constScanLine(y), drawn.constScanLine(y), bytes) == 0; };
  int top = 0;
  while (top < drawn.height() && same(top)) ++top;
  if (top == drawn.height()) return std::nullopt;
  int bottom = drawn.height();
  while (bottom > top + 1 && same(bottom - 1)) --bottom;
  for (int y = top; y < bottom; ++y) std::memcpy(shown.scanLine(y), drawn.constScanLine(y), bytes);
  return tRowRange{top, bottom};
}

tWindowSize CorrectResize(tWindowSize current, tWindowSize proposed, tWindowSize scrollBox, int chartWidth,
                          int chartHeight, int scrollBarWidth) {
  if (proposed.width == current.width && proposed.height == current.height) return proposed;
  // 64-bit arithmetic: an enormous chart must not wrap a window size around.
  auto clamp = [](int64_t v) {
    return static_cast<int>(std::clamp<int64_t>(v, 0, std::numeric_limits<int>::max()));
  };
  int64_t width = static_cast<int64_t>(current.width) - scrollBox.width + chartWidth;
  int64_t height = proposed.height;
  const int64_t excess =
      (static_cast<int64_t>(scrollBox.height) + proposed.height - current.height) - chartHeight;
  if (excess > 0) height -= excess;
  if (excess < 0) width += scrollBarWidth;
  return {clamp(width), clamp(height)};
}

}  // namespace kv
