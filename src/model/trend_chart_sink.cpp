// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/trend_chart_sink.h"

#include "korvane/chart/trend_chart.h"

namespace korvane::model {

void TrendChartSink::CreateLineSeries(int count) {
  series_.clear();
  chart_.Clear();
  for (int i = 0; i < count; ++i) {
    series_.push_back(chart_.AddSeries(chart::skLine));
  }
}

void TrendChartSink::BeginUpdate() {
  chart_.BeginUpdate();
}

void TrendChartSink::EndUpdate() {
  chart_.EndUpdate();
}

void TrendChartSink::ClearSeries(int series) {
  series_.at(static_cast<std::size_t>(series))->Clear();
}

void TrendChartSink::AddPoint(int series, double x, double y) {
  series_.at(static_cast<std::size_t>(series))->AddXY(x, y);
}

}  // namespace korvane::model
