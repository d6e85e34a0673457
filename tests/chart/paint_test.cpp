// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/palette.h"
#include "korvane/chart/trend_chart.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "recording_canvas.h"

// Drawing under FixedTextMetrics: normal font 6 px per character (bold 7), lines 13 px high.
namespace korvane::chart {
namespace {

using test::MakeBare;
using test::RecordingCanvas;
using Kind = RecordingCanvas::Kind;

constexpr TColor kGrey = 0x808080;

RecordingCanvas Paint(const TTrendChart& chart) {
  RecordingCanvas canvas;
  chart.InternalPaint(canvas);
  return canvas;
}

TEST(Paint, EmptyChartDrawsBackgroundAxesAndTitlesOnly) {
  TTrendChart chart;
  chart.SetClientSize(400, 300);
  chart.SetTitle("");
  const RecordingCanvas canvas = Paint(chart);
  const auto fills = canvas.OfKind(Kind::FillRect);
  ASSERT_EQ(fills.size(), 1u);  // no legend shadow without series
  EXPECT_EQ(fills[0].rect, (TRect{0, 0, 400, 300}));
  EXPECT_EQ(fills[0].brush.Color, 0xFFFFFFu);
  EXPECT_TRUE(canvas.OfKind(Kind::Rectangle).empty());
  EXPECT_TRUE(canvas.OfKind(Kind::TextCentered).empty());  // empty title is not drawn
  EXPECT_NE(canvas.FindText("X Axis"), nullptr);
  EXPECT_NE(canvas.FindText("Y Axis"), nullptr);
}

TEST(Paint, AxesTitlesAndFrame) {
  TTrendChart chart;
  chart.SetClientSize(400, 300);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(0, 3.1);
  s->AddXY(10, 4.25);
  const TRect rc = chart.RcChart();  // (65, 52, 282, 240)
  const RecordingCanvas canvas = Paint(chart);

  const auto* xAxis = canvas.FindLine({rc.Left, rc.Bottom}, {rc.Right, rc.Bottom});
  ASSERT_NE(xAxis, nullptr);
  EXPECT_EQ(xAxis->pen, (TPen{0, 3, TPenStyle::Solid}));
  const auto* yAxis = canvas.FindLine({rc.Left, rc.Top}, {rc.Left, rc.Bottom});
  ASSERT_NE(yAxis, nullptr);
  EXPECT_EQ(yAxis->pen.Width, 3);

  const auto* xTitle = canvas.FindText("X Axis");
  ASSERT_NE(xTitle, nullptr);
  EXPECT_TRUE(xTitle->font.Bold);
  EXPECT_EQ(xTitle->points[0], (TPoint{65 + (217 - 42) / 2, 240 + 13 + 14}));
  const auto* yTitle = canvas.FindText("Y Axis");
  ASSERT_EQ(yTitle->kind, Kind::TextUp);
  EXPECT_EQ(yTitle->points[0], (TPoint{20, 240 - (188 - 42) / 2}));

  const auto titles = canvas.OfKind(Kind::TextCentered);
  ASSERT_EQ(titles.size(), 1u);
  const auto* title = &titles[0];
  EXPECT_EQ(title->rect, chart.RcTitle());
  EXPECT_EQ(title->font, chart.TitleFont());

  // Y labels end 4 px left of the axis, centred on their tick.
  const auto* label = canvas.FindText("3.5");
  ASSERT_NE(label, nullptr);
  EXPECT_EQ(label->points[0], (TPoint{65 - 4 - 18, 177 - 6}));
  EXPECT_NE(canvas.FindLine({63, 177}, {65, 177}), nullptr);

  const auto frames = canvas.OfKind(Kind::Polyline);
  ASSERT_FALSE(frames.empty());
  EXPECT_EQ(frames[0].points,
            (std::vector<TPoint>{{rc.Left, rc.Top}, {rc.Right, rc.Top}, {rc.Right, rc.Bottom}}));
  EXPECT_EQ(frames[0].pen, (TPen{0, 1, TPenStyle::Solid}));
}

TEST(Paint, OverlappingXLabelsAreSkippedButKeepTheirTicks) {
  TTrendChart chart;
  MakeBare(chart, 373, 280);  // plot 300 px wide: eleven values 30 px apart
  chart.SetAxisXOnePerValue(true);
  TTrendSeries* s = chart.AddSeries(skLine);
  for (int i = 0; i < 11; ++i)
    s->AddXY(100000 + i * 11111, 5);  // labels 36 px wide
  ASSERT_EQ(chart.RcChart().Width(), 300);
  const RecordingCanvas canvas = Paint(chart);
  for (size_t i = 0; i < chart.XAxis().size(); ++i) {
    const TAxisInfo& tick = chart.XAxis()[i];
    const auto* label = canvas.FindText(tick.Caption);
    if (i % 2 == 0) {
      ASSERT_NE(label, nullptr) << i;
      EXPECT_EQ(label->points[0], (TPoint{tick.Px - 18, chart.RcChart().Bottom + 4}));
    } else {
      EXPECT_EQ(label, nullptr) << i;
    }
    EXPECT_NE(canvas.FindLine({tick.Px, tick.Py}, {tick.Px, tick.Py + 2}), nullptr) << i;
  }
}

TEST(Paint, GridsSkipFirstAndLastTickAndZeroIsSolid) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* s = chart.AddSeries(skLine);
  s->AddXY(0, -0.25);
  s->AddXY(10, 0.3);
  const TRect rc = chart.RcChart();
  const auto& y = chart.YAxis();
  ASSERT_EQ(y.size(), 5u);
  ASSERT_EQ(y[2].Value, 0.0);
  const RecordingCanvas canvas = Paint(chart);

