// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/palette.h"
#include "korvane/chart/trend_chart.h"

#include "caption_lines.h"

#include <algorithm>

namespace korvane::chart {
namespace {

constexpr TColor kBlack = 0x000000;
constexpr TColor kWhite = 0xFFFFFF;
constexpr TColor kGrid = 0x808080;

}  // namespace

// One drawing pass: keeps the current pen so steps can change its colour, width or style alone.
class TTrendChart::Painter {
 public:
  Painter(const TTrendChart& chart, Canvas& canvas) : c_(chart), canvas_(canvas) {}

  void Paint() {
    SetPen(kBlack, 1, TPenStyle::Solid);
    canvas_.SetBrush({c_.color_, TBrushStyle::Solid});
    canvas_.FillRect({0, 0, c_.chartWidth_, c_.chartHeight_});
    if (c_.showLegend_ && !c_.seriesList_.empty())
      DrawLegend();
    if (c_.showTitle_ && !c_.title_.empty())
      DrawTitle();
    DrawXAxis();
    DrawYAxis();
    DrawChart();
  }

 private:
  void SetPen(TColor color, int width, TPenStyle style) {
    pen_ = {color, width, style};
    canvas_.SetPen(pen_);
  }

  void DrawLegend() {
    SetPen(pen_.Color, 1, TPenStyle::Solid);
    canvas_.SetFont(c_.normalFont_);
    const int th = c_.metrics_->TextHeight(c_.normalFont_, "Ag");
    const int dy = (20 - th) / 2;
    const TRect& R = c_.rcLegend_;
    canvas_.SetBrush({kBlack, TBrushStyle::Solid});
    canvas_.FillRect({R.Right, R.Top + 3, R.Right + 3, R.Bottom + 3});
    canvas_.FillRect({R.Left + 3, R.Bottom, R.Right + 3, R.Bottom + 3});
    canvas_.SetBrush({kWhite, TBrushStyle::Clear});
    canvas_.Rectangle(R);
    const int x = R.Left + 32;
    for (const auto& s : c_.seriesList_) {
      int y = R.Top + s->legendTop_;
      for (std::string_view line : CaptionLines(s->caption_)) {
        canvas_.TextOut(x, y + dy, line);
        y += th;
      }
    }
  }

  void DrawTitle() {
    canvas_.SetBrush({kWhite, TBrushStyle::Clear});
    canvas_.SetFont(c_.titleFont_);
    canvas_.DrawTextCentered(c_.rcTitle_, c_.title_);
  }

  void DrawXAxis() {
    const TRect& rc = c_.rcChart_;
    SetPen(pen_.Color, 3, TPenStyle::Solid);
    canvas_.Line(rc.Left, rc.Bottom, rc.Right, rc.Bottom);
    TFont bold = c_.normalFont_;
    bold.Bold = true;
    canvas_.SetFont(bold);
    const int tw = c_.metrics_->TextWidth(bold, c_.axisXTitle_);
    const int bh = c_.metrics_->TextHeight(bold, "Ag");
    canvas_.TextOut(rc.Left + (rc.Width() - tw) / 2, rc.Bottom + bh + 14, c_.axisXTitle_);
    canvas_.SetFont(c_.normalFont_);
    SetPen(kBlack, 1, TPenStyle::Solid);

    int lastRight = 0;
    for (const TAxisInfo& tick : c_.xAxis_) {
      const int w = c_.metrics_->TextWidth(c_.normalFont_, tick.Caption);
      const int x = tick.Px - w / 2;
      if (lastRight < x) {
        canvas_.TextOut(x, rc.Bottom + 4, tick.Caption);
        lastRight = x + w;
      }
      canvas_.Line(tick.Px, tick.Py, tick.Px, tick.Py + 2);
    }
    if (c_.showXGrid_ && c_.xAxis_.size() > 2) {
      SetPen(kGrid, pen_.Width, TPenStyle::Dot);
      for (size_t i = 1; i + 1 < c_.xAxis_.size(); ++i) {
        const TAxisInfo& tick = c_.xAxis_[i];
        canvas_.Line(tick.Px, tick.Py, tick.Px, rc.Top);
      }
      SetPen(kBlack, pen_.Width, pen_.Style);
    }
  }

