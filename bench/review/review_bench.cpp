// SPDX-License-Identifier: GPL-3.0-or-later
// The Runs plot's full redraw: a 24-hour run (86,400 frames, all 12 series) laid out, decimated
// and painted into an 1100 x 500 image through QtCanvas; the same points drawn by Qt Charts
// (QLineSeries::replace, scene rendered into an image of the same size) for comparison; and one
// zoom step with its redraw at a zoomed level. Set KORVANE_BENCH_DUMP to a folder to save one
// picture of each.

#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/review_plot.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>
#include <vector>

namespace {

using korvane::chart::kReviewSeriesCount;
using korvane::chart::OnRightAxis;
using korvane::chart::QtCanvas;
using korvane::chart::QtTextMetrics;
using korvane::chart::ReviewPlot;
using korvane::chart::ReviewRun;
using korvane::chart::ReviewSeries;
using korvane::chart::ReviewSeriesMask;

constexpr int kFrames = 86400;
constexpr int kWidth = 1100;
constexpr int kHeight = 500;
constexpr int kCells = 7;
constexpr ReviewSeriesMask kAllSeries = (ReviewSeriesMask{1} << kReviewSeriesCount) - 1;

// A day of CC-CV charges of a 7-cell Li-ion pack, each followed by a rest, a 3 A discharge and
// another rest, one frame a second, with ADC noise and an occasional spike.
ReviewRun MakeDay() {
  enum class Phase { kCharge, kRestFull, kDischarge, kRestEmpty };
  ReviewRun run;
  run.label = "Bench";
  run.startUtcMs = 1'700'000'000'000;
  for (auto& v : run.values)
    v.reserve(kFrames);
  unsigned seed = 12345;
  const auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 16) % 2001) / 1000.0 - 1.0;  // -1 .. 1
  };
  Phase phase = Phase::kCharge;
  double soc = 0.05;  // state of charge 0 .. 1
  double capacity = 0;
  double temperature = 24;
  int restLeft = 0;
  for (int i = 0; i < kFrames; ++i) {
    run.elapsedMs.push_back(i * 1000.0);
    const double ocv = 3.3 + 0.9 * soc;
    double current = 0;
    switch (phase) {
      case Phase::kCharge: {
        // Constant 5 A until the cells reach 4.2 V, then the current tapers.
        current = std::min(5.0, (4.2 - ocv) / 0.02);
        if (current < 0.25) {
          phase = Phase::kRestFull;
          restLeft = 1800;
          current = 0;
        }
        break;
      }
      case Phase::kRestFull:
      case Phase::kRestEmpty:
        if (--restLeft <= 0) {
          phase = phase == Phase::kRestFull ? Phase::kDischarge : Phase::kCharge;
          capacity = 0;
        }
        break;
      case Phase::kDischarge:
        current = -3;
        if (ocv < 3.45) {
          phase = Phase::kRestEmpty;
          restLeft = 1800;
          current = 0;
        }
        break;
    }
    soc = std::clamp(soc + current / 3600.0 / 5.0, 0.0, 1.0);
    capacity += std::fabs(current) / 3600.0;
    temperature += (24 + 2.0 * std::fabs(current) - temperature) / 900.0;
    const bool spike = i % 997 == 0;
    double pack = 0;
    for (int c = 0; c < kCells; ++c) {
      const double cell = ocv + current * 0.004 + (c - 3) * 0.002 + 0.002 * noise();
      run.values[static_cast<std::size_t>(ReviewSeries::kCell1) + c].push_back(cell);
      pack += cell;
    }
    const auto set = [&run](ReviewSeries s, double v) {
      run.values[static_cast<std::size_t>(s)].push_back(v);
    };
    set(ReviewSeries::kOutputVoltage, pack + 0.01 * noise() + (spike ? 0.4 : 0));
    set(ReviewSeries::kInputVoltage, 15.0 - 0.05 * current + 0.02 * noise());
    set(ReviewSeries::kCurrent, current + 0.01 * noise() + (spike ? 0.8 : 0));
    set(ReviewSeries::kCapacity, capacity);
    set(ReviewSeries::kTemperature, temperature + 0.1 * noise());
  }
  return run;
}

const ReviewRun& TheDay() {
  static const ReviewRun day = MakeDay();
  return day;
}

class OurPlot {
 public:
  OurPlot() : image_(kWidth, kHeight, QImage::Format_RGB32) {
    plot_.SetRuns({TheDay()});
    plot_.SetShown(kAllSeries);
    plot_.Resize(kWidth, kHeight, metrics_);
  }

  // Layout (ranges, ticks, legend), decimation and painting: all of a redraw.
  void Refresh() {
    plot_.Resize(kWidth, kHeight, metrics_);
    Paint();
  }

  void Paint() {
    QPainter painter(&image_);
    QtCanvas canvas(painter);
    plot_.Paint(canvas, metrics_);
  }

  ReviewPlot& Plot() { return plot_; }
  const QImage& Image() const { return image_; }

 private:
  ReviewPlot plot_;
  QtTextMetrics metrics_;
  QImage image_;
};