  EXPECT_EQ(canvas.FindLine({rc.Left, y[0].Py}, {rc.Right, y[0].Py})->pen.Width, 3);  // the X axis
  EXPECT_EQ(canvas.FindLine({rc.Left, y[4].Py}, {rc.Right, y[4].Py}), nullptr);
  for (size_t i : {1u, 3u}) {
    const auto* grid = canvas.FindLine({rc.Left, y[i].Py}, {rc.Right, y[i].Py});
    ASSERT_NE(grid, nullptr) << i;
    EXPECT_EQ(grid->pen, (TPen{kGrey, 1, TPenStyle::Dot})) << i;
  }
  const auto* zero = canvas.FindLine({rc.Left, y[2].Py}, {rc.Right, y[2].Py});
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(zero->pen, (TPen{0, 1, TPenStyle::Solid}));

  const auto& x = chart.XAxis();
  ASSERT_GE(x.size(), 3u);
  EXPECT_EQ(canvas.FindLine({x.front().Px, rc.Bottom}, {x.front().Px, rc.Top}), nullptr);
  EXPECT_EQ(canvas.FindLine({x.back().Px, rc.Bottom}, {x.back().Px, rc.Top}), nullptr);
  for (size_t i = 1; i + 1 < x.size(); ++i) {
    const auto* grid = canvas.FindLine({x[i].Px, rc.Bottom}, {x[i].Px, rc.Top});
    ASSERT_NE(grid, nullptr) << i;
    EXPECT_EQ(grid->pen, (TPen{kGrey, 1, TPenStyle::Dot})) << i;
  }

