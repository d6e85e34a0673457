#include "review_plot_state.h"

#include <korvane/chart/review_decimate.h>

#include <algorithm>
#include <cmath>
#include <limits>

namespace korvane::chart::review_plot {
namespace {

constexpr double kRangeMargin = 0.04;  // of the span, above and below the values

constexpr ReviewSeriesMask kRightMask = ReviewBit(ReviewSeries::kCurrent) |
                                        ReviewBit(ReviewSeries::kCapacity) |
                                        ReviewBit(ReviewSeries::kTemperature);

std::string AxisTitle(ReviewSeriesMask mask, bool right, const ReviewPlotStyle& style) {
  if (!right)
    return "Voltage [V]";
  std::string title;
  for (const ReviewSeries s :
       {ReviewSeries::kCurrent, ReviewSeries::kCapacity, ReviewSeries::kTemperature}) {
    if ((mask & ReviewBit(s)) == 0)
      continue;
    if (!title.empty())
      title += ", ";
    title += ReviewSeriesName(s);
    title += " [";
    title += SeriesUnit(s, style);
    title += ']';
  }
  return title;
}

// Adds a margin around the values; a flat range is widened around its value, and without any
// value in view the axis shows 0 to 1.
void FitRange(double& lo, double& hi) {
  if (!(lo <= hi) || !std::isfinite(lo) || !std::isfinite(hi)) {
    lo = 0;
    hi = 1;
    return;
  }
  const double magnitude = std::max(std::fabs(lo), std::fabs(hi));
  if (hi - lo <= magnitude * 1e-9) {
    const double half = magnitude > 0 ? magnitude * 0.02 : 0.5;
    lo -= half;
    hi += half;
    return;
  }
  const double margin = (hi - lo) * kRangeMargin;
  lo -= margin;
  hi += margin;
}

void FitAxis(const State& state, ReviewSeriesMask plotted, bool right, int lengthPx,
             TextMetrics& metrics, ValueAxis& axis) {
  axis = ValueAxis{};
  const ReviewSeriesMask mask = plotted & (right ? kRightMask : ~kRightMask);
  if (mask == 0)
    return;
  axis.shown = true;
  double lo = std::numeric_limits<double>::infinity();
  double hi = -lo;
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    const ReviewRun& run = state.runs[r];
    const auto [i0, i1] = FramesWithin(run.elapsedMs, state.view.Start(), state.view.End());
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      if ((mask & (ReviewSeriesMask{1} << k)) != 0) {
        const auto sk = static_cast<std::size_t>(k);
        ExtendRange(state.summaries[r][sk], run.values[sk], i0, i1, lo, hi);
      }
    }
  }
  FitRange(lo, hi);
  axis.lo = lo;
  axis.hi = hi;
  const int lineHeight = state.layout.lineHeight;
  axis.ticks = ReviewValueTicks(lo, hi, lengthPx, std::max(24, lineHeight * 5 / 2),
                                state.style.decimalSeparator);
  for (const ReviewTick& tick : axis.ticks)
    axis.labelWidth = std::max(axis.labelWidth, metrics.TextWidth(state.style.font, tick.label));
  axis.title = AxisTitle(mask, right, state.style);
}

// A single run's entries need not repeat its label, which the window's selection shows.
std::string LegendText(const State& state, const ReviewRun& run, ReviewSeries s) {
  std::string text = state.runs.size() > 1 ? run.label : std::string();
  if (!text.empty())
    text += ": ";
  text += ReviewSeriesName(s);
  return text;
}

