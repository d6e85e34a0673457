// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/color_check_box.h"

#include <QPainter>
#include <QPainterPath>

namespace korvane::ui {

TColorCheckBox::TColorCheckBox(const QColor& color, QWidget* parent)
    : QCheckBox(parent), color_(color) {
  setFocusPolicy(Qt::TabFocus);
}

void TColorCheckBox::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QRect box = rect().adjusted(0, 0, -1, -1);
  painter.fillRect(box, color_);
  painter.setPen(QColor(0x20, 0x20, 0x20));
  painter.drawRect(box);
  painter.setPen(QColor(0xFF, 0xFF, 0xFF, 0x90));
  painter.drawRect(box.adjusted(1, 1, -1, -1));
  const bool light = color_.lightness() > 150;
  if (hasFocus()) {
    // A solid two-pixel ring in the tick's colour: it stands out on every fill, light or dark.
    painter.setPen(
        QPen(light ? Qt::black : Qt::white, 2, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.drawRect(QRectF(rect()).adjusted(3, 3, -3, -3));
  }
  if (!isChecked()) {
    return;
  }
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(
      QPen(light ? Qt::black : Qt::white, 2.2, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  const double w = width();
  const double h = height();
  QPainterPath tick;
  tick.moveTo(w * 0.24, h * 0.52);
  tick.lineTo(w * 0.43, h * 0.72);
  tick.lineTo(w * 0.78, h * 0.28);
  painter.drawPath(tick);
}

bool TColorCheckBox::hitButton(const QPoint& pos) const {
  return rect().contains(pos);
}

}  // namespace korvane::ui
