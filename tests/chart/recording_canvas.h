// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/canvas.h"
#include "korvane/chart/trend_chart.h"

#include <string>
#include <vector>

namespace korvane::chart::test {

// A bare chart: no title, no legend, so the plot is the client area minus the fixed margins.
inline void MakeBare(TTrendChart& chart, int width, int height) {
  chart.SetShowTitle(false);
  chart.SetShowLegend(false);
  chart.SetClientSize(width, height);
}

// Canvas that records every drawing call with the pen, brush and font in force at the time.
class RecordingCanvas final : public Canvas {
 public:
  enum class Kind { FillRect, Rectangle, Line, Polyline, Text, TextUp, TextCentered };

  struct Op {
    Kind kind;
    TPen pen;
    TBrush brush;
    TFont font;
    TRect rect;                  // FillRect, Rectangle, TextCentered
    std::vector<TPoint> points;  // Line (two), Polyline, Text and TextUp (one)
    std::string text;
  };

  void SetPen(const TPen& pen) override { pen_ = pen; }
  void SetBrush(const TBrush& brush) override { brush_ = brush; }
  void SetFont(const TFont& font) override { font_ = font; }
  void FillRect(const TRect& r) override { Add(Kind::FillRect).rect = r; }
  void Rectangle(const TRect& r) override { Add(Kind::Rectangle).rect = r; }
  void Line(int x1, int y1, int x2, int y2) override {
    Add(Kind::Line).points = {{x1, y1}, {x2, y2}};
  }
  void Polyline(std::span<const TPoint> points) override {
    Add(Kind::Polyline).points.assign(points.begin(), points.end());
  }
  void TextOut(int x, int y, std::string_view text) override {
    Add(Kind::Text, text).points = {{x, y}};
  }
  void TextOutUp(int x, int y, std::string_view text) override {
    Add(Kind::TextUp, text).points = {{x, y}};
  }
  void DrawTextCentered(const TRect& r, std::string_view text) override {
    Add(Kind::TextCentered, text).rect = r;
  }

  std::vector<Op> ops;

  std::vector<Op> OfKind(Kind kind) const {
    std::vector<Op> result;
    for (const Op& op : ops) {
      if (op.kind == kind)
        result.push_back(op);
    }
    return result;
  }

  const Op* FindText(std::string_view text) const {
    for (const Op& op : ops) {
      if ((op.kind == Kind::Text || op.kind == Kind::TextUp) && op.text == text)
        return &op;
    }
    return nullptr;
  }

  const Op* FindLine(TPoint from, TPoint to) const {
    for (const Op& op : ops) {
      if (op.kind == Kind::Line && op.points[0] == from && op.points[1] == to)
        return &op;
    }
    return nullptr;
  }

 private:
  Op& Add(Kind kind, std::string_view text = {}) {
    ops.push_back(Op{kind, pen_, brush_, font_, {}, {}, std::string(text)});
    return ops.back();
  }

  TPen pen_;
  TBrush brush_;
  TFont font_;
};

}  // namespace korvane::chart::test
