// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_plot_widget.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>
#include <cmath>

namespace korvane::chart {
namespace {

constexpr double kZoomPerStep = 1.25;
constexpr double kAngleStep = 120;

TPoint ToTPoint(QPointF p) {
  return {static_cast<int>(std::floor(p.x())), static_cast<int>(std::floor(p.y()))};
}

}  // namespace

ReviewPlotWidget::ReviewPlotWidget(QWidget* parent) : QWidget(parent) {
  setMouseTracking(true);
  setFocusPolicy(Qt::WheelFocus);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMinimumSize(160, 120);
  plot_.Resize(width(), height(), metrics_);
}

ReviewPlotWidget::~ReviewPlotWidget() = default;

void ReviewPlotWidget::SetRuns(std::vector<ReviewRun> runs) {
  plot_.SetRuns(std::move(runs));
  Relayout();
  emit viewChanged();
}

void ReviewPlotWidget::UpdateRuns(std::vector<ReviewRun> runs) {
  plot_.UpdateRuns(std::move(runs));
  Relayout();
}

void ReviewPlotWidget::SetShown(ReviewSeriesMask mask) {
  plot_.SetShown(mask);
  Relayout();
}

void ReviewPlotWidget::SetTraces(ReviewTraceSet set) {
  plot_.SetTraces(std::move(set));
  Relayout();
  emit viewChanged();
}

void ReviewPlotWidget::ResetView() {
  ChangeView([this] { plot_.ResetView(); });
}

QImage ReviewPlotWidget::RenderImage(QSize size) {
  QImage image(size, QImage::Format_RGB32);
  image.fill(Qt::white);
  QPainter painter(&image);
  Render(painter, size);
  return image;
}

void ReviewPlotWidget::Render(QPainter& painter, QSize size) {
  plot_.SetHover(std::nullopt);
  plot_.SetRubberBand(std::nullopt);
  plot_.Resize(size.width(), size.height(), metrics_);
  {
    QtCanvas canvas(painter);
    plot_.Paint(canvas, metrics_);
  }
  plot_.Resize(width(), height(), metrics_);
  plot_.SetHover(hover_);
  if (drag_ == Drag::kBand)
    plot_.SetRubberBand(std::pair{pressX_, lastX_});
}

void ReviewPlotWidget::Relayout() {
  plot_.Resize(width(), height(), metrics_);
  update();
}

void ReviewPlotWidget::ChangeView(const std::function<void()>& change) {
  const double start = plot_.View().Start();
  const double end = plot_.View().End();
  change();
  Relayout();
  if (plot_.View().Start() != start || plot_.View().End() != end)
    emit viewChanged();
}

void ReviewPlotWidget::SetHoverAt(std::optional<TPoint> client) {
  hover_ = client;
  plot_.SetHover(client);
  update();
}

void ReviewPlotWidget::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  QtCanvas canvas(painter);
  plot_.Paint(canvas, metrics_);
}

void ReviewPlotWidget::resizeEvent(QResizeEvent*) {
  plot_.Resize(width(), height(), metrics_);
}

void ReviewPlotWidget::wheelEvent(QWheelEvent* event) {
  const double steps = event->angleDelta().y() / kAngleStep;
  if (steps == 0) {
    event->ignore();
    return;
  }
  const int x = ToTPoint(event->position()).X;
  ChangeView([&] { plot_.ZoomAt(x, std::pow(kZoomPerStep, steps)); });
  SetHoverAt(ToTPoint(event->position()));
  event->accept();
}

void ReviewPlotWidget::mousePressEvent(QMouseEvent* event) {
  const int x = ToTPoint(event->position()).X;
  const bool shift = event->modifiers().testFlag(Qt::ShiftModifier);
  if (event->button() == Qt::MiddleButton || (event->button() == Qt::LeftButton && shift)) {
    drag_ = Drag::kPan;
  } else if (event->button() == Qt::LeftButton) {
    drag_ = Drag::kBand;
    plot_.SetRubberBand(std::pair{x, x});
    update();
  } else {
    QWidget::mousePressEvent(event);
    return;
  }
  pressX_ = lastX_ = x;
  event->accept();
}

void ReviewPlotWidget::mouseMoveEvent(QMouseEvent* event) {
  const TPoint at = ToTPoint(event->position());
  if (drag_ == Drag::kPan && at.X != lastX_) {
    const int dx = at.X - lastX_;
    ChangeView([&] { plot_.PanBy(dx); });
  } else if (drag_ == Drag::kBand) {
    plot_.SetRubberBand(std::pair{pressX_, at.X});
  }
  lastX_ = at.X;
  SetHoverAt(at);
}

void ReviewPlotWidget::mouseReleaseEvent(QMouseEvent* event) {
  const Drag drag = drag_;
  drag_ = Drag::kNone;
  if (drag == Drag::kBand) {
    plot_.SetRubberBand(std::nullopt);
    const int x = ToTPoint(event->position()).X;
    ChangeView([&] { plot_.ZoomToPixels(pressX_, x); });
  }
  event->accept();
}

void ReviewPlotWidget::mouseDoubleClickEvent(QMouseEvent* event) {
  if (event->button() != Qt::LeftButton) {
    QWidget::mouseDoubleClickEvent(event);
    return;
  }
  drag_ = Drag::kNone;
  plot_.SetRubberBand(std::nullopt);
  if (const auto hit = plot_.PointAt(ToTPoint(event->position()))) {
    emit pointActivated(static_cast<int>(hit->trace), static_cast<int>(hit->point),
                        hit->key.value_or(-1));
  } else {
    ResetView();
  }
  event->accept();
}

void ReviewPlotWidget::keyPressEvent(QKeyEvent* event) {
  // An arrow key moves the view by a tenth of the plot's width.
  constexpr int kPanStepsPerWidth = 10;
  const TRect plot = plot_.PlotArea();
  const int centre = plot.Left + plot.Width() / 2;
  const int step = plot.Width() >= kPanStepsPerWidth ? plot.Width() / kPanStepsPerWidth : 1;
  switch (event->key()) {
    case Qt::Key_Home:
      ResetView();
      break;
    case Qt::Key_Plus:
    case Qt::Key_Equal:  // "+" without Shift on many layouts
      ChangeView([&] { plot_.ZoomAt(centre, kZoomPerStep); });
      break;
    case Qt::Key_Minus:
      ChangeView([&] { plot_.ZoomAt(centre, 1 / kZoomPerStep); });
      break;
    case Qt::Key_Left:
      ChangeView([&] { plot_.PanBy(step); });
      break;
    case Qt::Key_Right:
      ChangeView([&] { plot_.PanBy(-step); });
      break;
    default:
      QWidget::keyPressEvent(event);
      return;
  }
  event->accept();
}

void ReviewPlotWidget::leaveEvent(QEvent* event) {
  SetHoverAt(std::nullopt);
  QWidget::leaveEvent(event);
}

}  // namespace korvane::chart
