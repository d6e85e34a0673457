// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/trend_chart.h"

#include <QFrame>
#include <QImage>
#include <memory>

namespace korvane::chart {

// Qt home of a TTrendChart: a frame with a single-line border whose client area is the chart.
// It supplies the text metrics, repaints on the chart's request, re-lays out on resize and paints
// every pixel itself (no background erase; Qt's backing store double-buffers).
class TTrendChartWidget : public QFrame {
  Q_OBJECT

 public:
  explicit TTrendChartWidget(QWidget* parent = nullptr);
  ~TTrendChartWidget() override;

  TTrendChart& Chart() { return *chart_; }
  const TTrendChart& Chart() const { return *chart_; }

  // The chart drawn at 800 x 600 (taller when the legend needs it); the on-screen layout is
  // restored afterwards.
  QImage CreateMetafile();
  void CopyToClipboard();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  void SyncClientSize();

  std::unique_ptr<TTrendChart> chart_;
  QtBrushPatterns patterns_;
  bool painting_ = false;
};

}  // namespace korvane::chart
