// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/palette.h"

#include <QImage>
#include <QPainter>
#include <QString>

namespace korvane::chart {
namespace {

QColor ToQColor(TColor c) {
  return QColor(ColorRed(c), ColorGreen(c), ColorBlue(c));
}

QString ToQString(std::string_view text) {
  return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

Qt::PenStyle ToQtPenStyle(TPenStyle style) {
  switch (style) {
    case TPenStyle::Dot:
      return Qt::DotLine;
    case TPenStyle::Dash:
      return Qt::DashLine;
    case TPenStyle::DashDot:
      return Qt::DashDotLine;
    case TPenStyle::DashDotDot:
      return Qt::DashDotDotLine;
    case TPenStyle::Solid:
      break;
  }
  return Qt::SolidLine;
}

// Half-open TRect to the QRect covering the same pixels.
QRect ToQRect(const TRect& r) {
  return QRect(QPoint(r.Left, r.Top), QPoint(r.Right - 1, r.Bottom - 1)).normalized();
}

}  // namespace

QFont ToQFont(const TFont& desc) {
  QFont font(QString::fromStdString(desc.Face), desc.PointSize);
  font.setBold(desc.Bold);
  font.setItalic(desc.Italic);
  font.setUnderline(desc.Underline);
  font.setStrikeOut(desc.StrikeOut);
  return font;
}

const QFontMetrics& QtTextMetrics::MetricsFor(const TFont& font) {
  for (const Entry& e : cache_) {
    if (e.font == font)
      return e.metrics;
  }
  if (cache_.size() >= 8)
    cache_.erase(cache_.begin());
  cache_.push_back({font, QFontMetrics(ToQFont(font))});
  return cache_.back().metrics;
}

int QtTextMetrics::TextWidth(const TFont& font, std::string_view text) {
  return MetricsFor(font).horizontalAdvance(ToQString(text));
}

int QtTextMetrics::TextHeight(const TFont& font, std::string_view) {
  return MetricsFor(font).height();
}

int QtTextMetrics::WrappedTextHeight(const TFont& font, std::string_view text, int width) {
  const QRect box = MetricsFor(font).boundingRect(
      QRect(0, 0, std::max(width, 1), 0), Qt::AlignHCenter | Qt::TextWordWrap, ToQString(text));
  return box.height();
}

QtCanvas::QtCanvas(QPainter& painter, QtBrushPatterns* patterns)
    : painter_(painter), patterns_(patterns != nullptr ? patterns : &ownPatterns_) {
  painter_.setRenderHint(QPainter::Antialiasing, false);
  painter_.setRenderHint(QPainter::TextAntialiasing, true);
  pen_.setCapStyle(Qt::FlatCap);
  pen_.setJoinStyle(Qt::MiterJoin);
}

void QtCanvas::SetPen(const TPen& pen) {
  pen_.setColor(ToQColor(pen.Color));
  pen_.setWidth(pen.Width);
  pen_.setStyle(ToQtPenStyle(pen.Style));
  painter_.setPen(pen_);
}

void QtCanvas::SetBrush(const TBrush& brush) {
  brushClear_ = brush.Style == TBrushStyle::Clear;
  if (brushClear_) {
    brush_ = Qt::NoBrush;
  } else if (brush.Pattern >= 0) {
    brush_ = patterns_->Get(brush.Pattern, brush.Color);
  } else {
    brush_ = QBrush(ToQColor(brush.Color));
  }
  painter_.setBrush(brush_);
}

const QBrush& QtBrushPatterns::Get(int index, TColor ink) {
  std::optional<QBrush>& slot = brushes_[static_cast<size_t>(index % PatternCount)];
  if (!slot || slot->color() != ToQColor(ink)) {
    const TPattern& rows = MonochromePattern(index);
    QImage image(8, 8, QImage::Format_RGB32);
    for (int y = 0; y < 8; ++y) {
      for (int x = 0; x < 8; ++x) {
        const bool inked = (rows[static_cast<size_t>(y)] >> (7 - x)) & 1;
        image.setPixel(x, y, inked ? ToQColor(ink).rgb() : qRgb(255, 255, 255));
      }
    }
    QBrush brush(image);
    brush.setColor(ToQColor(ink));
    slot = brush;
  }
  return *slot;
}

void QtCanvas::SetFont(const TFont& font) {
  painter_.setFont(ToQFont(font));
}

void QtCanvas::FillRect(const TRect& r) {
  if (!brushClear_)
    painter_.fillRect(ToQRect(r), brush_);
}

void QtCanvas::Rectangle(const TRect& r) {
  const QRect area = ToQRect(r);
  if (!brushClear_)
    painter_.fillRect(area, brush_);
  if (pen_.style() != Qt::NoPen) {
    painter_.save();
    painter_.setBrush(Qt::NoBrush);
    // A width-1 outline of QRect(x, y, w, h) covers w + 1 pixels; shrink to stay inside r.
    painter_.drawRect(area.adjusted(0, 0, -1, -1));
    painter_.restore();
  }
}

void QtCanvas::Line(int x1, int y1, int x2, int y2) {
  painter_.drawLine(x1, y1, x2, y2);
}

void QtCanvas::Polyline(std::span<const TPoint> points) {
  // Consecutive equal pixels add nothing to a one-pixel line; dropping them keeps dense series
  // cheap to stroke.
  scratch_.clear();
  scratch_.reserve(points.size());
  for (const TPoint& p : points) {
    if (scratch_.empty() || scratch_.back().x() != p.X || scratch_.back().y() != p.Y) {
      scratch_.emplace_back(p.X, p.Y);
    }
  }
  if (scratch_.size() == 1) {
    painter_.drawPoint(scratch_.front());
  } else if (!scratch_.empty()) {
    painter_.drawPolyline(scratch_.data(), static_cast<int>(scratch_.size()));
  }
}

void QtCanvas::Polygon(std::span<const TPoint> points) {
  scratch_.clear();
  for (const TPoint& p : points)
    scratch_.emplace_back(p.X, p.Y);
  painter_.drawPolygon(scratch_.data(), static_cast<int>(scratch_.size()));
}

void QtCanvas::TextOut(int x, int y, std::string_view text) {
  const QFontMetrics fm(painter_.font());
  painter_.drawText(x, y + fm.ascent(), ToQString(text));
}

void QtCanvas::TextOutUp(int x, int y, std::string_view text) {
  const QFontMetrics fm(painter_.font());
  painter_.save();
  painter_.translate(x, y);
  painter_.rotate(-90);
  painter_.drawText(0, fm.ascent(), ToQString(text));
  painter_.restore();
}

void QtCanvas::DrawTextCentered(const TRect& r, std::string_view text) {
  painter_.drawText(QRect(r.Left, r.Top, r.Width(), r.Height()), Qt::AlignCenter | Qt::TextWordWrap,
                    ToQString(text));
}

}  // namespace korvane::chart
