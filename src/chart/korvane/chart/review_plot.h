// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/canvas.h"
#include "korvane/chart/chart_types.h"
#include "korvane/chart/review_date_axis.h"
#include "korvane/chart/review_view.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace korvane::chart {

// The values a recorded run can plot.
enum class ReviewSeries : int {
  kOutputVoltage,
  kInputVoltage,
  kCell1,
  kCell2,
  kCell3,
  kCell4,
  kCell5,
  kCell6,
  kCell7,
  kCurrent,
  kCapacity,
  kTemperature,
};
inline constexpr int kReviewSeriesCount = 12;

// Bit i shows ReviewSeries i.
using ReviewSeriesMask = std::uint32_t;
inline constexpr ReviewSeriesMask ReviewBit(ReviewSeries s) {
  return ReviewSeriesMask{1} << static_cast<int>(s);
}

// Each unit has a pane of its own, stacked top to bottom in this order. Cells get a pane apart from
// the pack so that their range is tight enough to show how far they spread.
enum class ReviewUnit : int { kVoltage, kCellVoltage, kCurrent, kCapacity, kTemperature };
inline constexpr int kReviewUnitCount = 5;
ReviewUnit UnitOf(ReviewSeries s);

// Whether s is not a voltage: the right axis of a plot with one axis for volts and one for the
// rest.
bool OnRightAxis(ReviewSeries s);
// "Output voltage", "Input voltage", "Cell 1" .. "Cell 7", "Current", "Capacity", "Temperature".
std::string_view ReviewSeriesName(ReviewSeries s);
// The colour of the series' curves in every run (runs differ in line style): the live chart's
// colour for the values it draws too, else one of palette.h's colours for values it does not draw.
TColor ReviewSeriesColor(ReviewSeries s);

// One run as plotted: its frames' times from the run's start and their values in volts, amperes,
// ampere-hours and degrees. NaN marks a frame without that value (a cell not in use).
struct ReviewRun {
  std::string label;              // legend text
  std::int64_t startUtcMs = 0;    // the read-out's local time is startUtcMs + elapsed
  std::vector<double> elapsedMs;  // ascending
  std::array<std::vector<double>, kReviewSeriesCount> values;  // each as long as elapsedMs
};

// How a trace's points are marked; kNone draws none (a line only).
enum class ReviewMark : int { kNone, kCircle, kSquare, kTriangle, kDiamond, kTriangleDown };
enum class ReviewSide : int { kLeft, kRight };

// A series given by its description rather than as one of a recorded run's values: its own xs
// (UTC ms on a calendar time axis, else elapsed ms), drawn in its colour as markers, a line or
// both, against the left or right value axis of the one pane that all traces share.
struct ReviewTrace {
  std::string name;  // legend and read-out
  std::string unit;  // read-out
  TColor color = 0;
  TPenStyle penStyle = TPenStyle::Solid;
  ReviewMark mark = ReviewMark::kCircle;
  bool joined = false;  // a line through the points
  ReviewSide side = ReviewSide::kLeft;
  int decimals = 0;                // of the read-out's values
  std::vector<double> xs;          // ascending
  std::vector<double> ys;          // cut or filled up with NaN (no point) to the length of xs
  std::vector<std::int64_t> keys;  // what a hit on each point names (a run id); may be empty
};

// A horizontal line across the traces' pane at a value of the side's axis (a rated capacity).
struct ReviewLevel {
  std::string name;  // legend
  double value = 0;
  TColor color = 0;
  TPenStyle penStyle = TPenStyle::Dash;
  ReviewSide side = ReviewSide::kLeft;
};

// What a plot of traces shows. Without a right trace or level there is no right axis.
struct ReviewTraceSet {
  std::vector<ReviewTrace> traces;
  std::vector<ReviewLevel> levels;
  std::string leftTitle;  // "Capacity [mAh]"
  std::string rightTitle;
  std::string keyName = "Run";  // the read-out's line naming the point's key: "Run 123"
  std::string emptyText = "Nothing to show";  // while no trace has a point
};

// A trace's point under the pointer.
struct ReviewHit {
  std::size_t trace = 0;
  std::size_t point = 0;
  std::optional<std::int64_t> key;
};

// What the time axis counts: time from the runs' starts, or calendar dates of UTC instants.
enum class ReviewTimeAxis : int { kElapsed, kCalendar };

