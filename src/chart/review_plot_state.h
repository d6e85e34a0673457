// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The state behind ReviewPlot, shared by its data, layout, paint and read-out parts.

#include <korvane/chart/review_axis.h>
#include <korvane/chart/review_plot.h>

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

struct LegendItem {
  std::size_t run = 0;
  ReviewSeries series = ReviewSeries::kOutputVoltage;
  bool more = false;  // "+N more": the entries that did not fit
  int x = 0;
  int y = 0;
  std::string text;
};

// One polyline piece of a curve, in client pixels.
struct CurvePiece {
  std::size_t run = 0;
  ReviewSeries series = ReviewSeries::kOutputVoltage;
  std::vector<TPoint> points;
};

// One unit's band of the plot: its curves, value axis and grid share its area.
struct Pane {
  ReviewUnit unit = ReviewUnit::kVoltage;
  TRect area;
  ValueAxis axis;
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
};

// The shown series that some run has a value for.
ReviewSeriesMask Plotted(const State& state);
double SpanEnd(const State& state);
double SpanStart(const State& state);

// Client x of a time inside the plot area and y of a value inside its pane.
int XOf(const Layout& layout, const ReviewView& view, double timeMs);
int YOf(const Pane& pane, double value);

void LayOut(State& state, TextMetrics& metrics);
void BuildCurves(State& state);
void PaintPlot(const State& state, Canvas& canvas, TextMetrics& metrics);
// The read-out with, for each of its value lines, the run and series it states.
struct ReadoutDetail {
  ReviewReadout readout;
  std::size_t firstValueLine = 0;
  std::vector<std::pair<std::size_t, ReviewSeries>> valueKeys;
};
std::optional<ReadoutDetail> MakeReadout(const State& state);

}  // namespace korvane::chart::review_plot
