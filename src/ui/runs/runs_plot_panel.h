// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/review_plot.h"

#include <QByteArray>
#include <QWidget>
#include <array>
#include <vector>

class QCheckBox;

namespace korvane::chart {
class ReviewPlotWidget;
}

namespace korvane::ui {

// The Runs window's plot with a check box per series below it, and the plot as PNG and SVG
// bytes at the plot's present size.
class RunsPlotPanel final : public QWidget {
  Q_OBJECT

 public:
  explicit RunsPlotPanel(QWidget* parent = nullptr);

  chart::ReviewPlotWidget& Plot() const { return *plot_; }
  QCheckBox* SeriesBox(chart::ReviewSeries series) const;

  // Checks the boxes of `mask` and shows those series.
  void SetShown(chart::ReviewSeriesMask mask);
  chart::ReviewSeriesMask Shown() const;

  // Plots `runs` (may be none) in the style for `temperature_unit`.
  // `other_runs` false: the runs shown before with more frames, so the zoom is kept.
  void ShowRuns(std::vector<chart::ReviewRun> runs, int temperature_unit, bool other_runs);

  // Throw std::runtime_error when the image cannot be made.
  QByteArray PngBytes() const;
  QByteArray SvgBytes() const;
  void CopyToClipboard() const;

 signals:
  void shownChanged();

 private:
  chart::ReviewPlotWidget* plot_;
  std::array<QCheckBox*, chart::kReviewSeriesCount> boxes_{};
};

}  // namespace korvane::ui
