// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_series.h"
#include "korvane/chart/trend_chart.h"

namespace korvane::chart {

int TTrendSeries::AddXY(double X, double Y, std::string Name) {
  TXYInfo& info = values_.emplace_back();
  info.X = X;
  info.Y = Y;
  info.Name = std::move(Name);
  chart_->Changed();
  return static_cast<int>(values_.size()) - 1;
}

void TTrendSeries::Remove(int Index) {
  if (Index < 0 || Index >= Count())
    return;
  values_.erase(values_.begin() + Index);
  chart_->Changed();
}

void TTrendSeries::Clear() {
  values_.clear();
  chart_->Changed();
}

void TTrendSeries::SetCaption(const std::string& value) {
  if (value == caption_)
    return;
  caption_ = value;
  chart_->Changed();
}

void TTrendSeries::SetKind(TSeriesKind value) {
  if (value == kind_)
    return;
  kind_ = value;
  chart_->Changed();
}

double TTrendSeries::GetMaxXValue() const {
  double result = -UndefinedValueChart;
  for (const TXYInfo& v : values_) {
    if (v.X > result)
      result = v.X;
  }
  return result;
}

double TTrendSeries::GetMinXValue() const {
  double result = UndefinedValueChart;
  for (const TXYInfo& v : values_) {
    if (v.X < result)
      result = v.X;
  }
  return result;
}

double TTrendSeries::GetMaxYValue() const {
  double result = -UndefinedValueChart;
  for (const TXYInfo& v : values_) {
    if (v.Y > result)
      result = v.Y;
  }
  return result;
}

double TTrendSeries::GetMinYValue() const {
  double result = UndefinedValueChart;
  for (const TXYInfo& v : values_) {
    if (v.Y < result)
      result = v.Y;
  }
  return result;
}

}  // namespace korvane::chart
