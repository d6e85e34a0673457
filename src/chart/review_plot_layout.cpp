// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include "korvane/chart/review_decimate.h"

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
  FitAxisTo(state, lo, hi, lengthPx, metrics, axis);
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
    layout.panes.push_back({static_cast<ReviewUnit>(u), {}, {}, {}});
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

std::vector<std::pair<std::string, Look>> RunLegendEntries(const State& state,
                                                           ReviewSeriesMask plotted) {
  std::vector<std::pair<std::string, Look>> entries;
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      const auto s = static_cast<ReviewSeries>(k);
      if ((plotted & ReviewBit(s)) != 0 && state.summaries[r][static_cast<std::size_t>(k)].hasValue)
        entries.emplace_back(LegendText(state, state.runs[r], s), RunLook(r, s));
    }
  }
  return entries;
}

// Width taken beside the plot area by the value axes on one side: title, gap, labels, gap, tick;
// at least half a time label where there are none.
int AxisBand(const Layout& layout, int halfTimeLabel, bool right) {
  int labels = -1;
  for (const Pane& pane : layout.panes) {
    if (!right)
      labels = std::max(labels, pane.axis.labelWidth);
    else if (pane.right)
      labels = std::max(labels, pane.right->labelWidth);
  }
  if (labels < 0)
    return kMargin + halfTimeLabel;
  return std::max(kMargin + layout.lineHeight + kGap + labels + kGap + kTick,
                  kMargin + halfTimeLabel);
}

// Time ticks at least a label's width and some gap apart.
std::vector<ReviewTick> TimeTicks(const State& state, TextMetrics& metrics) {
  const TFont& font = state.style.font;
  const double t0 = state.view.Start();
  const double t1 = state.view.End();
  const double width = state.layout.plot.Width();
  if (state.style.timeAxis == ReviewTimeAxis::kElapsed) {
    const double spacing = std::max(80, metrics.TextWidth(font, "000:00:00") + 3 * kGap);
    return ReviewTimeTicks(t0, t1, width, spacing);
  }
  // Date labels differ in width by step and locale: widen the spacing until the widest fits.
  double spacing = std::max(80, metrics.TextWidth(font, "0000-00-00") + 3 * kGap);
  std::vector<ReviewTick> ticks;
  for (int pass = 0; pass < 3; ++pass) {
    ticks = ReviewDateTicks(t0, t1, width, spacing, state.style.dateLabel);
    int widest = 0;
    for (const ReviewTick& tick : ticks)
      widest = std::max(widest, metrics.TextWidth(font, tick.label));
    if (widest + 3 * kGap <= spacing)
      break;
    spacing = widest + 3 * kGap;
  }
  return ticks;
}

void FitAxes(State& state, ReviewSeriesMask plotted, TextMetrics& metrics) {
  for (Pane& pane : state.layout.panes) {
    if (state.traceMode) {
      FitTraceAxes(state, pane, metrics);
      continue;
    }
    ReviewSeriesMask mask = 0;
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      if (UnitOf(static_cast<ReviewSeries>(k)) == pane.unit)
        mask |= ReviewSeriesMask{1} << k;
    }
    FitAxis(state, plotted & mask, pane.area.Height(), metrics, pane.axis);
  }
}

}  // namespace

void FitAxisTo(const State& state, double lo, double hi, int lengthPx, TextMetrics& metrics,
               ValueAxis& axis) {
  axis = ValueAxis{};
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

int FlowLegend(State& state, std::vector<std::pair<std::string, Look>> entries,
               TextMetrics& metrics) {
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
  bool full = false;
  for (auto& [text, look] : entries) {
    const int w = widthOf(text);
    if (x > kMargin && x + w > right) {
      if (row + 1 == maxRows) {
        full = true;
        break;
      }
      ++row;
      x = kMargin;
    }
    items.push_back({look, false, x, kMargin + row * lineHeight, std::move(text)});
    x += w + kLegendSpacing;
  }
  if (full) {
    // Make room in the last row for the count of what is left out.
    const int rowY = kMargin + row * lineHeight;
    while (true) {
      std::string more = std::to_string(entries.size() - items.size());
      more.insert(more.begin(), '+');
      more += " more";
      const bool rowEmpty = items.empty() || items.back().y != rowY;
      const int moreX =
          rowEmpty ? kMargin : items.back().x + widthOf(items.back().text) + kLegendSpacing;
      if (rowEmpty || moreX + metrics.TextWidth(font, more) <= right) {
        items.push_back({Look{}, true, moreX, rowY, more});
        break;
      }
      items.pop_back();
    }
  }
  return items.empty() ? 0 : row + 1;
}

void LayOut(State& state, TextMetrics& metrics) {
  Layout& layout = state.layout;
  const TFont& font = state.style.font;
  layout.lineHeight = std::max(1, metrics.TextHeight(font, "0"));
  const int lineHeight = layout.lineHeight;
  const ReviewSeriesMask plotted = state.runs.empty() ? 0 : Plotted(state);
  const bool content = HasContent(state);

  const int legendRows = FlowLegend(
      state, state.traceMode ? TraceLegendEntries(state) : RunLegendEntries(state, plotted),
      metrics);
  const int top = kMargin + (legendRows > 0 ? legendRows * lineHeight + kGap : 0) + lineHeight / 2;
  const int bottom = std::max(top + 1, state.height - kMargin - lineHeight - kTick);
  const int halfTimeLabel =
      metrics.TextWidth(
          font, state.style.timeAxis == ReviewTimeAxis::kElapsed ? "00:00:00" : "0000-00-00") /
          2 +
      1;

  if (!state.traceMode) {
    StackPanes(layout, plotted, top, bottom);
  } else {
    layout.panes.clear();
    layout.paneOf.fill(-1);
    if (content)
      layout.panes.push_back({ReviewUnit::kVoltage, TRect{0, top, 1, bottom}, {}, {}});
  }
  // Axis widths follow their labels, and a zoom's anchor may then move the view: a second pass
  // fits the axes to the moved view.
  for (int pass = 0; pass < 2; ++pass) {
    FitAxes(state, plotted, metrics);
    const int left = AxisBand(layout, halfTimeLabel, false);
    const int right = std::max(left + 1, state.width - AxisBand(layout, halfTimeLabel, true));
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

  for (Pane& pane : layout.panes) {
    if (!state.traceMode) {
      pane.axis.title = PaneTitle(pane.unit, pane.area.Height(), state.style, metrics);
      continue;
    }
    pane.axis.title = state.traceSet.leftTitle;
    if (pane.right)
      pane.right->title = state.traceSet.rightTitle;
  }
  layout.timeTicks.clear();
  if (content)
    layout.timeTicks = TimeTicks(state, metrics);
  state.layoutDirty = false;
  state.curvesValid = false;
}

int XOf(const Layout& layout, const ReviewView& view, double timeMs) {
  return layout.plot.Left + ReviewColumnOf(timeMs, view.Start(), view.End(), layout.plot.Width());
}

int YOf(const TRect& area, const ValueAxis& axis, double value) {
  double offset = (value - axis.lo) / (axis.hi - axis.lo) * (area.Height() - 1);
  if (std::isnan(offset))
    offset = 0;  // an infinite value in a range that could not hold it
  offset = std::clamp(std::round(offset), 0.0, static_cast<double>(area.Height() - 1));
  return area.Bottom - 1 - static_cast<int>(offset);
}

int YOf(const Pane& pane, double value) {
  return YOf(pane.area, pane.axis, value);
}

}  // namespace korvane::chart::review_plot
