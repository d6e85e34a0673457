// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/review_plot.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>

class QPainter;

namespace korvane::chart {

// Qt home of a ReviewPlot. Wheel zooms around the pointer; a left drag draws a rubber band and
// zooms to it; a middle drag, or a left drag with Shift, pans; Home or a double click shows the
// whole run again (a double click on a trace's marked point emits pointActivated instead); + and
// - zoom around the middle, Left and Right move the view by a tenth of its width; the hover
// read-out follows the pointer. After changing the plot through Plot(),
// call update() to show it.
class ReviewPlotWidget : public QWidget {
  Q_OBJECT

 public:
  explicit ReviewPlotWidget(QWidget* parent = nullptr);
  ~ReviewPlotWidget() override;

  ReviewPlot& Plot() { return plot_; }

  void SetRuns(std::vector<ReviewRun> runs);
  // More frames of the runs shown: the view is kept (see ReviewPlot::UpdateRuns).
  void UpdateRuns(std::vector<ReviewRun> runs);
  void SetShown(ReviewSeriesMask mask);
  // In place of runs (see ReviewPlot::SetTraces).
  void SetTraces(ReviewTraceSet set);
  void ResetView();

  // The plot with its present view drawn at `size`, without the read-out and rubber band (for
  // PNG files and the clipboard).
  QImage RenderImage(QSize size);
  // The same onto any paint device's painter, e.g. a QSvgGenerator's.
  void Render(QPainter& painter, QSize size);

 signals:
  void viewChanged();
  // A double click on a trace's point: the trace, the point and the point's key (-1 without one).
  void pointActivated(int trace, int point, qint64 key);

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;
  void wheelEvent(QWheelEvent* event) override;
  void mousePressEvent(QMouseEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void mouseDoubleClickEvent(QMouseEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  enum class Drag { kNone, kBand, kPan };

  // Lays the plot out for the widget's size and repaints.
  void Relayout();
  // Runs a change of the view, lays out and emits viewChanged() if the visible times moved.
  void ChangeView(const std::function<void()>& change);
  void SetHoverAt(std::optional<TPoint> client);

  ReviewPlot plot_;
  QtTextMetrics metrics_;
  std::optional<TPoint> hover_;
  Drag drag_ = Drag::kNone;
  int pressX_ = 0;
  int lastX_ = 0;
};

}  // namespace korvane::chart