class QtChartsPlot {
 public:
  QtChartsPlot() : image_(kWidth, kHeight, QImage::Format_RGB32) {
    chart_ = new QChart;  // owned by the scene
    axisX_ = new QValueAxis;
    axisLeft_ = new QValueAxis;
    axisRight_ = new QValueAxis;
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisLeft_, Qt::AlignLeft);
    chart_->addAxis(axisRight_, Qt::AlignRight);
    const ReviewRun& day = TheDay();
    points_.resize(kReviewSeriesCount);
    for (int k = 0; k < kReviewSeriesCount; ++k) {
      const auto s = static_cast<ReviewSeries>(k);
      auto* series = new QLineSeries;
      series->setName(QString::fromUtf8(korvane::chart::ReviewSeriesName(s).data()));
      chart_->addSeries(series);
      series->attachAxis(axisX_);
      series->attachAxis(OnRightAxis(s) ? axisRight_ : axisLeft_);
      series_.push_back(series);
      const std::vector<double>& ys = day.values[static_cast<std::size_t>(k)];
      QList<QPointF>& points = points_[static_cast<std::size_t>(k)];
      for (int i = 0; i < kFrames; ++i) {
        const auto si = static_cast<std::size_t>(i);
        points.append(QPointF(day.elapsedMs[si], ys[si]));
        double& lo = OnRightAxis(s) ? rightLo_ : leftLo_;
        double& hi = OnRightAxis(s) ? rightHi_ : leftHi_;
        lo = std::min(lo, ys[si]);
        hi = std::max(hi, ys[si]);
      }
    }
    scene_.addItem(chart_);
    chart_->setGeometry(0, 0, kWidth, kHeight);
    QCoreApplication::processEvents();
  }

  void Refresh() {
    for (int k = 0; k < kReviewSeriesCount; ++k)
      series_[static_cast<std::size_t>(k)]->replace(points_[static_cast<std::size_t>(k)]);
    axisX_->setRange(0, TheDay().elapsedMs.back());
    axisLeft_->setRange(leftLo_, leftHi_);
    axisRight_->setRange(rightLo_, rightHi_);
    QCoreApplication::sendPostedEvents();
    QPainter painter(&image_);
    scene_.render(&painter, QRectF(0, 0, kWidth, kHeight), QRectF(0, 0, kWidth, kHeight));
  }

  const QImage& Image() const { return image_; }

 private:
  QGraphicsScene scene_;
  QChart* chart_;
  QValueAxis* axisX_;
  QValueAxis* axisLeft_;
  QValueAxis* axisRight_;
  std::vector<QLineSeries*> series_;
  std::vector<QList<QPointF>> points_;
  double leftLo_ = 1e300, leftHi_ = -1e300, rightLo_ = 1e300, rightHi_ = -1e300;
  QImage image_;
};

void BM_ReviewRefresh(benchmark::State& state) {
  OurPlot plot;
  for (auto _ : state) {
    plot.Refresh();
    benchmark::DoNotOptimize(plot.Image().constBits());
  }
}

void BM_QtChartsRefresh(benchmark::State& state) {
  QtChartsPlot plot;
  for (auto _ : state) {
    plot.Refresh();
    benchmark::DoNotOptimize(plot.Image().constBits());
  }
}

// At about two hours in view, zooming in and out by turns keeps the level.
void BM_ReviewZoomStep(benchmark::State& state) {
  OurPlot plot;
  const int x = plot.Plot().PlotArea().Left + plot.Plot().PlotArea().Width() / 3;
  plot.Plot().ZoomAt(x, 12);
  plot.Paint();
  bool in = true;
  for (auto _ : state) {
    plot.Plot().ZoomAt(x, in ? 1.25 : 1 / 1.25);
    in = !in;
    plot.Paint();
    benchmark::DoNotOptimize(plot.Image().constBits());
  }
}

BENCHMARK(BM_ReviewRefresh)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_QtChartsRefresh)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_ReviewZoomStep)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// Console output as usual, plus the median real time of each benchmark.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median")
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();  // in the run's unit
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

void Dump(const char* folder) {
  OurPlot ours;
  ours.Refresh();
  ours.Image().save(QString("%1/bench-review-ours.png").arg(folder));
  const int x = ours.Plot().PlotArea().Left + ours.Plot().PlotArea().Width() / 3;
  ours.Plot().ZoomAt(x, 12);
  ours.Plot().SetHover(korvane::chart::TPoint{x, ours.Plot().PlotArea().Top + 40});
  ours.Paint();
  ours.Image().save(QString("%1/bench-review-zoomed.png").arg(folder));
  QtChartsPlot theirs;
  theirs.Refresh();
  theirs.Image().save(QString("%1/bench-review-qtcharts.png").arg(folder));
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  if (const char* folder = std::getenv("KORVANE_BENCH_DUMP"))
    Dump(folder);

  benchmark::Initialize(&argc, argv);
  MedianReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();

  const auto median = [&reporter](const char* name) {
    const auto it = reporter.medians.find(name);
    return it == reporter.medians.end() ? -1.0 : it->second;
  };
  const double ours = median("BM_ReviewRefresh");
  const double theirs = median("BM_QtChartsRefresh");
  const double zoom = median("BM_ReviewZoomStep");
  std::printf("\n");  // the console reporter leaves a colour reset at the start of the line
  if (ours >= 0)
    std::printf("review_refresh_ms: %.3f\n", ours);
  if (theirs >= 0)
    std::printf("qtcharts_review_refresh_ms: %.3f\n", theirs);
  if (ours >= 0 && theirs > 0)
    std::printf("review_refresh_vs_qtcharts_ratio: %.4f\n", ours / theirs);
  if (zoom >= 0)
    std::printf("review_zoom_step_ms: %.3f\n", zoom);
  return 0;
}
