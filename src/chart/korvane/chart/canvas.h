// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/chart_types.h"
#include "korvane/color.h"

#include <span>
#include <string_view>

namespace korvane::chart {

// Dash and the dash-dot styles tell overlaid runs apart.
enum class TPenStyle : std::uint8_t { Solid, Dot, Dash, DashDot, DashDotDot };
enum class TBrushStyle : std::uint8_t { Solid, Clear };

struct TPen {
  TColor Color = 0;
  int Width = 1;
  TPenStyle Style = TPenStyle::Solid;
  friend bool operator==(const TPen&, const TPen&) = default;
};

// Pattern >= 0 selects one of the 16 monochrome bar patterns (set bits inked in Color, clear
// bits white); -1 is a plain fill in Color.
struct TBrush {
  TColor Color = 0x00FFFFFF;
  TBrushStyle Style = TBrushStyle::Solid;
  int Pattern = -1;
  friend bool operator==(const TBrush&, const TBrush&) = default;
};

// Text measurement used by the layout pass and the drawing. Heights are line heights (ascent plus
// descent) of the font.
class TextMetrics {
 public:
  virtual ~TextMetrics() = default;
  virtual int TextWidth(const TFont& font, std::string_view text) = 0;
  virtual int TextHeight(const TFont& font, std::string_view text) = 0;
  // Height of text broken at word boundaries to fit the given width.
  virtual int WrappedTextHeight(const TFont& font, std::string_view text, int width) = 0;
};

// Drawing surface of the chart. Coordinates are client pixels; rectangles are half-open (TRect).
// Texts are drawn with a transparent background.
class Canvas {
 public:
  virtual ~Canvas() = default;
  virtual void SetPen(const TPen& pen) = 0;
  virtual void SetBrush(const TBrush& brush) = 0;
  virtual void SetFont(const TFont& font) = 0;
  // Fills with the brush, no outline.
  virtual void FillRect(const TRect& r) = 0;
  // Outline in the pen, inside filled with the brush unless the brush is clear.
  virtual void Rectangle(const TRect& r) = 0;
  virtual void Line(int x1, int y1, int x2, int y2) = 0;
  virtual void Polyline(std::span<const TPoint> points) = 0;
  // Closed outline in the pen, inside filled with the brush unless the brush is clear. By default
  // the outline only.
  virtual void Polygon(std::span<const TPoint> points) {
    if (points.empty())
      return;
    Polyline(points);
    const TPoint closing[] = {points.back(), points.front()};
    Polyline(closing);
  }
  // (x, y) is the top-left corner of the text cell.
  virtual void TextOut(int x, int y, std::string_view text) = 0;
  // Text rotated by 90 degrees, reading upwards; (x, y) is the top-left corner of the unrotated
  // text cell, which the rotation turns into the bottom-left corner.
  virtual void TextOutUp(int x, int y, std::string_view text) = 0;
  // Word-wrapped text centred horizontally and vertically in r.
  virtual void DrawTextCentered(const TRect& r, std::string_view text) = 0;
};

}  // namespace korvane::chart
