// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/menu_icons.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <cmath>
#include <functional>
#include <numbers>

namespace korvane::ui {
namespace {

constexpr int kSize = 16;

QIcon Draw(const std::function<void(QPainter&)>& paint) {
  QPixmap pixmap(kSize, kSize);
  pixmap.fill(Qt::transparent);
  QPainter painter(&pixmap);
  painter.setRenderHint(QPainter::Antialiasing);
  paint(painter);
  painter.end();
  return QIcon(pixmap);
}

}  // namespace

QIcon SettingsIcon() {
  // A cog: eight teeth around a ring.
  return Draw([](QPainter& p) {
    const QPointF centre(8, 8);
    QPainterPath teeth;
    for (int i = 0; i < 8; ++i) {
      const double a = i * std::numbers::pi / 4;
      const QPointF tip = centre + QPointF(std::cos(a) * 6.0, std::sin(a) * 6.0);
      teeth.addRect(QRectF(tip - QPointF(1.6, 1.6), QSizeF(3.2, 3.2)));
    }
    p.setPen(Qt::NoPen);
    p.setBrush(QColor(0x50, 0x58, 0x68));
    p.drawPath(teeth);
    p.drawEllipse(centre, 5.2, 5.2);
    p.setBrush(Qt::white);
    p.drawEllipse(centre, 2.0, 2.0);
  });
}

QIcon ExportIcon() {
  // A sheet with a green arrow leaving it.
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x60, 0x60, 0x60), 1));
    p.setBrush(Qt::white);
    p.drawRect(QRectF(1.5, 1.5, 9, 13));
    p.setPen(QPen(QColor(0x90, 0x90, 0x90), 1));
    for (int y = 5; y <= 11; y += 3) {
      p.drawLine(QPointF(3.5, y + 0.5), QPointF(8.5, y + 0.5));
    }
    QPainterPath arrow;
    arrow.moveTo(7, 7);
    arrow.lineTo(11, 7);
    arrow.lineTo(11, 4);
    arrow.lineTo(15.5, 9);
    arrow.lineTo(11, 14);
    arrow.lineTo(11, 11);
    arrow.lineTo(7, 11);
    arrow.closeSubpath();
    p.setPen(QPen(QColor(0x10, 0x60, 0x10), 1));
    p.setBrush(QColor(0x30, 0xB0, 0x30));
    p.drawPath(arrow);
  });
}

QIcon ExitIcon() {
  // A red disc with a white cross.
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x90, 0x10, 0x10), 1));
    p.setBrush(QColor(0xD8, 0x30, 0x30));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(QPen(Qt::white, 2, Qt::SolidLine, Qt::RoundCap));
    p.drawLine(QPointF(5.5, 5.5), QPointF(10.5, 10.5));
    p.drawLine(QPointF(10.5, 5.5), QPointF(5.5, 10.5));
  });
}

QIcon AboutIcon() {
  // A blue disc with a white "i".
  return Draw([](QPainter& p) {
    p.setPen(QPen(QColor(0x10, 0x30, 0x90), 1));
    p.setBrush(QColor(0x30, 0x70, 0xD0));
    p.drawEllipse(QRectF(1, 1, 14, 14));
    p.setPen(Qt::NoPen);
    p.setBrush(Qt::white);
    p.drawEllipse(QPointF(8, 4.8), 1.3, 1.3);
    p.drawRect(QRectF(7, 7, 2, 5.5));
  });
}

}  // namespace korvane::ui
