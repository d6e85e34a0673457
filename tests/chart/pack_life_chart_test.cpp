// SPDX-License-Identifier: GPL-3.0-or-later
// The packs' life chart as the Packs window uses it: packs and runs in, a run id out.

#include "korvane/chart/palette.h"
#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/review_plot_widget.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <vector>

#include "packs/pack_life_chart.h"
#include "recording_canvas.h"

namespace korvane::ui {
namespace {

using chart::test::RecordingCanvas;

constexpr std::int64_t kDayMs = 24 * 3600 * 1000;
constexpr std::int64_t kT0 = 1'700'000'000'000;

record::PackFigures Pack(std::int64_t id, const char* name, int rated) {
  record::PackFigures f;
  f.pack.id = id;
  f.pack.name = name;
  f.pack.rated_mah = rated;
  return f;
}

record::RunSummary MakeRun(std::int64_t id, std::int64_t pack, int kind, int day, int mah,
                           record::EndState end = record::EndState::kFinished) {
  record::RunSummary run;
  run.id = id;
  run.pack_id = pack;
  run.kind = kind;
  run.start_ms = kT0 + day * kDayMs;
  run.end_ms = run.start_ms + 3600'000;
  run.end_state = end;
  (kind == record::kRunCharge ? run.charged_mah : run.discharged_mah) = mah;
  run.ir_mohm = 12.0 + day / 10.0;
  return run;
}

// Centres of the markers (squares and polygons) drawn in a colour inside the plot area, left to
// right.
std::vector<QPoint> Markers(chart::ReviewPlotWidget& widget, TColor color) {
  RecordingCanvas canvas;
  chart::QtTextMetrics metrics;
  widget.Plot().Paint(canvas, metrics);
  std::vector<std::pair<int, QPoint>> centres;
  for (const auto& op : canvas.ops) {
    QRect box;
    if (op.kind == RecordingCanvas::Kind::Polyline && op.points.size() >= 3) {
      for (const chart::TPoint& p : op.points)
        box |= QRect(p.X, p.Y, 1, 1);
    } else if (op.kind == RecordingCanvas::Kind::Rectangle && op.rect.Width() < 10) {
      box = QRect(op.rect.Left, op.rect.Top, op.rect.Width(), op.rect.Height());
    }
    const QPoint centre = box.center();
    if (op.pen.Color == color && !box.isEmpty() &&
        widget.Plot().PlotArea().Contains(centre.x(), centre.y()))
      centres.emplace_back(centre.x(), centre);
  }
  std::sort(centres.begin(), centres.end(), [](auto& a, auto& b) { return a.first < b.first; });
  std::vector<QPoint> points;
  for (const auto& c : centres)
    points.push_back(c.second);
  return points;
}

TEST(PackLifeChart, ADoubleClickedPointOpensItsRunOfTheGivenPacksFinishedRuns) {
  PackLifeChart chart;
  chart.resize(700, 400);
  chart.show();
  using record::kRunCharge;
  using record::kRunDischarge;
  chart.SetPacks({Pack(1, "Blue", 2200), Pack(2, "Red", 1500)},
                 {MakeRun(12, 1, kRunDischarge, 10, 1900), MakeRun(11, 1, kRunCharge, 0, 2000),
                  MakeRun(13, 1, kRunCharge, 15, 0, record::EndState::kInterrupted),
                  MakeRun(21, 2, kRunDischarge, 5, 1400), MakeRun(31, 3, kRunDischarge, 7, 900)});
  auto* plot = chart.findChild<chart::ReviewPlotWidget*>();
  ASSERT_NE(plot, nullptr);
  plot->resize(700, 400);

  // The interrupted charge has no capacity point; run 31 belongs to a pack not shown.
  EXPECT_EQ(Markers(*plot, chart::kOkabeItoBluishGreen).size(), 1u);
  const std::vector<QPoint> discharges = Markers(*plot, chart::kOkabeItoReddishPurple);
  ASSERT_EQ(discharges.size(), 2u);

  QSignalSpy activated(&chart, &PackLifeChart::RunActivated);
  QTest::mouseDClick(plot, Qt::LeftButton, {}, discharges[0]);
  QTest::mouseDClick(plot, Qt::LeftButton, {}, discharges[1] + QPoint(2, -2));
  // Far from any point: the whole span again, no run.
  QTest::mouseDClick(plot, Qt::LeftButton, {}, QPoint(discharges[0].x(), plot->height() - 30));
  ASSERT_EQ(activated.size(), 2);
  EXPECT_EQ(activated[0][0].toLongLong(), 21);
  EXPECT_EQ(activated[1][0].toLongLong(), 12);
}

}  // namespace
}  // namespace korvane::ui