// Entries flow in rows across the top; rows beyond a quarter of the height give way to "+N more".
int LayOutLegend(State& state, ReviewSeriesMask plotted, TextMetrics& metrics) {
  std::vector<LegendItem>& items = state.layout.legend;
  items.clear();
  const TFont& font = state.style.font;
  const int lineHeight = state.layout.lineHeight;
  const int right = state.width - kMargin;
  const int maxRows = std::max(1, state.height / 4 / std::max(lineHeight, 1));
  const auto widthOf = [&](const std::string& text) {
    return kSwatch + kGap + metrics.TextWidth(font, text);
  };
  int x = kMargin;
  int row = 0;
  std::size_t total = 0;
  bool full = false;
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      const auto s = static_cast<ReviewSeries>(k);
      if ((plotted & ReviewBit(s)) == 0 ||
          !state.summaries[r][static_cast<std::size_t>(k)].hasValue)
        continue;
      ++total;
      if (full)
        continue;
      std::string text = LegendText(state, state.runs[r], s);
      const int w = widthOf(text);
      if (x > kMargin && x + w > right) {
        if (row + 1 == maxRows) {
          full = true;
          continue;
        }
        ++row;
        x = kMargin;
      }
      items.push_back({r, s, false, x, kMargin + row * lineHeight, std::move(text)});
      x += w + kLegendSpacing;
    }
  }
  if (full) {
    // Make room in the last row for the count of what is left out.
    const int rowY = kMargin + row * lineHeight;
    while (true) {
      std::string more = std::to_string(total - items.size());
      more.insert(more.begin(), '+');
      more += " more";
      const bool rowEmpty = items.empty() || items.back().y != rowY;
      const int moreX =
          rowEmpty ? kMargin : items.back().x + widthOf(items.back().text) + kLegendSpacing;
      if (rowEmpty || moreX + metrics.TextWidth(font, more) <= right) {
        items.push_back({0, ReviewSeries::kOutputVoltage, true, moreX, rowY, more});
        break;
      }
      items.pop_back();
    }
  }
  return items.empty() ? 0 : row + 1;
}

// Width taken beside the plot area by a value axis: title, gap, labels, gap, tick.
int AxisBand(const ValueAxis& axis, int lineHeight, int halfTimeLabel) {
  if (!axis.shown)
    return kMargin + halfTimeLabel;
  return std::max(kMargin + lineHeight + kGap + axis.labelWidth + kGap + kTick,
                  kMargin + halfTimeLabel);
}

}  // namespace

void LayOut(State& state, TextMetrics& metrics) {
  Layout& layout = state.layout;
  const TFont& font = state.style.font;
  layout.lineHeight = std::max(1, metrics.TextHeight(font, "0"));
  const int lineHeight = layout.lineHeight;
  const ReviewSeriesMask plotted = state.runs.empty() ? 0 : Plotted(state);

  const int legendRows = LayOutLegend(state, plotted, metrics);
  const int top = kMargin + (legendRows > 0 ? legendRows * lineHeight + kGap : 0) + lineHeight / 2;
  const int bottom = std::max(top + 1, state.height - kMargin - lineHeight - kTick);
  const int halfTimeLabel = metrics.TextWidth(font, "00:00:00") / 2 + 1;

  // Axis widths follow their labels, and a zoom's anchor may then move the view: a second pass
  // fits the axes to the moved view.
  for (int pass = 0; pass < 2; ++pass) {
    FitAxis(state, plotted, false, bottom - top, metrics, layout.left);
    FitAxis(state, plotted, true, bottom - top, metrics, layout.right);
    const int left = AxisBand(layout.left, lineHeight, halfTimeLabel);
    const int right = state.width - AxisBand(layout.right, lineHeight, halfTimeLabel);
    layout.plot = TRect{left, top, std::max(left + 1, right), bottom};
    state.view.SetWidth(layout.plot.Width());
    if (!state.anchor)
      break;
    const double shift =
        (state.anchor->first - layout.plot.Left) - state.view.PixelAt(state.anchor->second);
    state.anchor.reset();
    if (std::fabs(shift) < 0.5)
      break;
    state.view.PanBy(shift);
  }

  layout.timeTicks.clear();
  if (plotted != 0) {
    const double spacing = std::max(80, metrics.TextWidth(font, "000:00:00") + 3 * kGap);
    layout.timeTicks =
        ReviewTimeTicks(state.view.Start(), state.view.End(), layout.plot.Width(), spacing);
  }
  state.layoutDirty = false;
  state.curvesValid = false;
}

int XOf(const Layout& layout, const ReviewView& view, double timeMs) {
  return layout.plot.Left + ReviewColumnOf(timeMs, view.Start(), view.End(), layout.plot.Width());
}

int YOf(const Layout& layout, const ValueAxis& axis, double value) {
  const TRect& plot = layout.plot;
  double offset = (value - axis.lo) / (axis.hi - axis.lo) * (plot.Height() - 1);
  if (std::isnan(offset))
    offset = 0;  // an infinite value in a range that could not hold it
  offset = std::clamp(std::round(offset), 0.0, static_cast<double>(plot.Height() - 1));
  return plot.Bottom - 1 - static_cast<int>(offset);
}

}  // namespace korvane::chart::review_plot
