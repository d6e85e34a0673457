// SPDX-License-Identifier: GPL-3.0-or-later
#include "review_plot_state.h"

#include "korvane/chart/review_decimate.h"

#include <algorithm>
#include <cmath>

namespace korvane::chart::review_plot {
namespace {

constexpr TColor kWhite = RgbToColor(0xFF, 0xFF, 0xFF);
constexpr TColor kBlack = RgbToColor(0x00, 0x00, 0x00);
constexpr TColor kGrid = RgbToColor(0xE0, 0xE0, 0xE0);
constexpr TColor kBand = RgbToColor(0xCC, 0xE0, 0xFF);
constexpr TColor kCursor = RgbToColor(0x40, 0x40, 0x40);
constexpr TColor kBoxFrame = RgbToColor(0xA0, 0xA0, 0xA0);
constexpr int kBoxPad = 4;
constexpr int kBoxOffset = 8;  // between the cursor line and the read-out box

void Fill(Canvas& canvas, const TRect& r, TColor color) {
  canvas.SetBrush({color, TBrushStyle::Solid});
  canvas.FillRect(r);
}

void PaintBand(const State& state, Canvas& canvas) {
  if (!state.band)
    return;
  const TRect& plot = state.layout.plot;
  const int x0 = std::clamp(std::min(state.band->first, state.band->second), plot.Left, plot.Right);
  const int x1 =
      std::clamp(std::max(state.band->first, state.band->second) + 1, plot.Left, plot.Right);
  if (x1 > x0)
    Fill(canvas, {x0, plot.Top, x1, plot.Bottom}, kBand);
}

void PaintGrid(const State& state, Canvas& canvas) {
  const Layout& layout = state.layout;
  canvas.SetPen({kGrid, 1, TPenStyle::Solid});
  for (const Pane& pane : layout.panes) {
    const TRect& area = pane.area;
    for (const ReviewTick& tick : layout.timeTicks) {
      const int x = XOf(layout, state.view, tick.value);
      canvas.Line(x, area.Top, x, area.Bottom - 1);
    }
    for (const ReviewTick& tick : pane.axis.ticks) {
      const int y = YOf(pane, tick.value);
      canvas.Line(area.Left, y, area.Right - 1, y);
    }
  }
}

void PaintCurves(const State& state, Canvas& canvas) {
  for (const CurvePiece& piece : state.curves) {
    canvas.SetPen({piece.look.color, 1, piece.look.pen});
    canvas.Polyline(piece.points);
  }
}

// A marker of about 7 pixels around p, filled in the look's colour.
void PaintMarker(Canvas& canvas, ReviewMark mark, TPoint p) {
  constexpr int r = 3;
  const int x = p.X;
  const int y = p.Y;
  switch (mark) {
    case ReviewMark::kNone:
      return;
    case ReviewMark::kSquare:
      canvas.Rectangle({x - r, y - r, x + r + 1, y + r + 1});
      return;
    case ReviewMark::kCircle: {
      const TPoint octagon[] = {{x - 1, y - r}, {x + 1, y - r}, {x + r, y - 1}, {x + r, y + 1},
                                {x + 1, y + r}, {x - 1, y + r}, {x - r, y + 1}, {x - r, y - 1}};
      canvas.Polygon(octagon);
      return;
    }
    case ReviewMark::kTriangle: {
      const TPoint up[] = {{x, y - r - 1}, {x + r + 1, y + r}, {x - r - 1, y + r}};
      canvas.Polygon(up);
      return;
    }
    case ReviewMark::kTriangleDown: {
      const TPoint down[] = {{x - r - 1, y - r}, {x + r + 1, y - r}, {x, y + r + 1}};
      canvas.Polygon(down);
      return;
    }
    case ReviewMark::kDiamond: {
      const TPoint diamond[] = {{x, y - r - 1}, {x + r + 1, y}, {x, y + r + 1}, {x - r - 1, y}};
      canvas.Polygon(diamond);
      return;
    }
  }
}

void PaintMarkers(const State& state, Canvas& canvas) {
  for (const MarkerSet& set : state.markers) {
    canvas.SetPen({set.look.color, 1, TPenStyle::Solid});
    canvas.SetBrush({set.look.color, TBrushStyle::Solid});
    for (const TPoint& p : set.points)
      PaintMarker(canvas, set.look.mark, p);
  }
}

void PaintLevels(const State& state, Canvas& canvas) {
  if (!state.traceMode || state.layout.panes.empty())
    return;
  const Pane& pane = state.layout.panes.front();
  for (const ReviewLevel& level : state.traceSet.levels) {
    const ValueAxis* axis = level.side == ReviewSide::kLeft ? &pane.axis
                            : pane.right                    ? &*pane.right
                                                            : nullptr;
    if (axis == nullptr || !std::isfinite(level.value) || level.value < axis->lo ||
        level.value > axis->hi)
      continue;
    const int y = YOf(pane.area, *axis, level.value);
    canvas.SetPen({level.color, 1, level.penStyle});
    canvas.Line(pane.area.Left, y, pane.area.Right - 1, y);
  }
}

// Ticks and labels beside the pane, the labels kept within the pane and half the gaps around it
// so that neighbouring panes' labels stay apart; the title reads upwards at the client's edge.
void PaintValueAxis(const State& state, Canvas& canvas, TextMetrics& metrics, const Pane& pane,
                    const ValueAxis& axis, bool right) {
  const Layout& layout = state.layout;
  const TRect& area = pane.area;
  const int edge = right ? area.Right : area.Left - 1;
  const int out = right ? kTick : -kTick;
  const int labelTop = area.Top - kPaneGap / 2;
  const int labelBottom = std::max(labelTop, area.Bottom + kPaneGap / 2 - layout.lineHeight);
  for (const ReviewTick& tick : axis.ticks) {
    const int y = YOf(area, axis, tick.value);
    canvas.Line(edge, y, edge + out, y);
    const int w = metrics.TextWidth(state.style.font, tick.label);
    const int x = right ? edge + kTick + kGap : edge - kTick - kGap - w;
    canvas.TextOut(x, std::clamp(y - layout.lineHeight / 2, labelTop, labelBottom), tick.label);
  }
  const int titleWidth = metrics.TextWidth(state.style.font, axis.title);
  const int titleX = right ? state.width - kMargin - layout.lineHeight : kMargin;
  canvas.TextOutUp(titleX, area.Top + (area.Height() + titleWidth) / 2, axis.title);
}

void PaintTimeAxis(const State& state, Canvas& canvas, TextMetrics& metrics) {
  const Layout& layout = state.layout;
  const TRect& plot = layout.plot;
  for (const ReviewTick& tick : layout.timeTicks) {
    const int x = XOf(layout, state.view, tick.value);
    canvas.Line(x, plot.Bottom, x, plot.Bottom + kTick);
    const int w = metrics.TextWidth(state.style.font, tick.label);
    const int left = std::clamp(x - w / 2, 0, std::max(0, state.width - w));
    canvas.TextOut(left, plot.Bottom + kTick, tick.label);
  }
}

void PaintSwatch(Canvas& canvas, int x, int y, int length, const Look& look) {
  canvas.SetPen({look.color, 1, look.pen});
  if (look.line) {
    canvas.Line(x, y, x + length, y);
    canvas.Line(x, y + 1, x + length, y + 1);
  }
  if (look.mark != ReviewMark::kNone) {
    canvas.SetPen({look.color, 1, TPenStyle::Solid});
    canvas.SetBrush({look.color, TBrushStyle::Solid});
    PaintMarker(canvas, look.mark, {x + length / 2, y});
  }
}

void PaintLegend(const State& state, Canvas& canvas) {
  const int lineHeight = state.layout.lineHeight;
  for (const LegendItem& item : state.layout.legend) {
    int textX = item.x;
    if (!item.more) {
      PaintSwatch(canvas, item.x, item.y + lineHeight / 2, kSwatch, item.look);
      textX += kSwatch + kGap;
    }
    canvas.SetPen({kBlack, 1, TPenStyle::Solid});
    canvas.TextOut(textX, item.y, item.text);
  }
}

void PaintReadout(const State& state, Canvas& canvas, TextMetrics& metrics) {
  const auto detail = state.traceMode ? MakeTraceReadout(state) : MakeReadout(state);
  if (!detail)
    return;
  const Layout& layout = state.layout;
  const TRect& plot = layout.plot;
  const ReviewReadout& readout = detail->readout;
  canvas.SetPen({kCursor, 1, TPenStyle::Solid});
  canvas.Line(readout.x, plot.Top, readout.x, plot.Bottom - 1);

  const int swatch = layout.lineHeight;
  int textWidth = 0;
  for (std::size_t i = 0; i < readout.lines.size(); ++i) {
    const int indent = i >= detail->firstValueLine ? swatch + kGap : 0;
    textWidth = std::max(textWidth, indent + metrics.TextWidth(state.style.font, readout.lines[i]));
  }
  const int w = textWidth + 2 * kBoxPad;
  const int h = static_cast<int>(readout.lines.size()) * layout.lineHeight + 2 * kBoxPad;
  int x = readout.x + kBoxOffset;
  if (x + w > plot.Right)
    x = readout.x - kBoxOffset - w;
  x = std::clamp(x, plot.Left, std::max(plot.Left, plot.Right - w));
  const int y = std::clamp(plot.Top + kBoxOffset, plot.Top, std::max(plot.Top, plot.Bottom - h));

  canvas.SetPen({kBoxFrame, 1, TPenStyle::Solid});
  canvas.SetBrush({kWhite, TBrushStyle::Solid});
  canvas.Rectangle({x, y, x + w, y + h});
  for (std::size_t i = 0; i < readout.lines.size(); ++i) {
    const int lineY = y + kBoxPad + static_cast<int>(i) * layout.lineHeight;
    int textX = x + kBoxPad;
    if (i >= detail->firstValueLine) {
      PaintSwatch(canvas, textX, lineY + layout.lineHeight / 2, swatch,
                  detail->valueLooks[i - detail->firstValueLine]);
      textX += swatch + kGap;
    }
    canvas.SetPen({kBlack, 1, TPenStyle::Solid});
    canvas.TextOut(textX, lineY, readout.lines[i]);
  }
}

}  // namespace

void BuildCurves(State& state) {
  state.curves.clear();
  state.markers.clear();
  state.curvesValid = true;
  if (state.traceMode) {
    BuildTraceMarks(state);
    return;
  }
  const Layout& layout = state.layout;
  const ReviewSeriesMask plotted = Plotted(state);
  const double t0 = state.view.Start();
  const double t1 = state.view.End();
  const int columns = layout.plot.Width();
  for (std::size_t r = 0; r < state.runs.size(); ++r) {
    const ReviewRun& run = state.runs[r];
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      const auto s = static_cast<ReviewSeries>(k);
      const auto sk = static_cast<std::size_t>(k);
      const SeriesSummary& summary = state.summaries[r][sk];
      if ((plotted & ReviewBit(s)) == 0 || !summary.hasValue)
        continue;
      const Pane& pane =
          layout
              .panes[static_cast<std::size_t>(layout.paneOf[static_cast<std::size_t>(UnitOf(s))])];
      const std::vector<double>& ys = run.values[sk];
      const std::vector<std::size_t> kept = DecimateColumns(run.elapsedMs, ys, t0, t1, columns);
      CurvePiece* piece = nullptr;
      for (std::size_t j = 0; j < kept.size(); ++j) {
        const std::size_t i = kept[j];
        if (piece == nullptr || GapBetween(summary, kept[j - 1], i)) {
          piece = &state.curves.emplace_back(CurvePiece{RunLook(r, s), {}});
        }
        piece->points.push_back({XOf(layout, state.view, run.elapsedMs[i]), YOf(pane, ys[i])});
      }
    }
  }
}

