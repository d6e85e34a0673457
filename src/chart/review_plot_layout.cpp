// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include <korvane/chart/review_decimate.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

namespace korvane::chart::review_plot {
namespace {

constexpr double kRangeMargin = 0.04;  // of the span, above and below the values

// Shares of the height between the panes: the voltages' panes hold the most curves.
constexpr std::array<int, kReviewUnitCount> kPaneWeight = {3, 3, 2, 2, 2};

std::string UnitText(ReviewUnit unit, const ReviewPlotStyle& style) {
  switch (unit) {
    case ReviewUnit::kCurrent:
      return "A";
    case ReviewUnit::kCapacity:
      return "Ah";
    case ReviewUnit::kTemperature:
      return style.temperatureUnit;
    default:
      return "V";
  }
}

// The pane's name and unit, shortened where the pane is too short for them.
std::string PaneTitle(ReviewUnit unit, int paneHeight, const ReviewPlotStyle& style,
                      TextMetrics& metrics) {
  static constexpr const char* kNames[kReviewUnitCount] = {"Voltage", "Cells", "Current",
                                                           "Capacity", "Temperature"};
  static constexpr const char* kShortNames[kReviewUnitCount] = {"Volt.", "Cells", "Curr.", "Cap.",
                                                                "Temp."};
  const std::string unitText = UnitText(unit, style);
  for (const char* name : {kNames[static_cast<int>(unit)], kShortNames[static_cast<int>(unit)]}) {
    std::string title = std::string(name) + " [" + unitText + ']';
    if (metrics.TextWidth(style.font, title) <= paneHeight)
      return title;
  }
  return unitText;
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

// Fits a pane's axis to the values of the series in mask within the view.
void FitAxis(const State& state, ReviewSeriesMask mask, int lengthPx, TextMetrics& metrics,
             ValueAxis& axis) {
  axis = ValueAxis{};
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
  // Labels two lines apart, or closer where a short pane would otherwise get only one.
  for (const int spacing : {lineHeight * 2, lineHeight + kGap}) {
    axis.ticks = ReviewValueTicks(lo, hi, lengthPx, spacing, state.style.decimalSeparator);
    if (axis.ticks.size() >= 2)
      break;
  }
  for (const ReviewTick& tick : axis.ticks)
    axis.labelWidth = std::max(axis.labelWidth, metrics.TextWidth(state.style.font, tick.label));
}

// A pane per unit with a plotted series, stacked between top and bottom in shares of
// kPaneWeight. On a short client the gaps go first; every pane keeps at least a pixel.
void StackPanes(Layout& layout, ReviewSeriesMask plotted, int top, int bottom) {
  layout.panes.clear();
  layout.paneOf.fill(-1);
  std::array<bool, kReviewUnitCount> present{};
  for (int k = 0; k < kReviewSeriesCount; ++k) {
    if ((plotted & (ReviewSeriesMask{1} << k)) != 0)
      present[static_cast<std::size_t>(UnitOf(static_cast<ReviewSeries>(k)))] = true;
  }
  int weights = 0;
  for (int u = 0; u < kReviewUnitCount; ++u) {
    if (!present[static_cast<std::size_t>(u)])
      continue;
    layout.paneOf[static_cast<std::size_t>(u)] = static_cast<int>(layout.panes.size());
    layout.panes.push_back({static_cast<ReviewUnit>(u), {}, {}});
    weights += kPaneWeight[static_cast<std::size_t>(u)];
  }
  const int n = static_cast<int>(layout.panes.size());
  if (n == 0)
    return;
  const int height = bottom - top;
  const int gap = height >= 4 * n * kPaneGap ? kPaneGap : 0;
  const int share = height - (n - 1) * gap;
  int y = top;
  int weightBefore = 0;
  for (int i = 0; i < n; ++i) {
    Pane& pane = layout.panes[static_cast<std::size_t>(i)];
    weightBefore += kPaneWeight[static_cast<std::size_t>(pane.unit)];
    const int end = std::max(y + 1, top + i * gap + share * weightBefore / weights);
    pane.area = TRect{0, y, 1, end};
    y = end + gap;
  }
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

// Width taken left of the plot area by the value axes: title, gap, labels, gap, tick.
int AxisBand(const Layout& layout, int halfTimeLabel) {
  int labels = 0;
  for (const Pane& pane : layout.panes)
    labels = std::max(labels, pane.axis.labelWidth);
  if (layout.panes.empty())
    return kMargin + halfTimeLabel;
  return std::max(kMargin + layout.lineHeight + kGap + labels + kGap + kTick,
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
  StackPanes(layout, plotted, top, bottom);
  for (int pass = 0; pass < 2; ++pass) {
    for (Pane& pane : layout.panes) {
      ReviewSeriesMask mask = 0;
      for (int k = 0; k < kReviewSeriesCount; ++k) {
        if (UnitOf(static_cast<ReviewSeries>(k)) == pane.unit)
          mask |= ReviewSeriesMask{1} << k;
      }
      FitAxis(state, plotted & mask, pane.area.Height(), metrics, pane.axis);
    }
    const int left = AxisBand(layout, halfTimeLabel);
    const int right = std::max(left + 1, state.width - kMargin - halfTimeLabel);
    layout.plot =
        TRect{left, top, right, layout.panes.empty() ? bottom : layout.panes.back().area.Bottom};
    for (Pane& pane : layout.panes) {
      pane.area.Left = left;
      pane.area.Right = right;
    }
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

  for (Pane& pane : layout.panes)
    pane.axis.title = PaneTitle(pane.unit, pane.area.Height(), state.style, metrics);
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

int YOf(const Pane& pane, double value) {
  const TRect& area = pane.area;
  const ValueAxis& axis = pane.axis;
  double offset = (value - axis.lo) / (axis.hi - axis.lo) * (area.Height() - 1);
  if (std::isnan(offset))
    offset = 0;  // an infinite value in a range that could not hold it
  offset = std::clamp(std::round(offset), 0.0, static_cast<double>(area.Height() - 1));
  return area.Bottom - 1 - static_cast<int>(offset);
}

}  // namespace korvane::chart::review_plot
