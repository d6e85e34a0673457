// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/gradient_panel.h"

#include <QPainter>

namespace korvane::ui {

TGradientPanel::TGradientPanel(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
}

void TGradientPanel::SetStartColor(const QColor& color) {
  if (color != start_) {
    start_ = color;
    update();
  }
}

void TGradientPanel::SetEndColor(const QColor& color) {
  if (color != end_) {
    end_ = color;
    update();
  }
}

void TGradientPanel::SetOutline(bool outline) {
  if (outline != outline_) {
    outline_ = outline;
    update();
  }
}

QColor TGradientPanel::StepColor(const QColor& start, const QColor& end, int index) {
  const auto mix = [index](int a, int b) { return a + (b - a) * index / (kSteps - 1); };
  return QColor(mix(start.red(), end.red()), mix(start.green(), end.green()),
                mix(start.blue(), end.blue()));
}

void TGradientPanel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const int h = height();
  for (int i = 0; i < kSteps; ++i) {
    const int top = i * h / kSteps;
    const int bottom = (i + 1) * h / kSteps;
    if (bottom > top) {
      painter.fillRect(0, top, width(), bottom - top, StepColor(start_, end_, i));
    }
  }
  if (outline_) {
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, width() - 1, height() - 1);
  }
}

}  // namespace korvane::ui
