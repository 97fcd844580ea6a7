#include "displays/Banner.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "core/DateTime.h"
#include "core/EventLog.h"
#include "core/Process.h"
#include "displays/Canvas.h"
#include "displays/ChartParts.h"
#include "displays/ContrastColours.h"
#include "displays/DisplayData.h"
#include "displays/Formatting.h"
#include "displays/Light.h"
#include "displays/Placeholders.h"
#include "displays/SegmentDigits.h"
#include "readvalue/Readings.h"
#include "settings/Channels.h"
#include "settings/Settings.h"
#include "statistics/StatStore.h"

namespace kv {

namespace {

constexpr int PlotHeight = 53;
constexpr int PlotBottom = 65;  // the row of TMinBanner; TMaxBanner lies PlotHeight above
constexpr int Unset = NoValue16;  // a scale end nobody has set
constexpr int WidthLowest = 480, WidthHighest = 3072;
constexpr double SpanLowest = 1.0 / 60, SpanHighest = 366 * 24, SpanDefault = 6;
// From this span on the time grid marks month starts.
constexpr double MonthGridSpan = 2400;

// Hours between time labels by the span shown.
struct tTimeStep {
  double spanUpTo, step;
};
constexpr tTimeStep TimeSteps[] = {{2, 0.25}, {4, 0.5}, {8, 1}, {24, 4}};
constexpr double LongestTimeStep = 24;

// Value grid steps in hundredths, the smallest that keeps the lines 12 pixels apart.
constexpr int GridSteps[] = {200, 500, 1000};
constexpr int WidestGridStep = 2000;
constexpr double GridSpacing = 12;

struct tBanner {
  const tDisplayData& d;
  Canvas& c;
  int W = 0;
  double span = 0;
  double P = 0;   // pixels per hour
  double D = 0;   // hours between plotted samples: half a pixel
  double S = 0;   // hours between time labels
  TDateTime now = 0;  // Readings.Time, UTC
  TDateTime e = 0;    // the same as shown
  int samples = 0;    // usable samples of the fine series
};

double TimeStep(double span) {
  for (const tTimeStep& s : TimeSteps)
    if (span <= s.spanUpTo) return s.step;
  return LongestTimeStep;
}

int GridStep(double range) {
  for (const int g : GridSteps)
    if (range <= PlotHeight * g / GridSpacing) return g;
  return WidestGridStep;
}

double AgeOf(const tBanner& b, const tReadings& r) { return (b.now - r.Time) * 24.0; }

// Inside the shown window; a sample newer than the readings (a clock set back) lies right of
// "now" and is left out like one older than the span.
bool Shown(const tBanner& b, double age) { return age >= 0 && age <= b.span; }

tColour Average(tColour a, tColour b) {
  return MakeColour((RedOf(a) + RedOf(b)) / 2, (GreenOf(a) + GreenOf(b)) / 2, (BlueOf(a) + BlueOf(b)) / 2);
}

bool CurveChannel(const tBanner& b, int i) {
  return b.d.Settings.TCfg[i].Vis == 1 && b.d.Current.Readings.T[i] != NoValue16;
}

void BandFrame(tBanner& b) {
  Canvas& c = b.c;
  const int x2 = b.W - 20;
  c.penStyle = tPenStyle::Solid;
  c.penColour = b.d.Settings.cScBorder;
  c.brushStyle = tBrushStyle::Solid;
  c.brushColour = b.d.Settings.cScBack;
  c.Rectangle(7, 10, x2, 67);
  DrawBevel(c, b.d.Settings, 7, 10, x2, 67);
}

// The processor clock as large faint digits in the middle of the band.
void ClockMark(tBanner& b) {
  if (b.d.Current.Readings.Freq == NoValue32) return;
  Canvas& c = b.c;
  const tColour colour = Average(b.d.Settings.cScGrid, b.d.Settings.cScBack);
  c.SetFont(tFont{FontArial, 38 * PlotHeight / 120, false, colour});
  const int w = 8 + (b.W + 20) / 2;
  const std::string cores = CoresText(b.d.Current);
  if (!cores.empty()) c.Watermark(w + 9, 61 - c.TextHeight(cores), cores);
  c.SetFontBold(true);
  c.Watermark(w + 9, 15, "MHz");
  c.SetFontBold(false);
  const double scale = PlotHeight / 120.0;
  DrawSegmentNumber(c, colour, Nearest(b.d.Current.Readings.Freq / 1000.0), std::trunc(15 * scale), std::trunc(4 * scale),
                    std::trunc(50 * scale), 15, w - 11);
}

// The times of the time grid and labels, newest first: multiples of S hours at or before e.
TDateTime FirstGridTime(const tBanner& b) { return std::trunc(b.e * 24 / b.S) * b.S / 24; }
double TimeX(const tBanner& b, TDateTime t) { return (b.W - 22) - (b.e - t) * 24 * b.P; }

void TimeGrid(tBanner& b) {
  Canvas& c = b.c;
  c.SetFontHeight(12);
  c.SetFontColour(b.d.Settings.cScDesc);
  c.penColour = b.d.Settings.cScGrid;
  c.penStyle = tPenStyle::Dot;
  auto line = [&](double x) { c.Line(static_cast<int>(x), 14, static_cast<int>(x), 64); };
  if (b.span >= MonthGridSpan) {
    const tDateParts now = DecodeDateTime(b.e);
    int year = now.year, month = now.month;
    for (;;) {
      const double x = std::trunc(TimeX(b, EncodeDateTime({year, month, 1})));
      if (!(x >= 8)) break;
      line(x);
      if (--month == 0) month = 12, --year;
    }
  } else {
    const TDateTime t0 = FirstGridTime(b);
    for (int k = 0;; ++k) {
      const double x = std::trunc(TimeX(b, t0 - k * b.S / 24));
      if (!(x >= 8)) break;
      line(x);
    }
  }
  c.penStyle = tPenStyle::Solid;
}

void TimeLabels(tBanner& b) {
  Canvas& c = b.c;
  c.brushColour = b.d.Settings.cScBack;
  c.brushStyle = tBrushStyle::Clear;
  c.SetFontColour(b.d.Settings.cScDesc);
  c.penColour = b.d.Settings.cScGrid;
  const TDateTime t0 = FirstGridTime(b);
  int room = b.W - 22;  // newest first: a label that would run into the newer one is left out
  for (int k = 0;; ++k) {
    const TDateTime t = t0 - k * b.S / 24;
    const double x = TimeX(b, t);
    if (!(x >= 10)) break;
    const tDateParts p = DecodeDateTime(t);
    const std::string label = p.hour == 0 && p.minute == 0 ? ShortDateText(t) : ShortTimeText(t);
    if (room - c.TextWidth(label) >= x && c.InkRect(static_cast<int>(x), 11, label).right() < room) {
      c.FitText(static_cast<int>(x), room, static_cast<int>(x), 11, label);
      room = static_cast<int>(x) - 2;
    }
  }
}

// Each shown channel widens the scale to its values over the span, with room of at least two
// degrees in steps of two; the result stays in the settings.
void AutoScale(tBanner& b) {
  if (b.d.Settings.TAutoBanner) b.d.Settings.TMinBanner = b.d.Settings.TMaxBanner = Unset;
  for (int i = 0; i < TChannels; ++i) {
    try {
      if (!CurveChannel(b, i)) continue;
      int lo = b.d.Current.Readings.T[i], hi = lo;
      for (int k = b.samples - 1; k >= 0; --k) {
        const tReadings& r = b.d.Series.Stats8h.Samples[static_cast<size_t>(k)];
        const double age = AgeOf(b, r);
        if (age > b.span) break;
        const int v = r.T[i];
        if (v == NoValue16 || !Shown(b, age)) continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
      }
      if (!b.d.Settings.TAutoBanner) continue;
      int32_t& tMin = b.d.Settings.TMinBanner;
      int32_t& tMax = b.d.Settings.TMaxBanner;
      if (lo < tMin || tMin == Unset) tMin = static_cast<int32_t>(std::floor(lo / 200.0 - 1) * 200);
      if (hi > tMax || tMax == Unset) tMax = static_cast<int32_t>(std::ceil(hi / 200.0 + 1) * 200);
      tMin = std::max(tMin, -5000);
      tMax = std::min(tMax, 15000);
    } catch (const std::exception& e) {
      LogError("db13 ", e);
    }
  }
}

// A hand-edited limit beyond any 16-bit reading is held at the readings' range, so the grid
// loop stays short; 32767 keeps its meaning "not set".
int WorkingLimit(int32_t v) { return v == Unset ? Unset : std::clamp<int32_t>(v, -32768, Unset - 1); }

struct tScale {
  int lo = 0, hi = 0;
  double U = 0;  // pixels per hundredth
};

void ValueGrid(tBanner& b, const tScale& s) {
  Canvas& c = b.c;
  const int G = GridStep(static_cast<double>(s.hi) - s.lo);
  c.penStyle = tPenStyle::Dot;
  for (int v = s.lo; v <= s.hi; v += G) {
    try {
      const int y = Nearest(PlotBottom - (v - s.lo) * s.U);
      c.Line(10, y, b.W - 24, y);
      // The lowest label is lifted inside the plot, clear of the footer below it.
      const std::string label = FormatPattern(ToDisplayTemperature(v, b.d.Settings.Celsius), 0);
      const int top = y - 6 - std::max(0, c.InkRect(0, y - 6, label).bottom() - (PlotBottom + 1));
      c.FitText(b.W - 20, b.W - 1, b.W - 20, top, label, 2);
    } catch (const std::exception& e) {
      LogError("db14 ", e);
    }
  }
  c.penStyle = tPenStyle::Solid;
}

// One pass over the series, oldest first: values outside the scale or the span break the line;
// samples closer than half a pixel to the last point are thinned out.
void CurvePass(tBanner& b, const tScale& s, int i, int offset) {
  Canvas& c = b.c;
  const tColour colour = b.d.Settings.TCfg[i].Colour;
  c.penColour = colour;
  c.penStyle = tPenStyle::Solid;
  const double alpha = b.d.Settings.Alpha;
  std::vector<tPoint> points;
  points.reserve(static_cast<size_t>(std::min(b.samples, 2 * b.W)));
  auto flush = [&] {
    if (points.size() >= 2) c.Polyline(points);
    else if (points.size() == 1) c.SetPixel(points[0].x, points[0].y, colour);
    points.clear();
  };
  double smooth = 0;  // kept across breaks
  double last = std::numeric_limits<double>::infinity();  // the first point is always taken
  for (int k = 0; k < b.samples; ++k) {
    const tReadings& r = b.d.Series.Stats8h.Samples[static_cast<size_t>(k)];
    const double age = AgeOf(b, r);
    double v = r.T[i];
    if (v < s.lo || v > s.hi || !Shown(b, age)) {
      flush();
      last = age;
    } else if (last - age < b.D) {
      continue;
    } else {
      if (alpha != 0) {
        smooth = smooth == 0 ? v : (1 - alpha) * smooth + alpha * v;
        v = Nearest(smooth);
      }
      points.push_back({b.W - 23 - static_cast<int>(std::trunc(age * b.P)),
                        Nearest(7 + offset + PlotHeight - (v - s.lo) * s.U)});
      last = age;
    }
  }
  flush();
}

void Curves(tBanner& b, const tScale& s) {
  for (int i = TChannels - 1; i >= 0; --i) {
    if (!CurveChannel(b, i)) continue;
    try {
      CurvePass(b, s, i, 5);
      if (b.d.Settings.TCfg[i].Bold) CurvePass(b, s, i, 6);
    } catch (const std::exception& e) {
      LogError("db16 ", e);
    }
  }
}

void Legend(tBanner& b) {
  Canvas& c = b.c;
  c.SetFontHeight(12);
  c.brushStyle = tBrushStyle::Clear;
  int x = 8;
  for (int i = 0; i < TChannels; ++i) {
    if (b.d.Settings.TCfg[i].Vis == 0) continue;
    try {
      std::string text = FillTemplate(b.d, b.d.Settings.TCfg[i].Name, b.d.Current.Readings.Time);
      if (b.d.Current.Readings.T[i] != NoValue16) text.append(" ").append(FormatTemperature(b.d.Current.Readings.T[i], b.d.Settings.Celsius));
      if (x >= b.W - 12) break;  // no room left for even a shortened name
      c.SetFontColour(b.d.Settings.TCfg[i].Colour);
      c.FitText(x, b.W - 2, x, 0, text);
      x += c.TextWidth(text) + 10;
    } catch (const std::exception& e) {
      LogError("db17 ", e);
    }
  }
}

void Plot(tBanner& b) {
  const tScale s{WorkingLimit(b.d.Settings.TMinBanner), WorkingLimit(b.d.Settings.TMaxBanner)};
  const double range = static_cast<double>(s.hi) - s.lo;
  if (range == 0) return;
  bool anyShown = false;
  for (int i = 0; i < TChannels; ++i) anyShown = anyShown || b.d.Settings.TCfg[i].Vis == 1;
  if (!anyShown || s.lo == Unset || s.hi == Unset) return;
  try {
    tScale scale = s;
    scale.U = PlotHeight / range;
    ValueGrid(b, scale);
    Curves(b, scale);
    Legend(b);
  } catch (const std::exception& e) {
    LogError("db18 ", e);
  }
}

// The footer's columns: date, uptime, web site.
constexpr int UptimeX = 145, WebSiteX = 270;

void Footer(tBanner& b) {
  Canvas& c = b.c;
  const int W = b.W;
  c.brushStyle = tBrushStyle::Clear;
  c.SetFont(tFont{FontSmall, 10, false, c.Font().colour});
  const tContrast contrast = PickContrastColours(c, W - 102, 70);
  if (b.d.Settings.DisplayDateTime) {
    c.SetFontColour(contrast.Main);
    c.FitText(8, UptimeX - 4, 8, 68, ReadingsTimeText(b.d.Current, b.d.Settings), 1);
  }
  if (b.d.Settings.ReadUpTime) {
    try {
      const std::string text = UptimeLineText(b.d.Current);
      c.SetFontColour(contrast.Dim);
      c.FitText(UptimeX, WebSiteX - 4, UptimeX, 68, text, 1);
    } catch (const std::exception& e) {
      LogError("db20 ", e);
    }
  }
  c.SetFontColour(contrast.Shadow);
  c.TextOut(W - 102, 69, ProductVersion);
  c.SetFontColour(contrast.Highlight);
  c.TextOut(W - 102, 68, ProductVersion);
  c.SetFont(tFont{FontArial, 14, true, contrast.Shadow});
  // Lifted where the descender would run into the frame's bottom line.
  const int lift = std::max(0, c.InkRect(WebSiteX + 1, 66, ProductWebSite).bottom() - (BannerHeight - 2));
  c.FitText(WebSiteX, W - 102, WebSiteX + 1, 66 - lift, ProductWebSite);
  c.SetFontColour(contrast.Highlight);
  c.FitText(WebSiteX - 1, W - 102, WebSiteX, 65 - lift, ProductWebSite);
  DrawOuterFrame(c, b.d.Settings, W - 1, BannerHeight - 1);
}

}  // namespace

int BannerDrawWidth(const tSettings& settings) {
  return std::clamp<int32_t>(settings.BannerWidth, WidthLowest, WidthHighest);
}

double BannerDrawSpan(const tSettings& settings) {
  const double span = settings.SpanBanner;
  return std::isfinite(span) ? std::clamp(span, SpanLowest, SpanHighest) : SpanDefault;
}

void DrawBanner(QImage& image, const tDisplayData& d, std::vector<tDrawnText>* texts) {
  const tStatStore& fine = d.Series.Stats8h;
  if (fine.LastIndex <= 0) return;
  try {
    LogEvent("Drawing banner");
    Canvas c(image);
    c.drawnTexts = texts;
    tBanner b{d, c};
    b.W = BannerDrawWidth(d.Settings);
    b.span = BannerDrawSpan(d.Settings);
    b.P = (b.W - 30) / b.span;
    b.D = b.span / (b.W - 30) / 2;
    b.S = TimeStep(b.span);
    b.now = d.Current.Readings.Time;
    b.e = DisplayTime(d.Current.Readings.Time, d.Settings.TimeInUTC);
    b.samples = static_cast<int>(std::min<size_t>(static_cast<size_t>(fine.LastIndex) + 1, fine.Samples.size()));

    c.Resize(b.W, BannerHeight);
    c.penStyle = tPenStyle::Solid;
    c.penColour = d.Settings.cBorder;
    c.brushStyle = tBrushStyle::Solid;
    c.brushColour = d.Settings.cBack;
    c.Rectangle(0, 0, b.W, BannerHeight);
    c.brushStyle = tBrushStyle::Clear;
    c.SetFont(tFont{FontArial, 12, false, 0});

    BandFrame(b);
    ClockMark(b);
    // A readings time that is no date (nothing read yet) has no place on the time axis.
    const bool timed = std::isfinite(b.e) && std::abs(b.e) < 1e6;
    if (timed) TimeGrid(b);
    if (timed) TimeLabels(b);
    else c.SetFontColour(d.Settings.cScDesc);
    AutoScale(b);
    Plot(b);
    Footer(b);
  } catch (const std::exception& e) {
    LogError("db21 ", e);
  }
}

}  // namespace kv
