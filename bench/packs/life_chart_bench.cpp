// SPDX-License-Identifier: GPL-3.0-or-later
// bench-packs-chart: a pack's life chart with 2,000 runs over three years (charges and
// discharges by turns, an IR estimate on each, the rated capacity), laid out, its markers placed
// and painted through QtCanvas into a 1000 x 500 image, offscreen: the median of 41 redraws.
// Set KORVANE_BENCH_DUMP to a folder to save the picture.

#include "korvane/chart/palette.h"
#include "korvane/chart/qt_canvas.h"
#include "korvane/chart/review_plot.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "system_bench.h"

namespace {

using korvane::bench::Median;
using korvane::bench::MonotonicMs;
using korvane::bench::PrintFigure;
using namespace korvane::chart;
using korvane::RgbToColor;
using korvane::TColor;

constexpr int kRuns = 2'000;
constexpr int kRepeats = 41;
constexpr int kWidth = 1000;
constexpr int kHeight = 500;
constexpr double kFirstMs = 1.6e12;
constexpr double kRunEveryMs = 13.0 * 3600 * 1000;  // 2,000 runs in about three years

ReviewTrace Trace(const char* name, TColor color, ReviewSide side) {
  ReviewTrace trace;
  trace.name = name;
  trace.unit = side == ReviewSide::kLeft ? "mAh" : "mOhm";
  trace.color = color;
  trace.side = side;
  return trace;
}

// The traces the life chart makes of one pack: a capacity fading from 2,200 mAh with some
// scatter, and an IR rising from 12 mOhm.
ReviewTraceSet LifeOfAPack() {
  ReviewTraceSet set;
  set.leftTitle = "Capacity [mAh]";
  set.rightTitle = "IR [mOhm]";
  ReviewTrace charges = Trace("Bench 4S charge", kOkabeItoBluishGreen, ReviewSide::kLeft);
  ReviewTrace discharges = Trace("Bench 4S discharge", kOkabeItoReddishPurple, ReviewSide::kLeft);
  ReviewTrace ir = Trace("Bench 4S IR", kOkabeItoOrange, ReviewSide::kRight);
  ir.joined = true;
  ir.decimals = 1;
  unsigned seed = 7;
  const auto noise = [&seed] {
    seed = seed * 1103515245u + 12345u;
    return static_cast<double>((seed >> 16) % 2001) / 1000.0 - 1.0;
  };
  for (int r = 0; r < kRuns; ++r) {
    const double x = kFirstMs + r * kRunEveryMs;
    const double age = static_cast<double>(r) / kRuns;
    ReviewTrace& capacity = r % 2 == 0 ? charges : discharges;
    capacity.xs.push_back(x);
    capacity.ys.push_back(2200 * (1 - 0.25 * age) + 30 * noise() - (r % 2) * 40);
    capacity.keys.push_back(r + 1);
    ir.xs.push_back(x);
    ir.ys.push_back(12 + 9 * age * age + 0.6 * noise());
    ir.keys.push_back(r + 1);
  }
  set.traces = {charges, discharges, ir};
  set.levels.push_back(
      {"Bench 4S rated", 2200, RgbToColor(0x50, 0x50, 0x50), TPenStyle::Dash, ReviewSide::kLeft});
  return set;
}

}  // namespace

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
    qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  ReviewPlot plot;
  ReviewPlotStyle style;
  style.timeAxis = ReviewTimeAxis::kCalendar;
  plot.SetStyle(style);
  plot.SetTraces(LifeOfAPack());
  QtTextMetrics metrics;
  QImage image(kWidth, kHeight, QImage::Format_RGB32);
  std::vector<double> times;
  for (int i = 0; i < kRepeats; ++i) {
    const double start = MonotonicMs();
    // A changed size lays out again and places every marker anew: all of a redraw.
    plot.Resize(kWidth - i % 2, kHeight, metrics);
    QPainter painter(&image);
    QtCanvas canvas(painter);
    plot.Paint(canvas, metrics);
    times.push_back(MonotonicMs() - start);
  }
  if (const char* folder = std::getenv("KORVANE_BENCH_DUMP"))
    image.save(QString("%1/bench-packs-life-chart.png").arg(folder));
  PrintFigure("pack_life_chart_ms", Median(times), 2);
  return 0;
}
