// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/app/app_icon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace korvane::app {
namespace {

// Drawn in a 64 x 64 design grid, scaled to `size`.
QPixmap PaintIcon(int size) {
  QPixmap pixmap(size, size);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  painter.scale(size / 64.0, size / 64.0);

  const QColor outline(0x20, 0x22, 0x26);
  painter.setPen(Qt::NoPen);
  painter.setBrush(outline);
  painter.drawRoundedRect(QRectF(24, 3, 16, 7), 2, 2);

  QLinearGradient body(12, 0, 52, 0);
  body.setColorAt(0.0, QColor(0x3a, 0x3c, 0x42));
  body.setColorAt(1.0, QColor(0x56, 0x56, 0x58));
  painter.setPen(QPen(outline, 3));
  painter.setBrush(body);
  painter.drawRoundedRect(QRectF(13.5, 9.5, 37, 51), 5, 5);

  QLinearGradient charge(0, 60, 0, 30);
  charge.setColorAt(0.0, QColor(0xF5, 0x44, 0x1B));
  charge.setColorAt(1.0, QColor(0xF2, 0x83, 0x2A));
  painter.setPen(Qt::NoPen);
  painter.setBrush(charge);
  painter.drawRoundedRect(QRectF(18, 34, 28, 22), 2, 2);

  QPainterPath bolt;
  bolt.moveTo(36, 13);
  bolt.lineTo(21, 37);
  bolt.lineTo(31, 37);
  bolt.lineTo(27, 57);
  bolt.lineTo(44, 30);
  bolt.lineTo(34, 30);
  bolt.closeSubpath();
  painter.setPen(QPen(outline, 1.5, Qt::SolidLine, Qt::RoundCap, Qt::RoundJoin));
  painter.setBrush(QColor(0xFF, 0xE1, 0x4D));
  painter.drawPath(bolt);
  return pixmap;
}

}  // namespace

QIcon ApplicationIcon() {
  QIcon icon;
  for (const int size : {16, 24, 32, 48, 64, 128, 256}) {
    icon.addPixmap(PaintIcon(size));
  }
  return icon;
}

}  // namespace korvane::app