void PaintPlot(const State& state, Canvas& canvas, TextMetrics& metrics) {
  const Layout& layout = state.layout;
  Fill(canvas, {0, 0, state.width, state.height}, kWhite);
  canvas.SetFont(state.style.font);
  if (!HasContent(state)) {
    canvas.SetPen({kBoxFrame, 1, TPenStyle::Solid});
    canvas.SetBrush({kWhite, TBrushStyle::Clear});
    canvas.Rectangle(layout.plot);
    canvas.SetPen({kBlack, 1, TPenStyle::Solid});
    canvas.DrawTextCentered(layout.plot, state.traceMode      ? state.traceSet.emptyText
                                         : state.runs.empty() ? "No run selected"
                                         : state.shown == 0   ? "No values chosen"
                                                              : "No values recorded");
    return;
  }
  PaintBand(state, canvas);
  PaintGrid(state, canvas);
  PaintLevels(state, canvas);
  PaintCurves(state, canvas);
  PaintMarkers(state, canvas);
  for (const Pane& pane : layout.panes) {
    canvas.SetPen({kBlack, 1, TPenStyle::Solid});
    canvas.SetBrush({kWhite, TBrushStyle::Clear});
    canvas.Rectangle(pane.area);
    PaintValueAxis(state, canvas, metrics, pane, pane.axis, false);
    if (pane.right)
      PaintValueAxis(state, canvas, metrics, pane, *pane.right, true);
  }
  PaintTimeAxis(state, canvas, metrics);
  PaintLegend(state, canvas);
  PaintReadout(state, canvas, metrics);
}

}  // namespace korvane::chart::review_plot
