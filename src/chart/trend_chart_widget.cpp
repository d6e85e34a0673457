// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/trend_chart_widget.h"
#include "korvane/chart/qt_canvas.h"

#include <QApplication>
#include <QClipboard>
#include <QPainter>
#include <QResizeEvent>

namespace korvane::chart {

TTrendChartWidget::TTrendChartWidget(QWidget* parent)
    : QFrame(parent), chart_(std::make_unique<TTrendChart>()) {
  setFrameStyle(QFrame::Box | QFrame::Plain);
  setLineWidth(1);
  setAttribute(Qt::WA_OpaquePaintEvent);
  setAutoFillBackground(false);
  chart_->SetTextMetrics(std::make_unique<QtTextMetrics>());
  chart_->SetInvalidate([this] {
    if (!painting_)
      update();
  });
  resize(TTrendChart::DefaultWidth, TTrendChart::DefaultHeight);
  SyncClientSize();
}

TTrendChartWidget::~TTrendChartWidget() {
  chart_->SetInvalidate({});
}

void TTrendChartWidget::SyncClientSize() {
  const QSize size = contentsRect().size();
  if (size.width() != chart_->ClientWidth() || size.height() != chart_->ClientHeight()) {
    chart_->SetClientSize(size.width(), size.height());
  }
}

void TTrendChartWidget::paintEvent(QPaintEvent*) {
  // A hidden widget gets its resize event only when shown; a grab paints it before that.
  painting_ = true;
  SyncClientSize();
  painting_ = false;
  QPainter painter(this);
  painter.save();
  painter.translate(contentsRect().topLeft());
  painter.setClipRect(QRect(QPoint(0, 0), contentsRect().size()));
  QtCanvas canvas(painter, &patterns_);
  chart_->InternalPaint(canvas);
  painter.restore();
  drawFrame(&painter);
}

void TTrendChartWidget::resizeEvent(QResizeEvent* event) {
  QFrame::resizeEvent(event);
  chart_->SetClientSize(contentsRect().width(), contentsRect().height());
}

QImage TTrendChartWidget::CreateMetafile() {
  SyncClientSize();
  const auto [width, height] = chart_->PrepareExportLayout();
  QImage image(width, height, QImage::Format_RGB32);
  {
    QPainter painter(&image);
    QtCanvas canvas(painter, &patterns_);
    chart_->InternalPaint(canvas);
  }
  chart_->Calculate(chart_->ClientWidth(), chart_->ClientHeight());
  return image;
}

void TTrendChartWidget::CopyToClipboard() {
  QApplication::clipboard()->setImage(CreateMetafile());
}

}  // namespace korvane::chart
