// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <vector>

#include "korvane/model/chart_sink.h"

namespace korvane::chart {
class TTrendChart;
class TTrendSeries;
}  // namespace korvane::chart

namespace korvane::model {

// Feeds a TTrendChart. The series belong to the chart; this keeps pointers to the ones it
// created, so nothing else may remove them while it is in use.
class TrendChartSink final : public ChartSink {
 public:
  explicit TrendChartSink(chart::TTrendChart& chart) : chart_(chart) {}

  void CreateLineSeries(int count) override;
  void BeginUpdate() override;
  void EndUpdate() override;
  void ClearSeries(int series) override;
  void AddPoint(int series, double x, double y) override;

 private:
  chart::TTrendChart& chart_;
  std::vector<chart::TTrendSeries*> series_;
};

}  // namespace korvane::model