  void DrawYAxis() {
    const TRect& rc = c_.rcChart_;
    SetPen(pen_.Color, 3, TPenStyle::Solid);
    canvas_.Line(rc.Left, rc.Top, rc.Left, rc.Bottom);
    TFont bold = c_.normalFont_;
    bold.Bold = true;
    canvas_.SetFont(bold);
    const int tw = c_.metrics_->TextWidth(bold, c_.axisYTitle_);
    canvas_.TextOutUp(20, rc.Bottom - (rc.Height() - tw) / 2, c_.axisYTitle_);
    canvas_.SetFont(c_.normalFont_);
    SetPen(kBlack, 1, pen_.Style);

    const int th = c_.metrics_->TextHeight(c_.normalFont_, "Ag");
    for (const TAxisInfo& tick : c_.yAxis_) {
      const int w = c_.metrics_->TextWidth(c_.normalFont_, tick.Caption);
      canvas_.TextOut(rc.Left - 4 - w, tick.Py - th / 2, tick.Caption);
      canvas_.Line(tick.Px - 2, tick.Py, tick.Px, tick.Py);
    }
    if (c_.showYGrid_ && c_.yAxis_.size() > 2) {
      for (size_t i = 1; i + 1 < c_.yAxis_.size(); ++i) {
        const TAxisInfo& tick = c_.yAxis_[i];
        if (tick.Value == 0.0) {
          SetPen(kBlack, pen_.Width, TPenStyle::Solid);
        } else {
          SetPen(kGrid, pen_.Width, TPenStyle::Dot);
        }
        canvas_.Line(tick.Px, tick.Py, rc.Right, tick.Py);
      }
      SetPen(kBlack, pen_.Width, pen_.Style);
    }
  }

  void DrawChart() {
    const TRect& rc = c_.rcChart_;
    canvas_.SetBrush({kWhite, TBrushStyle::Clear});
    SetPen(pen_.Color, 1, TPenStyle::Solid);
    const TPoint frame[] = {{rc.Left, rc.Top}, {rc.Right, rc.Top}, {rc.Right, rc.Bottom}};
    canvas_.Polyline(frame);
    const int count = static_cast<int>(c_.seriesList_.size());
    for (int i = 0; i < count; ++i) {
      if (c_.seriesList_[static_cast<size_t>(i)]->kind_ == skBar)
        DrawSeries(i);
    }
    for (int i = 0; i < count; ++i) {
      if (c_.seriesList_[static_cast<size_t>(i)]->kind_ != skBar)
        DrawSeries(i);
    }
  }

  void DrawSeries(int index) {
    const TTrendSeries& s = *c_.seriesList_[static_cast<size_t>(index)];
    const bool bar = s.kind_ == skBar;
    AutoColors(index, bar);
    if (!c_.PlotCollapsed()) {
      if (!bar && OnOnePixel(s.values_)) {
        DrawMarker(s.values_.front());
      } else {
        DrawData(s);
      }
    }
    if (c_.showLegend_) {
      const int x = c_.rcLegend_.Left + 10;
      const int y = c_.rcLegend_.Top + s.legendTop_;
      if (bar) {
        canvas_.Rectangle({x + 2, y + 2, x + 18, y + 18});
      } else {
        canvas_.Line(x, y + 10, x + 20, y + 10);
      }
    }
  }

  void DrawData(const TTrendSeries& s) {
    switch (s.kind_) {
      case skBar:
        for (const TXYInfo& v : s.values_)
          canvas_.Rectangle(v.Rc);
        break;
      case skLine:
        if (!s.values_.empty()) {
          points_.clear();
          points_.reserve(s.values_.size());
          for (const TXYInfo& v : s.values_)
            points_.push_back({v.Px, v.Py});
          canvas_.Polyline(points_);
        }
        break;
      case skSmooth:
        if (!s.spline_.Curve().empty())
          canvas_.Polyline(s.spline_.Curve());
        break;
    }
  }

  static bool OnOnePixel(const std::vector<TXYInfo>& values) {
    return !values.empty() && std::all_of(values.begin(), values.end(), [&](const TXYInfo& v) {
      return v.Px == values.front().Px && v.Py == values.front().Py;
    });
  }

  // A line through points on one pixel has no length: a small square in the series' colour marks
  // the pixel instead.
  void DrawMarker(const TXYInfo& v) {
    canvas_.SetBrush({pen_.Color, TBrushStyle::Solid});
    canvas_.Rectangle({v.Px - 2, v.Py - 2, v.Px + 3, v.Py + 3});
  }

  void AutoColors(int index, bool bar) {
    const TColor color = c_.monochrome_   ? kBlack
                         : c_.softColors_ ? SoftColor(index)
                                          : NormalColor(index);
    SetPen(color, pen_.Width, pen_.Style);
    TBrush brush{bar ? color : kWhite, TBrushStyle::Solid};
    if (bar && c_.monochrome_)
      brush.Pattern = index % PatternCount;
    canvas_.SetBrush(brush);
  }

  const TTrendChart& c_;
  Canvas& canvas_;
  TPen pen_;
  std::vector<TPoint> points_;
};

void TTrendChart::InternalPaint(Canvas& canvas) const {
  Painter(*this, canvas).Paint();
}

}  // namespace korvane::chart
