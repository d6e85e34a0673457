// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/axis.h"
#include "korvane/chart/trend_chart.h"

#include "caption_lines.h"

#include <algorithm>
#include <cmath>

namespace korvane::chart {
namespace {

// A tick at the stored undefined value reads "~".
std::string TickLabel(double shown, const std::string& separator, int decimals = 2) {
  return shown == UndefinedValueChart ? "~" : FormatValue(shown, separator, decimals);
}

// Each extra round narrows the title and so only adds lines; a few rounds settle any real layout.
constexpr int kTitleRounds = 4;

}  // namespace

void TTrendChart::Calculate(int Width, int Height) {
  ClearAxis();
  chartWidth_ = Width;
  chartHeight_ = Height;
  titleShown_ = showTitle_ && !title_.empty();
  // The title is drawn across the plot, whose left edge follows the Y labels, which follow the
  // plot height the title leaves: measure it again at the width it got until it fits there.
  int titleWidth = Width - 40;
  for (int round = 0; round < kTitleRounds; ++round) {
    LayoutFrame(Width, Height, titleWidth);
    if (!titleShown_ ||
        metrics_->WrappedTextHeight(titleFont_, title_, rcTitle_.Width()) <= rcTitle_.Height()) {
      break;
    }
    titleWidth = std::min(titleWidth, rcTitle_.Width());
  }
  BuildXAxis();
  CalculateSeries();
}

void TTrendChart::LayoutFrame(int Width, int Height, int titleWidth) {
  yAxis_.clear();
  rcChart_ = {20, 20, Width - 20, Height - 20};
  if (titleShown_) {
    const int h = metrics_->TextHeight(titleFont_, title_);
    rcTitle_ = {20, 20, Width - 20, 20 + h};
    rcTitle_.Bottom = rcTitle_.Top + metrics_->WrappedTextHeight(titleFont_, title_, titleWidth);
    rcChart_.Top = rcTitle_.Bottom + 10;
  } else {
    rcTitle_ = {};
  }

  const int th = metrics_->TextHeight(normalFont_, "Ag");
  rcChart_.Bottom -= 2 * th + 14;

  BuildYAxis();
  int w = 0;
  for (const TAxisInfo& tick : yAxis_)
    w = std::max(w, metrics_->TextWidth(normalFont_, tick.Caption));
  rcChart_.Left += th + 10 + w + 4;
  rcTitle_.Left = rcChart_.Left;
  rcTitle_.Right = rcChart_.Right;
  AdjustYAxis();
  LayoutLegend();
}

void TTrendChart::ClearAxis() {
  xAxis_.clear();
  yAxis_.clear();
}

std::string TTrendChart::GetLabel(double Value) const {
  return TickLabel(Value, LocaleDecimalSeparator());
}

void TTrendChart::BuildYAxis() {
  if (seriesList_.empty()) {
    empty_ = true;
    return;
  }
  const int H = rcChart_.Bottom - rcChart_.Top;
  const int N = H / 50 + 1;
  empty_ = true;
  double min = UndefinedValueChart;
  double max = -UndefinedValueChart;
  for (const auto& s : seriesList_) {
    if (s->Count() == 0)
      continue;
    min = std::min(min, s->GetMinYValue());
    max = std::max(max, s->GetMaxYValue());
    empty_ = false;
  }
  if (empty_ || PlotCollapsed())
    return;

  double step = 0;
  double start = 0;
  CalculateAxis(min, max, N, step, start);
  // As many ticks as CalculateAxis fitted intervals, so the whole range maps onto the plot height.
  const int intervals = AxisIntervals(N);
  const double S = H / (intervals * step);
  const std::string separator = LocaleDecimalSeparator();
  const int decimals = LabelDecimals(step, axisYScale_);
  yAxis_.reserve(static_cast<size_t>(intervals) + 1);
  for (int i = 0; i <= intervals; ++i) {
    TAxisInfo& tick = yAxis_.emplace_back();
    tick.Value = TickValue(start, step, i);
    tick.Py = RoundPixel(i * step * S);
    tick.Caption = TickLabel(tick.Value / static_cast<double>(axisYScale_), separator, decimals);
  }
  yMin_ = start;
  yScale_ = S;
}

void TTrendChart::AdjustYAxis() {
  zeroY_ = -1;
  for (TAxisInfo& tick : yAxis_) {
    tick.Px = rcChart_.Left;
    tick.Py = rcChart_.Bottom - tick.Py;
    if (tick.Value == 0.0)
      zeroY_ = tick.Py;
  }
  if (zeroY_ == -1)
    zeroY_ = rcChart_.Bottom;
  yOrigin_ = rcChart_.Bottom;
}

void TTrendChart::LayoutLegend() {
  if (!showLegend_ || seriesList_.empty()) {
    rcLegend_ = {};
    return;
  }
  const int lh = metrics_->TextHeight(normalFont_, "Ag");
  int w = 0;
  int y = 10;
  for (size_t i = 0; i < seriesList_.size(); ++i) {
    TTrendSeries& s = *seriesList_[i];
    s.legendTop_ = y;
    const auto lines = CaptionLines(s.caption_);
    for (std::string_view line : lines)
      w = std::max(w, metrics_->TextWidth(normalFont_, line));
    y += std::max(20, static_cast<int>(lines.size()) * lh);
    if (i + 1 < seriesList_.size())
      y += 2;
  }
  w += 42;
  y += 10;
  rcLegend_ = {rcChart_.Right - w, rcChart_.Top, rcChart_.Right, rcChart_.Top + y};
  rcChart_.Right = rcLegend_.Left - 20;
  if (titleShown_)
    rcTitle_.Right = rcChart_.Right;
}

void TTrendChart::BuildXAxis() {
  if (seriesList_.empty() || empty_)
    return;
  barCount_ = static_cast<int>(std::count_if(seriesList_.begin(), seriesList_.end(),
                                             [](const auto& s) { return s->kind_ == skBar; }));
  if (barCount_ > 0)
    axisXOnePerValue_ = true;  // stays on after the bars are gone
  if (PlotCollapsed())
    return;
  if (axisXOnePerValue_) {
    BuildCategoryXAxis();
  } else {
    BuildNumericXAxis();
  }
}

void TTrendChart::BuildCategoryXAxis() {
  const double W = rcChart_.Right - rcChart_.Left;
  std::vector<double> xs;
  for (const auto& s : seriesList_) {
    for (const TXYInfo& v : s->values_) {
      if (!std::isnan(v.X))
        xs.push_back(v.X);  // NaN matches no tick and would break the sort
    }
  }
  std::sort(xs.begin(), xs.end());
  int distinct = 0;
  for (size_t i = 0; i < xs.size(); ++i) {
    if (i == 0 || xs[i] != xs[i - 1])
      ++distinct;
  }
  if (distinct == 0)
    return;

  double slot = 0;
  int offset = 0;
  if (barCount_ > 0) {
    slot = W / distinct;
    offset = RoundPixel(slot / 2);
    barWidth_ = RoundPixel(slot);
  } else if (distinct > 1) {
    slot = W / (distinct - 1);
  }  // a single value without bars sits at the left edge of the plot

  const std::string separator = LocaleDecimalSeparator();
  xAxis_.reserve(static_cast<size_t>(distinct));
  int k = 0;
  for (size_t i = 0; i < xs.size(); ++i) {
    if (i > 0 && xs[i] == xs[i - 1])
      continue;
    TAxisInfo& tick = xAxis_.emplace_back();
    tick.Value = xs[i];
    tick.Py = rcChart_.Bottom;
    tick.Px = RoundPixel(k * slot) + rcChart_.Left + offset;
    tick.Caption = TickLabel(xs[i] / static_cast<double>(axisXScale_), separator);
    ++k;
  }
}

void TTrendChart::BuildNumericXAxis() {
  const int W = rcChart_.Right - rcChart_.Left;
  const int N = W / 50 + 1;
  double min = UndefinedValueChart;
  double max = -UndefinedValueChart;
  for (const auto& s : seriesList_) {
    min = std::min(min, s->GetMinXValue());
    max = std::max(max, s->GetMaxXValue());
  }
  double step = 0;
  double start = 0;
  CalculateAxis(min, max, N, step, start);
  const int intervals = AxisIntervals(N);
  const double S = W / (intervals * step);
  const std::string separator = LocaleDecimalSeparator();
  const int decimals = LabelDecimals(step, axisXScale_);
  xAxis_.reserve(static_cast<size_t>(intervals) + 1);
  for (int i = 0; i <= intervals; ++i) {
    TAxisInfo& tick = xAxis_.emplace_back();
    tick.Value = TickValue(start, step, i);
    tick.Py = rcChart_.Bottom;
    tick.Px = RoundPixel(i * step * S) + rcChart_.Left;
    tick.Caption = TickLabel(tick.Value / static_cast<double>(axisXScale_), separator, decimals);
  }
  xMin_ = start;
  xScale_ = S;
  xOrigin_ = rcChart_.Left;
}

}  // namespace korvane::chart
