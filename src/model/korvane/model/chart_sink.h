// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace korvane::model {

// What the model needs of a trend chart. Series are numbered in creation order; the chart
// colours them by that position. Called on the UI thread only.
class ChartSink {
 public:
  virtual ~ChartSink() = default;

  // Empties the chart, then adds `count` line series.
  virtual void CreateLineSeries(int count) = 0;
  // Between these two the chart neither lays out nor paints; EndUpdate does both once.
  virtual void BeginUpdate() = 0;
  virtual void EndUpdate() = 0;
  virtual void ClearSeries(int series) = 0;
  virtual void AddPoint(int series, double x, double y) = 0;
};

}  // namespace korvane::model
