// SPDX-License-Identifier: GPL-3.0-or-later
// Per-frame costs of the model: decoding a frame into the history, and the refresh that follows
// it at a full history with all nine series charted (labels, chart rebuild, layout and paint).

#include <benchmark/benchmark.h>

#include "korvane/chart/canvas.h"
#include "korvane/chart/trend_chart.h"

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include "korvane/model/export_file.h"
#include "korvane/model/hardware_data.h"

namespace {

using namespace korvane;
using namespace korvane::model;

std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// A charge in progress on both channels, its values drifting with `seq`.
std::string ChargePayload(unsigned seq) {
  std::string p = "00";
  for (unsigned k = 0; k < 2; ++k) {
    const auto wave = static_cast<unsigned>(200 * (1 + std::sin(seq * 0.01 + k)));
    p += Hex(12000, 4) + "01" + "04" + "03" + Hex(16000 + wave, 4) + Hex(3000, 4) +
         Hex(seq / 4, 4) + Hex(250 + wave / 10, 4) + "01" + "00";
    for (unsigned cell = 0; cell < 7; ++cell) {
      p += Hex(3900 + wave + cell * 7, 4);
    }
  }
  return p;
}

class NullView : public LiveView {
 public:
  void ShowLiveValues(const LiveValues& values) override {
    benchmark::DoNotOptimize(values.CurrentTime.data());
  }
};

class NullChart : public ChartSink {
 public:
  void CreateLineSeries(int) override {}
  void BeginUpdate() override {}
  void EndUpdate() override {}
  void ClearSeries(int) override {}
  void AddPoint(int, double, double) override {}
};

// Counts the drawing calls so that the paint pass is not optimised away.
class CountingCanvas : public chart::Canvas {
 public:
  void SetPen(const chart::TPen&) override { ++calls; }
  void SetBrush(const chart::TBrush&) override { ++calls; }
  void SetFont(const chart::TFont&) override { ++calls; }
  void FillRect(const chart::TRect&) override { ++calls; }
  void Rectangle(const chart::TRect&) override { ++calls; }
  void Line(int, int, int, int) override { ++calls; }
  void Polyline(std::span<const chart::TPoint> points) override { calls += points.size(); }
  void TextOut(int, int, std::string_view) override { ++calls; }
  void TextOutUp(int, int, std::string_view) override { ++calls; }
  void DrawTextCentered(const chart::TRect&, std::string_view) override { ++calls; }
  std::size_t calls = 0;
};

void BM_DecodeAndAppend(benchmark::State& state) {
  NullView view;
  NullChart chart;
  THardwareData model(view, chart, 1, 511);
  std::vector<std::string> payloads;
  for (unsigned seq = 0; seq < 4000; ++seq) {
    payloads.push_back(ChargePayload(seq));
  }
  for (const std::string& p : payloads) {
    model.Decode(p);  // full history: every measured decode also evicts
  }
  std::size_t i = 0;
  for (auto _ : state) {
    model.Decode(payloads[i++ % payloads.size()]);
  }
}
BENCHMARK(BM_DecodeAndAppend)->Repetitions(5)->ReportAggregatesOnly(true);

void BM_RefreshDisplayFullHistoryNineSeries(benchmark::State& state) {
  NullView view;
  chart::TTrendChart chart;
  chart.SetClientSize(900, 420);
  chart.SetAxisYScale(1000);
  THardwareData model(view, chart, 1, 511);
  for (unsigned seq = 0; seq < kHistoryCapacity; ++seq) {
    model.Decode(ChargePayload(seq));
  }
  CountingCanvas canvas;
  for (auto _ : state) {
    model.RefreshDisplay();
    chart.InternalPaint(canvas);
  }
  benchmark::DoNotOptimize(canvas.calls);
  state.counters["points"] = static_cast<double>(chart.Series(0)->Count() * 9);
}
BENCHMARK(BM_RefreshDisplayFullHistoryNineSeries)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

void BM_ExportTextFullHistory(benchmark::State& state) {
  NullView view;
  NullChart chart;
  THardwareData model(view, chart, 1, 511);
  for (unsigned seq = 0; seq < kHistoryCapacity; ++seq) {
    model.Decode(ChargePayload(seq));
  }
  const std::vector<S_HARDWARE_DATA> records = model.CopyHistory();
  for (auto _ : state) {
    benchmark::DoNotOptimize(ExportText(records).size());
  }
}
BENCHMARK(BM_ExportTextFullHistory)
    ->Unit(benchmark::kMillisecond)
    ->Repetitions(5)
    ->ReportAggregatesOnly(true);

}  // namespace

BENCHMARK_MAIN();
