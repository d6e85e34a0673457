// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <numeric>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/model/chart_sink.h"
#include "korvane/model/date_time.h"
#include "korvane/model/live_view.h"
#include "korvane/model/record.h"

namespace korvane::model::testing {

inline std::string Hex(unsigned value, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*X", digits, value);
  return text;
}

// The payload a charger sends for `record`, fields in wire order.
inline std::string EncodePayload(const S_HARDWARE_DATA& record) {
  std::string p = Hex(record.FrameCode, 2);
  for (const S_CHANNEL_DATA& c : record.Channels) {
    p += Hex(c.InputVoltage, 4) + Hex(c.OperationMode, 2) + Hex(c.OperationStatus, 2) +
         Hex(c.CycleNumber, 2) + Hex(c.OutputVoltage, 4) + Hex(c.OutputCurrent, 4) +
         Hex(c.OutputCapacity, 4) + Hex(c.Temperature, 4) + Hex(c.TemperatureSign, 2) +
         Hex(c.TemperatureUnit, 2);
    for (std::uint16_t cell : c.CellVoltage) {
      p += Hex(cell, 4);
    }
  }
  return p;
}

// A payload with the given modes; input voltage `seq`, output voltage 10000 + `seq`, and cell
// n of channel k at 1000 * n + 100 * k.
inline std::string ModePayload(int mode1, int mode2, unsigned seq = 0) {
  S_HARDWARE_DATA r;
  for (std::size_t k = 0; k < kChannelCount; ++k) {
    S_CHANNEL_DATA& c = r.Channels[k];
    c.OperationMode = static_cast<std::uint8_t>(k == 0 ? mode1 : mode2);
    c.InputVoltage = static_cast<std::uint16_t>(seq);
    c.OutputVoltage = static_cast<std::uint16_t>(10000 + seq);
    for (std::size_t cell = 0; cell < kCellCount; ++cell) {
      c.CellVoltage[cell] = static_cast<std::uint16_t>(1000 * (cell + 1) + k * 100);
    }
  }
  return EncodePayload(r);
}

// Sets the C locale for one scope; the tests otherwise run in the "C" locale.
struct ScopedLocale {
  explicit ScopedLocale(const char* name) : ok(std::setlocale(LC_ALL, name) != nullptr) {}
  ~ScopedLocale() { std::setlocale(LC_ALL, "C"); }
  bool Ok() const { return ok; }
  bool ok;
};

// A clock the test sets by hand; starts at 8 December 2026 10:00:00 UTC, local = UTC.
struct ManualClock {
  TimeStamp now{EncodeDateTime({2026, 12, 8, 10, 0, 0, 0}), 1'796'724'000'000};
  void AdvanceMs(std::int64_t ms) {
    now.UtcMs += ms;
    now.Local += static_cast<double>(ms) / 86'400'000.0;
  }
};

struct FakeView : LiveView {
  void ShowLiveValues(const LiveValues& values) override { shown.push_back(values); }
  const LiveValues& Last() const { return shown.back(); }
  std::vector<LiveValues> shown;
};

struct Point {
  double x;
  double y;
  bool operator==(const Point&) const = default;
};

// Records what the model does to the chart; fails once `fail_after` points were added.
struct FakeChart : ChartSink {
  void CreateLineSeries(int count) override { series.assign(static_cast<std::size_t>(count), {}); }
  void BeginUpdate() override { ++depth; }
  void EndUpdate() override { --depth; }
  void ClearSeries(int s) override { series.at(static_cast<std::size_t>(s)).clear(); }
  void AddPoint(int s, double x, double y) override {
    if (fail_after >= 0 && points_added++ >= fail_after) {
      throw std::runtime_error("chart failure");
    }
    series.at(static_cast<std::size_t>(s)).push_back({x, y});
  }
  std::size_t TotalPoints() const {
    return std::accumulate(series.begin(), series.end(), std::size_t{0},
                           [](std::size_t n, const auto& s) { return n + s.size(); });
  }

  std::vector<std::vector<Point>> series;
  int depth = 0;
  int fail_after = -1;
  int points_added = 0;
};

}  // namespace korvane::model::testing