  chart.SetShowXGrid(false);
  chart.SetShowYGrid(false);
  const RecordingCanvas bare = Paint(chart);
  EXPECT_EQ(bare.FindLine({x[1].Px, rc.Bottom}, {x[1].Px, rc.Top}), nullptr);
  EXPECT_EQ(bare.FindLine({rc.Left, y[2].Py}, {rc.Right, y[2].Py}), nullptr);
}

// Pen of the polyline (or rectangles) drawn for each series, in drawing order.
std::vector<RecordingCanvas::Op> SeriesOps(const RecordingCanvas& canvas) {
  std::vector<RecordingCanvas::Op> result;
  bool frameSeen = false;
  for (const auto& op : canvas.ops) {
    if (op.kind == Kind::Polyline && !frameSeen) {
      frameSeen = true;
    } else if (frameSeen && (op.kind == Kind::Polyline || op.kind == Kind::Rectangle)) {
      result.push_back(op);
    }
  }
  return result;
}

TEST(Paint, SeriesColoursByListPosition) {
  const struct {
    bool soft, mono;
    TColor first, second;
  } cases[] = {
      {false, false, RgbToColor(0xFF, 0, 0), RgbToColor(0, 0, 0xFF)},
      {true, false, RgbToColor(0xFF, 0xC2, 0x66), RgbToColor(0xDA, 0xFA, 0x5A)},
      {false, true, 0, 0},
  };
  for (const auto& c : cases) {
    TTrendChart chart;
    MakeBare(chart, 400, 300);
    chart.SetSoftColors(c.soft);
    chart.SetMonochrome(c.mono);
    chart.BeginUpdate();
    for (int i = 0; i < 15; ++i) {
      TTrendSeries* s = chart.AddSeries(skLine);
      s->AddXY(0, i);
      s->AddXY(1, i);
    }
    chart.EndUpdate();
    const auto ops = SeriesOps(Paint(chart));
    ASSERT_EQ(ops.size(), 15u);
    EXPECT_EQ(ops[0].pen.Color, c.first);
    EXPECT_EQ(ops[1].pen.Color, c.second);
    EXPECT_EQ(ops[14].pen.Color, ops[0].pen.Color);
    EXPECT_EQ(ops[0].brush, (TBrush{0xFFFFFF, TBrushStyle::Solid, -1}));
  }
}

TEST(Paint, BarsFirstThenOtherSeries) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* line = chart.AddSeries(skLine);
  TTrendSeries* bar = chart.AddSeries(skBar);
  line->AddXY(1, 1);
  line->AddXY(2, 2);
  bar->AddXY(1, 0.5);
  bar->AddXY(2, 1.5);
  const auto ops = SeriesOps(Paint(chart));
  ASSERT_EQ(ops.size(), 3u);
  EXPECT_EQ(ops[0].kind, Kind::Rectangle);
  EXPECT_EQ(ops[0].rect, bar->Values()[0].Rc);
  EXPECT_EQ(ops[1].rect, bar->Values()[1].Rc);
  // The bar keeps its list position's colour although it is drawn first.
  EXPECT_EQ(ops[0].pen.Color, NormalColor(1));
  EXPECT_EQ(ops[0].brush, (TBrush{NormalColor(1), TBrushStyle::Solid, -1}));
  EXPECT_EQ(ops[2].kind, Kind::Polyline);
  EXPECT_EQ(ops[2].pen.Color, NormalColor(0));
  EXPECT_EQ(ops[2].points, (std::vector<TPoint>{{line->Values()[0].Px, line->Values()[0].Py},
                                                {line->Values()[1].Px, line->Values()[1].Py}}));
}

TEST(Paint, MonochromeBarsDifferByPattern) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  chart.SetMonochrome(true);
  chart.BeginUpdate();
  for (int i = 0; i < 17; ++i)
    chart.AddSeries(skBar)->AddXY(1, i + 1);
  chart.EndUpdate();
  const auto ops = SeriesOps(Paint(chart));
  ASSERT_EQ(ops.size(), 17u);
  for (size_t i = 0; i < 17; ++i) {
    EXPECT_EQ(ops[i].pen.Color + ops[i].brush.Color, 0u) << i;  // black on white
    EXPECT_EQ(ops[i].brush.Pattern, static_cast<int>(i % 16)) << i;
  }
  for (int i = 0; i < 16; ++i) {
    for (int j = i + 1; j < 16; ++j)
      EXPECT_NE(MonochromePattern(i), MonochromePattern(j));
  }
}

