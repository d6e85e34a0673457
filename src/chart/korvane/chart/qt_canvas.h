// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/canvas.h"

#include <QBrush>
#include <QFont>
#include <QFontMetrics>
#include <QPen>
#include <QPoint>
#include <array>
#include <optional>
#include <vector>

class QPainter;

namespace korvane::chart {

QFont ToQFont(const TFont& desc);

// Text measurement with QFontMetrics; keeps the metrics of the fonts last asked for.
class QtTextMetrics final : public TextMetrics {
 public:
  int TextWidth(const TFont& font, std::string_view text) override;
  int TextHeight(const TFont& font, std::string_view text) override;
  int WrappedTextHeight(const TFont& font, std::string_view text, int width) override;

 private:
  const QFontMetrics& MetricsFor(const TFont& font);

  struct Entry {
    TFont font;
    QFontMetrics metrics;
  };
  std::vector<Entry> cache_;
};

// The monochrome bar brushes, built on first use and kept by their owner (the widget) so that
// repaints reuse them.
class QtBrushPatterns {
 public:
  const QBrush& Get(int index, TColor ink);

 private:
  std::array<std::optional<QBrush>, 16> brushes_;
};

// Draws on a QPainter without antialiasing, so pixel geometry matches the layout exactly.
class QtCanvas final : public Canvas {
 public:
  // Without patterns the canvas keeps its own for as long as it lives.
  explicit QtCanvas(QPainter& painter, QtBrushPatterns* patterns = nullptr);

  void SetPen(const TPen& pen) override;
  void SetBrush(const TBrush& brush) override;
  void SetFont(const TFont& font) override;
  void FillRect(const TRect& r) override;
  void Rectangle(const TRect& r) override;
  void Line(int x1, int y1, int x2, int y2) override;
  void Polyline(std::span<const TPoint> points) override;
  void Polygon(std::span<const TPoint> points) override;
  void TextOut(int x, int y, std::string_view text) override;
  void TextOutUp(int x, int y, std::string_view text) override;
  void DrawTextCentered(const TRect& r, std::string_view text) override;

 private:
  QPainter& painter_;
  QPen pen_;
  QBrush brush_;
  bool brushClear_ = false;
  std::vector<QPoint> scratch_;
  QtBrushPatterns ownPatterns_;
  QtBrushPatterns* patterns_;
};

}  // namespace korvane::chart
