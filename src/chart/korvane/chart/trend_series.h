// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/bspline.h"
#include "korvane/chart/chart_types.h"

#include <string>
#include <vector>

namespace korvane::chart {

class TTrendChart;

// One data series of a TTrendChart, created and owned by the chart (TTrendChart::AddSeries).
// Every mutation ends by notifying the chart (TTrendChart::Changed).
class TTrendSeries {
 public:
  TTrendSeries(const TTrendSeries&) = delete;
  TTrendSeries& operator=(const TTrendSeries&) = delete;

  // Appends a point and returns its index.
  int AddXY(double X, double Y, std::string Name = {});
  // Ignores an index outside 0..count-1 without any notification.
  void Remove(int Index);
  void Clear();

  const std::string& Caption() const { return caption_; }
  void SetCaption(const std::string& value);
  TSeriesKind Kind() const { return kind_; }
  void SetKind(TSeriesKind value);

  // Folds over all points; an empty series yields -UndefinedValueChart / +UndefinedValueChart.
  double GetMaxXValue() const;
  double GetMinXValue() const;
  double GetMaxYValue() const;
  double GetMinYValue() const;

  const std::vector<TXYInfo>& Values() const { return values_; }
  int Count() const { return static_cast<int>(values_.size()); }
  // Offset of this series' legend row below the legend box top (last layout).
  int LegendTop() const { return legendTop_; }
  const TBSpline& Spline() const { return spline_; }
  TTrendChart& Chart() const { return *chart_; }

 private:
  friend class TTrendChart;
  TTrendSeries(TTrendChart& chart, TSeriesKind kind) : chart_(&chart), kind_(kind) {}

  int legendTop_ = 0;
  std::vector<TXYInfo> values_;
  TTrendChart* chart_;
  std::string caption_ = "Series";
  TBSpline spline_;
  TSeriesKind kind_;
};

}  // namespace korvane::chart