TEST(Paint, LegendBoxShadowTextAndMarks) {
  TTrendChart chart;
  chart.SetShowTitle(false);
  chart.SetClientSize(400, 300);
  TTrendSeries* line = chart.AddSeries(skLine);
  TTrendSeries* bar = chart.AddSeries(skBar);
  line->SetCaption("Input\nvoltage");
  bar->SetCaption("Cell 1");
  line->AddXY(1, 1);
  bar->AddXY(1, 2);
  const TRect R = chart.RcLegend();
  const RecordingCanvas canvas = Paint(chart);

  const auto fills = canvas.OfKind(Kind::FillRect);
  ASSERT_EQ(fills.size(), 3u);
  EXPECT_EQ(fills[1].rect, (TRect{R.Right, R.Top + 3, R.Right + 3, R.Bottom + 3}));
  EXPECT_EQ(fills[2].rect, (TRect{R.Left + 3, R.Bottom, R.Right + 3, R.Bottom + 3}));
  EXPECT_EQ(fills[1].brush.Color, 0u);
  const auto rects = canvas.OfKind(Kind::Rectangle);
  ASSERT_FALSE(rects.empty());
  EXPECT_EQ(rects[0].rect, R);
  EXPECT_EQ(rects[0].brush.Style, TBrushStyle::Clear);

  const int dy = (20 - 13) / 2;
  EXPECT_EQ(canvas.FindText("Input")->points[0], (TPoint{R.Left + 32, R.Top + 10 + dy}));
  EXPECT_EQ(canvas.FindText("voltage")->points[0], (TPoint{R.Left + 32, R.Top + 10 + dy + 13}));
  EXPECT_EQ(canvas.FindText("Cell 1")->points[0],
            (TPoint{R.Left + 32, R.Top + bar->LegendTop() + dy}));

  const int x = R.Left + 10;
  const auto* lineMark = canvas.FindLine({x, R.Top + 10 + 10}, {x + 20, R.Top + 10 + 10});
  ASSERT_NE(lineMark, nullptr);
  EXPECT_EQ(lineMark->pen.Color, NormalColor(0));
  const int y = R.Top + bar->LegendTop();
  const TRect mark{x + 2, y + 2, x + 18, y + 18};
  const auto barMark =
      std::find_if(rects.begin(), rects.end(), [&](const auto& op) { return op.rect == mark; });
  ASSERT_NE(barMark, rects.end());
  EXPECT_EQ(barMark->brush.Color, NormalColor(1));
}

TEST(Paint, SeriesWithoutLengthGetsAMarker) {
  const struct {
    TSeriesKind kind;
    std::vector<double> ys;
  } cases[] = {{skLine, {2}}, {skSmooth, {2}}, {skLine, {2, 2}}};
  for (const auto& c : cases) {
    TTrendChart chart;
    MakeBare(chart, 400, 280);
    chart.AddSeries(skLine)->AddXY(0, 1);  // gives the axes a range
    TTrendSeries* s = chart.AddSeries(c.kind);
    for (double y : c.ys)
      s->AddXY(0, y);
    const TXYInfo& p = s->Values()[0];
    const auto ops = SeriesOps(Paint(chart));
    ASSERT_EQ(ops.size(), 2u);
    EXPECT_EQ(ops[1].kind, Kind::Rectangle);
    EXPECT_EQ(ops[1].rect, (TRect{p.Px - 2, p.Py - 2, p.Px + 3, p.Py + 3}));
    EXPECT_EQ(ops[1].brush, (TBrush{NormalColor(1), TBrushStyle::Solid, -1}));
  }
}

TEST(Paint, NothingInsideAPlotWithoutHeight) {
  for (int height : {80, 60}) {  // plot 0 and -20 px high
    TTrendChart chart;
    MakeBare(chart, 400, height);
    TTrendSeries* s = chart.AddSeries(skSmooth);
    s->AddXY(0, 1);
    s->AddXY(10, 3);
    ASSERT_LE(chart.RcChart().Height(), 0);
    EXPECT_TRUE(chart.YAxis().empty()) << height;
    const RecordingCanvas canvas = Paint(chart);
    EXPECT_EQ(canvas.OfKind(Kind::Text).size() + canvas.OfKind(Kind::TextUp).size(), 2u)
        << "axis titles only, " << height;
    EXPECT_TRUE(SeriesOps(canvas).empty()) << height;
    EXPECT_EQ(canvas.OfKind(Kind::Line).size(), 2u) << "the axes only, " << height;
  }
}

TEST(Paint, ClearedSmoothSeriesDrawsNoCurve) {
  TTrendChart chart;
  MakeBare(chart, 400, 280);
  TTrendSeries* s = chart.AddSeries(skSmooth);
  s->AddXY(0, 1);
  s->AddXY(10, 3);
  s->Clear();
  EXPECT_TRUE(SeriesOps(Paint(chart)).empty());
}

}  // namespace
}  // namespace korvane::chart
