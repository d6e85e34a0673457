// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state behind ReviewPlot, shared by its data, layout, paint and read-out parts.

#include "korvane/chart/review_axis.h"
#include "korvane/chart/review_plot.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace korvane::chart::review_plot {

// Layout distances in pixels.
inline constexpr int kMargin = 6;          // around everything
inline constexpr int kGap = 4;             // between an axis' title, labels and ticks
inline constexpr int kTick = 4;            // tick length
inline constexpr int kSwatch = 22;         // a legend entry's line sample
inline constexpr int kLegendSpacing = 14;  // between legend entries
inline constexpr int kPaneGap = 8;         // between stacked panes

// Frames per block of a SeriesSummary.
inline constexpr std::size_t kBlock = 64;

// What a run's series holds, gathered once when the runs are set, so that value ranges of any
// frame span cost O(span / kBlock + kBlock) and gaps are found without visiting frames.
struct SeriesSummary {
  bool hasValue = false;
  std::vector<double> blockMin;  // +inf for a block without a value
  std::vector<double> blockMax;  // -inf for a block without a value
  // nanBefore[i] counts the NaNs among frames [0, i); empty when the series has none.
  std::vector<std::uint32_t> nanBefore;
};

SeriesSummary Summarize(std::span<const double> ys);

// Widens [lo, hi] to the values of frames [i0, i1).
void ExtendRange(const SeriesSummary& summary, std::span<const double> ys, std::size_t i0,
                 std::size_t i1, double& lo, double& hi);

// Whether a frame strictly between a and b (a < b) has no value.
bool GapBetween(const SeriesSummary& summary, std::size_t a, std::size_t b);

// Frames [first, second) of sorted xs whose times lie within [t0, t1].
std::pair<std::size_t, std::size_t> FramesWithin(std::span<const double> xs, double t0, double t1);

TColor SeriesColor(ReviewSeries s);
TPenStyle RunPenStyle(std::size_t run);
std::string SeriesUnit(ReviewSeries s, const ReviewPlotStyle& style);
// "12.346" with exactly `decimals` decimals and the given separator, whatever the C locale.
std::string FormatFixed(double value, int decimals, std::string_view decimalSeparator);

struct ValueAxis {
  double lo = 0;
  double hi = 1;
  std::vector<ReviewTick> ticks;
  int labelWidth = 0;
  std::string title;
};

// How a legend entry's swatch, a read-out line's swatch or a curve is drawn.
struct Look {
  TColor color = 0;
  TPenStyle pen = TPenStyle::Solid;
  ReviewMark mark = ReviewMark::kNone;
  bool line = true;
};

Look RunLook(std::size_t run, ReviewSeries s);
Look TraceLook(const ReviewTrace& trace);

struct LegendItem {
  Look look;
  bool more = false;  // "+N more": the entries that did not fit
  int x = 0;
  int y = 0;
  std::string text;
};

// One polyline piece of a curve, in client pixels.
struct CurvePiece {
  Look look;
  std::vector<TPoint> points;
};

// A trace's markers in view, in client pixels, one per pixel.
struct MarkerSet {
  Look look;
  std::vector<TPoint> points;
};

// One unit's band of the plot (or the traces' one band): its curves, value axes and grid share
// its area.
struct Pane {
  ReviewUnit unit = ReviewUnit::kVoltage;
  TRect area;
  ValueAxis axis;
  std::optional<ValueAxis> right;
};

struct Layout {
  TRect plot;  // from the top pane's top to the bottom pane's bottom
  int lineHeight = 0;
  std::vector<Pane> panes;  // top to bottom
  // Index into panes by unit; -1 for a unit without a pane.
  std::array<int, kReviewUnitCount> paneOf{};
  std::vector<ReviewTick> timeTicks;
  std::vector<LegendItem> legend;
};

struct State {
  ReviewPlotStyle style;
  std::vector<ReviewRun> runs;
  std::vector<std::array<SeriesSummary, kReviewSeriesCount>> summaries;
  ReviewSeriesMask shown = ReviewBit(ReviewSeries::kOutputVoltage);
  int width = 0;
  int height = 0;
  ReviewView view{0, 1000, 1};
  std::optional<TPoint> hover;
  std::optional<std::pair<int, int>> band;
  // A zoom's pointer: the next layout keeps this time under this client x, though the axes'
  // widths may move the plot area.
  std::optional<std::pair<int, double>> anchor;
  bool layoutDirty = true;
  Layout layout;
  bool curvesValid = false;
  std::vector<CurvePiece> curves;
  // Traces in place of runs, each with the summary of its ys.
  bool traceMode = false;
  ReviewTraceSet traceSet;
  std::vector<SeriesSummary> traceSummaries;
  std::vector<MarkerSet> markers;
};

// The shown series that some run has a value for.
ReviewSeriesMask Plotted(const State& state);
// Whether a curve or marker would be drawn: a plotted series, or a trace with a value.
bool HasContent(const State& state);
double SpanEnd(const State& state);
double SpanStart(const State& state);

// Client x of a time inside the plot area and y of a value inside its pane.
int XOf(const Layout& layout, const ReviewView& view, double timeMs);
int YOf(const Pane& pane, double value);
int YOf(const TRect& area, const ValueAxis& axis, double value);

// Fits an axis over lengthPx to [lo, hi] with a margin, with ticks and their labels' width.
void FitAxisTo(const State& state, double lo, double hi, int lengthPx, TextMetrics& metrics,
               ValueAxis& axis);
// The legend's entries flowed in rows across the top, rows beyond a quarter of the height giving
// way to "+N more"; returns the rows taken.
int FlowLegend(State& state, std::vector<std::pair<std::string, Look>> entries,
               TextMetrics& metrics);
// The traces' and levels' legend entries, and their pane's axes fitted to what is in view.
std::vector<std::pair<std::string, Look>> TraceLegendEntries(const State& state);
void FitTraceAxes(const State& state, Pane& pane, TextMetrics& metrics);
void BuildTraceMarks(State& state);
double TraceSpanStart(const State& state);
double TraceSpanEnd(const State& state);

void LayOut(State& state, TextMetrics& metrics);
void BuildCurves(State& state);
void PaintPlot(const State& state, Canvas& canvas, TextMetrics& metrics);
// The read-out with, for each of its value lines, the run and series it states.
struct ReadoutDetail {
  ReviewReadout readout;
  std::size_t firstValueLine = 0;
  std::vector<Look> valueLooks;
};
std::optional<ReadoutDetail> MakeReadout(const State& state);
std::optional<ReadoutDetail> MakeTraceReadout(const State& state);
std::optional<ReviewHit> TracePointAt(const State& state, TPoint client, int radiusPx);

}  // namespace korvane::chart::review_plot
