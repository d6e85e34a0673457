// SPDX-License-Identifier: GPL-3.0-or-later
// The chart's per-frame job: nine line series of 3600 points each are cleared and refilled inside
// one update bracket, laid out and painted into a 769 x 225 image. The same job is done with Qt
// Charts (QLineSeries::replace, scene rendered into an image of the same size) for comparison.
// Set KORVANE_BENCH_DUMP to a folder to save one picture of each.

#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/trend_chart.h"

#include <benchmark/benchmark.h>

#include <QApplication>
#include <QGraphicsScene>
#include <QImage>
#include <QPainter>
#include <QtCharts/QChart>
#include <QtCharts/QLineSeries>
#include <QtCharts/QValueAxis>
#include <cmath>
#include <cstdio>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace {

using korvane::chart::QtCanvas;
using korvane::chart::QtTextMetrics;
using korvane::chart::TTrendChart;

constexpr int kSeries = 9;
constexpr int kPoints = 3600;
constexpr int kWidth = 769;
constexpr int kHeight = 225;

const char* const kCaptions[kSeries] = {"Input voltage", "Output voltage", "Cell 1",
                                        "Cell 2",        "Cell 3",         "Cell 4",
                                        "Cell 5",        "Cell 6",         "Cell 7"};

// A CC-CV charge as the charger reports it: seconds against millivolts, with ADC noise.
struct History {
  std::vector<double> x;
  std::vector<std::vector<double>> y;
  double minY = 1e300;
  double maxY = -1e300;
};

const History& TheHistory() {
  static const History history = [] {
    History h;
    h.y.resize(kSeries);
    unsigned seed = 12345;
    auto noise = [&seed] {
      seed = seed * 1103515245u + 12345u;
      return static_cast<double>((seed >> 16) % 7) - 3.0;
    };
    for (int i = 0; i < kPoints; ++i) {
      const double t = i;
      h.x.push_back(t);
      const double cell = 3600 + 600 * (1 - std::exp(-t / 900.0));
      for (int k = 0; k < kSeries; ++k) {
        double v = 0;
        if (k == 0) {
          v = 12000 + noise();
        } else if (k == 1) {
          v = 7 * cell + noise();
        } else {
          v = cell + (k - 4) * 3 + noise();
        }
        h.y[static_cast<size_t>(k)].push_back(v);
        h.minY = std::min(h.minY, v);
        h.maxY = std::max(h.maxY, v);
      }
    }
    return h;
  }();
  return history;
}

class OurChart {
 public:
  OurChart() : image_(kWidth, kHeight, QImage::Format_RGB32) {
    chart_.SetTextMetrics(std::make_unique<QtTextMetrics>());
    chart_.SetAxisYScale(1000);
    chart_.SetClientSize(kWidth, kHeight);
    for (const char* caption : kCaptions)
      chart_.AddSeries(korvane::chart::skLine)->SetCaption(caption);
  }

  void Refresh() {
    const History& h = TheHistory();
    chart_.BeginUpdate();
    for (int k = 0; k < kSeries; ++k) {
      korvane::chart::TTrendSeries* s = chart_.GetSeries(k);
      s->Clear();
      const std::vector<double>& ys = h.y[static_cast<size_t>(k)];
      for (int i = 0; i < kPoints; ++i)
        s->AddXY(h.x[static_cast<size_t>(i)], ys[static_cast<size_t>(i)]);
    }
    chart_.EndUpdate();
    QPainter painter(&image_);
    QtCanvas canvas(painter);
    chart_.InternalPaint(canvas);
  }

  const QImage& Image() const { return image_; }

 private:
  TTrendChart chart_;
  QImage image_;
};