struct ReviewPlotStyle {
  TFont font{"Sans Serif", 9};
  std::string decimalSeparator = ".";
  std::string temperatureUnit = "\u00B0C";
  // The read-out's local time of a UTC instant; without it the read-out gives elapsed time only
  // (or, on a calendar axis, DefaultDateLabel's day).
  std::function<std::string(std::int64_t utcMs)> localTime;
  ReviewTimeAxis timeAxis = ReviewTimeAxis::kElapsed;
  ReviewDateLabel dateLabel;  // a calendar axis' tick labels; DefaultDateLabel's without it
};

// The hover read-out: where its cursor line stands and what its box says.
struct ReviewReadout {
  int x = 0;  // client pixel of the cursor line
  double elapsedMs = 0;
  std::vector<std::string> lines;  // elapsed and local time, then one line per shown value
};

// A unit's pane as laid out: where its curves go and the values its axis spans.
struct ReviewPane {
  ReviewUnit unit;  // kVoltage for the traces' pane
  TRect area;
  double lo;
  double hi;
  std::optional<std::pair<double, double>> right;  // the right axis' range, if it has one
};

// A plot of one or more recorded runs aligned at their starts: elapsed time across, shared by a
// pane per unit with a shown value (each with its own value axis on the left), a legend entry per
// run and series, the hover read-out and a rubber band, both across all panes. Or, in place of
// runs, a plot of traces: one pane with a left and a right value axis, markers and lines, levels,
// and a calendar time axis when the style asks for it. Standard library only; it lays out through
// TextMetrics and draws through Canvas. Pixel coordinates are the client's.
//
// Resize lays out at once; every other change (runs, shown values, style, view) is laid out by the
// next Resize or Paint, and until then PlotArea() and the read-out go by the last layout.
class ReviewPlot {
 public:
  ReviewPlot();
  ~ReviewPlot();

  void SetStyle(ReviewPlotStyle style);
  const ReviewPlotStyle& Style() const;

  // Replaces the runs and shows the whole of the longest. A series of another length than
  // elapsedMs is cut or filled up with NaN to match it.
  void SetRuns(std::vector<ReviewRun> runs);
  // The same runs again with more frames (a run still being recorded): a view of the whole
  // span goes on showing the whole, grown span; a zoomed view keeps its times.
  void UpdateRuns(std::vector<ReviewRun> runs);
  const std::vector<ReviewRun>& Runs() const;

  // Replaces whatever is plotted (runs included) with traces and shows their whole span, widened
  // a little so that the outermost markers stay clear of the edges. SetRuns drops the traces.
  void SetTraces(ReviewTraceSet set);
  const ReviewTraceSet& Traces() const;
  // The marked point in view nearest a client point inside the plot area, if one lies within
  // radiusPx (in both directions); of two equally near, the earlier trace's.
  std::optional<ReviewHit> PointAt(TPoint client, int radiusPx = 6) const;

  void SetShown(ReviewSeriesMask mask);
  ReviewSeriesMask Shown() const;

  // Lays out for a client of width x height; the visible times are kept.
  void Resize(int width, int height, TextMetrics& metrics);
  int Width() const;
  int Height() const;
  // Where the curves are drawn: the panes' common times across, from the top pane's top to the
  // bottom pane's bottom.
  TRect PlotArea() const;
  // Top to bottom; none while nothing is plotted.
  std::vector<ReviewPane> Panes() const;

  // Zoom and pan in client pixels; ResetView shows the whole longest run again. ZoomAt keeps the
  // time under clientX there (a factor above 1 zooms in); ZoomToPixels shows the times between
  // two xs in either order and ignores a drag narrower than 3 pixels.
  void ZoomAt(int clientX, double factor);
  void PanBy(int pixels);
  void ZoomToPixels(int clientX0, int clientX1);
  void ResetView();
  const ReviewView& View() const;

  // The pointer at a client point: the read-out shows the frame nearest its time, with the values
  // of every pane, while the point is inside the plot area; nothing hides it. The cursor stands at
  // the first run's frame nearest the time at the pointer's pixel centre (a later run leads where
  // the first has ended); each run then gives its values at its frame nearest that frame's time,
  // unless it has ended by then. Over traces the cursor stands at the point nearest in time, and
  // the read-out gives that point's key and every trace's value at that very time.
  void SetHover(std::optional<TPoint> client);
  std::optional<ReviewReadout> Readout() const;

  // The rubber band between two client xs while a zoom drag goes on; nothing hides it.
  void SetRubberBand(std::optional<std::pair<int, int>> clientXs);

  void Paint(Canvas& canvas, TextMetrics& metrics);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace korvane::chart
