// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/chart/review_plot_widget.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QKeyEvent>
#include <QWheelEvent>
#include <cmath>

// The Runs plot widget on Qt's offscreen platform.
namespace korvane::chart {
namespace {

// An hour, one frame a second: the output voltage a ramp, the current a sine.
ReviewRun HourRun() {
  ReviewRun run;
  run.label = "Hour";
  for (int i = 0; i <= 3600; ++i) {
    run.elapsedMs.push_back(i * 1000.0);
    for (auto& values : run.values)
      values.push_back(std::nan(""));
    run.values[static_cast<int>(ReviewSeries::kOutputVoltage)].back() = 25 + i * 0.001;
    run.values[static_cast<int>(ReviewSeries::kCurrent)].back() = 2 + std::sin(i * 0.01);
  }
  return run;
}

struct PlotWidget {
  ReviewPlotWidget widget;
  int viewChanges = 0;

  PlotWidget() {
    widget.resize(800, 400);
    widget.SetRuns({HourRun()});
    widget.SetShown(ReviewBit(ReviewSeries::kOutputVoltage) | ReviewBit(ReviewSeries::kCurrent));
    QObject::connect(&widget, &ReviewPlotWidget::viewChanged, [this] { ++viewChanges; });
  }
  double TimeAtClient(int x) {
    const ReviewPlot& plot = widget.Plot();
    return plot.View().TimeAt(x - plot.PlotArea().Left);
  }
};

TEST(ReviewPlotWidget, WheelZoomsAroundThePointerAndHomeShowsTheWholeRun) {
  PlotWidget w;
  const TRect area = w.widget.Plot().PlotArea();
  const QPointF at(area.Left + 150, area.Top + 40);
  const double before = w.TimeAtClient(150 + area.Left);

  QWheelEvent wheel(at, w.widget.mapToGlobal(at), QPoint(), QPoint(0, 240), Qt::NoButton,
                    Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&w.widget, &wheel);
  const ReviewView& view = w.widget.Plot().View();
  EXPECT_NEAR(view.End() - view.Start(), 3600000 / 1.5625, 1e-6) << "two steps of 1.25";
  EXPECT_NEAR(w.TimeAtClient(150 + area.Left), before, 1e-6);
  EXPECT_EQ(w.viewChanges, 1);

  QKeyEvent home(QEvent::KeyPress, Qt::Key_Home, Qt::NoModifier);
  QApplication::sendEvent(&w.widget, &home);
  EXPECT_EQ(view.Start(), 0);
  EXPECT_EQ(view.End(), 3600000);
  EXPECT_EQ(w.viewChanges, 2);
}

TEST(ReviewPlotWidget, RenderImageDrawsTheCurvesAtTheSizeAskedAndKeepsTheScreenLayout) {
  PlotWidget w;
  const TRect onScreen = w.widget.Plot().PlotArea();
  const QImage image = w.widget.RenderImage(QSize(1200, 700));
  EXPECT_EQ(image.size(), QSize(1200, 700));
  EXPECT_EQ(w.widget.Plot().PlotArea(), onScreen);

  const TColor c = ReviewSeriesColor(ReviewSeries::kCurrent);
  const QRgb current = qRgb(ColorRed(c), ColorGreen(c), ColorBlue(c));
  int curvePixels = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x)
      curvePixels += image.pixel(x, y) == current;
  }
  EXPECT_GT(curvePixels, 1000);
}

}  // namespace
}  // namespace korvane::chart
