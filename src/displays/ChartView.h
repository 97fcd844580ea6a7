#pragma once
// What the main window's chart shows and how the user moves through it: the current view, the
// view entries, day and week steps, the wheel, the hover text, the double-click pages and the
// resize rule. Widget-free, so all of it is tested without a display. Main thread only.
#include <functional>
#include <optional>
#include <string>

#include "core/DateTime.h"
#include "displays/Chart.h"
#include "displays/DisplayData.h"
#include "statistics/StatStore.h"

namespace kv {

// The live view entries of the window menu (mnuStats, mnuStats24, mnuStats7). The month and
// year entries are disabled and never checked.
enum class tStatsView { Basic, Day24, Week7 };

// The series, end time (UTC) and width in hours that the chart is drawn with.
struct tViewChoice {
  const tStatStore* series = nullptr;
  TDateTime endTime = 0;
  double hours = 0;
};

class ChartView {
 public:
  // 0 = live; otherwise the local date-time the user has stepped back to.
  TDateTime NavDate = 0;

  // The checked view entry; none while navigating.
  std::optional<tStatsView> Checked() const { return checked_; }

  // From d's series, readings time and SpanStats; nowLocal is the local clock.
  tViewChoice CurrentView(const tDisplayData& d, TDateTime nowLocal) const;

  // mnuStatsClick, mnuStats24Click, mnuStats7Click: back to the live view with that entry.
  void SelectView(tStatsView view);
  // mnuBack1DayClick ("<") and mnuForward1DayClick (">").
  void Back1Day(TDateTime nowLocal);
  void Forward1Day(TDateTime nowLocal);
  // FormMouseWheelUp / FormMouseWheelDown: true when an entry changed (the event is handled
  // and the chart must be redrawn); false at the ends of the scale and while navigating.
  bool Wheel(bool up);

 private:
  std::optional<tStatsView> checked_ = tStatsView::Basic;
};

// The section whose row range holds y strictly inside, when x lies strictly between 5 and
// W - 45; nullopt otherwise.
std::optional<tChartSection> SectionAt(const ChartGeometry& geometry, int width, int x, int y);
// The UTC time a column x of the drawn chart stands for.
TDateTime HoverTime(const ChartGeometry& geometry, int width, int x);

// The hint text for one section at one moment; empty when no sample is close enough (twelve
// pixel columns of the drawn chart) or the chart drew nothing. Failures end the text where it
// is ("gv1 ").
std::string ValuesText(const tDisplayData& d, const tStatStore& series, tChartSection section, TDateTime hoverTime,
                       const ChartGeometry& geometry);

// imgStatsMouseMove without the hint window: nullopt when the hint stays as it is (hints off,
// outside the plot columns or every section, nothing drawn); otherwise the new hint text, which
// may be empty (the hint is cleared and not shown). The series is the one of CurrentView.
std::optional<std::string> HoverHint(const ChartView& view, const tDisplayData& d, const ChartGeometry& geometry,
                                     int width, int x, int y, TDateTime nowLocal);

// The options program's page for a double-click at (x, y): the section's page, or 3 (colours)
// outside every section. openPage starts the program; when it throws for a section's page
// ("ismd1 "), page 3 is tried instead. Returns the page opened; 0 when page 3 failed as well
// (logged with the same tag).
int DoubleClickPage(const ChartGeometry& geometry, int width, int x, int y,
                    const std::function<void(int page)>& openPage);

// Brings `shown` (the picture on screen) up to `drawn` by copying only the rows that differ,
// and answers them, so the window repaints only those; a picture of another size or format is
// taken whole. nullopt when not a pixel changed: a tick that changed nothing repaints nothing.
std::optional<tRowRange> TakeChangedRows(QImage& shown, const QImage& drawn);

// FormCanResize: corrects a proposed window size so the width always fits the chart and the
// height never makes the scroll box taller than the chart.
struct tWindowSize {
  int width = 0;
  int height = 0;
};
tWindowSize CorrectResize(tWindowSize current, tWindowSize proposed, tWindowSize scrollBox, int chartWidth,
                          int chartHeight, int scrollBarWidth);

}  // namespace kv