class QtChartsChart {
 public:
  QtChartsChart() : image_(kWidth, kHeight, QImage::Format_RGB32) {
    chart_ = new QChart;  // owned by the scene
    chart_->setTitle("Chart Title");
    for (const char* caption : kCaptions) {
      auto* s = new QLineSeries;
      s->setName(caption);
      chart_->addSeries(s);
      series_.push_back(s);
    }
    axisX_ = new QValueAxis;
    axisY_ = new QValueAxis;
    chart_->addAxis(axisX_, Qt::AlignBottom);
    chart_->addAxis(axisY_, Qt::AlignLeft);
    for (QLineSeries* s : series_) {
      s->attachAxis(axisX_);
      s->attachAxis(axisY_);
    }
    scene_.addItem(chart_);
    chart_->setGeometry(0, 0, kWidth, kHeight);
    const History& h = TheHistory();
    points_.resize(kSeries);
    for (int k = 0; k < kSeries; ++k) {
      for (int i = 0; i < kPoints; ++i) {
        points_[static_cast<size_t>(k)].append(QPointF(
            h.x[static_cast<size_t>(i)], h.y[static_cast<size_t>(k)][static_cast<size_t>(i)]));
      }
    }
    QCoreApplication::processEvents();
  }

  void Refresh() {
    const History& h = TheHistory();
    for (int k = 0; k < kSeries; ++k)
      series_[static_cast<size_t>(k)]->replace(points_[static_cast<size_t>(k)]);
    axisX_->setRange(h.x.front(), h.x.back());
    axisY_->setRange(h.minY, h.maxY);
    QCoreApplication::sendPostedEvents();
    QPainter painter(&image_);
    scene_.render(&painter, QRectF(0, 0, kWidth, kHeight), QRectF(0, 0, kWidth, kHeight));
  }

  const QImage& Image() const { return image_; }

 private:
  QGraphicsScene scene_;
  QChart* chart_;
  QValueAxis* axisX_;
  QValueAxis* axisY_;
  std::vector<QLineSeries*> series_;
  std::vector<QList<QPointF>> points_;
  QImage image_;
};

void BM_KorvaneChartRefresh(benchmark::State& state) {
  OurChart chart;
  for (auto _ : state) {
    chart.Refresh();
    benchmark::DoNotOptimize(chart.Image().constBits());
  }
}

void BM_QtChartsRefresh(benchmark::State& state) {
  QtChartsChart chart;
  for (auto _ : state) {
    chart.Refresh();
    benchmark::DoNotOptimize(chart.Image().constBits());
  }
}

BENCHMARK(BM_KorvaneChartRefresh)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);
BENCHMARK(BM_QtChartsRefresh)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(7)
    ->ReportAggregatesOnly(true);

// Console output as usual, plus the median real time of each benchmark.
class MedianReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    for (const Run& run : runs) {
      if (run.aggregate_name == "median") {
        medians[run.run_name.function_name] = run.GetAdjustedRealTime();  // in the run's unit
      }
    }
    ConsoleReporter::ReportRuns(runs);
  }
  std::map<std::string, double> medians;
};

void Dump(const char* folder) {
  OurChart ours;
  ours.Refresh();
  ours.Image().save(QString("%1/bench-chart-ours.png").arg(folder));
  QtChartsChart theirs;
  theirs.Refresh();
  theirs.Image().save(QString("%1/bench-chart-qtcharts.png").arg(folder));
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

  const auto ours = reporter.medians.find("BM_KorvaneChartRefresh");
  const auto theirs = reporter.medians.find("BM_QtChartsRefresh");
  if (ours == reporter.medians.end() || theirs == reporter.medians.end())
    return 0;
  std::printf("chart_refresh_ms_median: %.3f\n", ours->second);
  std::printf("qtcharts_refresh_ms_median: %.3f\n", theirs->second);
  std::printf("chart_refresh_share_of_1s_frame_percent: %.3f\n", ours->second / 10.0);
  std::printf("chart_refresh_vs_qtcharts_ratio: %.3f\n", ours->second / theirs->second);
  return 0;
}
