#pragma once

#include <clocale>
#include <cstdint>
#include <cstdio>
#include <mutex>
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

// A payload with the given modes and values that tell the records apart.
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

// Sets the C locale for one test and restores the previous one.
class ScopedLocale {
 public:
  explicit ScopedLocale(const char* name) : previous_(std::setlocale(LC_ALL, nullptr)) {
    ok_ = std::setlocale(LC_ALL, name) != nullptr;
  }
  ~ScopedLocale() { std::setlocale(LC_ALL, previous_.c_str()); }
  ScopedLocale(const ScopedLocale&) = delete;
  ScopedLocale& operator=(const ScopedLocale&) = delete;
  bool Ok() const { return ok_; }

 private:
  std::string previous_;
  bool ok_ = false;
};

// A clock the test moves by hand; starts at 8 December 2026 10:00:00 UTC, local = UTC.
class ManualClock {
 public:
  TimeStamp Now() {
    std::lock_guard guard(mutex_);
    return now_;
  }
  void Set(TimeStamp now) {
    std::lock_guard guard(mutex_);
    now_ = now;
  }
  void AdvanceMs(std::int64_t ms) {
    std::lock_guard guard(mutex_);
    now_.UtcMs += ms;
    now_.Local += static_cast<double>(ms) / 86'400'000.0;
  }

 private:
  std::mutex mutex_;
  TimeStamp now_{EncodeDateTime({2026, 12, 8, 10, 0, 0, 0}), 1'796'724'000'000};
};

class FakeView : public LiveView {
 public:
  void ShowLiveValues(const LiveValues& values) override {
    std::lock_guard guard(mutex_);
    shown.push_back(values);
  }
  LiveValues Last() {
    std::lock_guard guard(mutex_);
    return shown.back();
  }
  std::mutex mutex_;
  std::vector<LiveValues> shown;
};

struct Point {
  double x;
  double y;
  bool operator==(const Point&) const = default;
};

// Records what the model does to the chart; can be told to fail on the n-th point.
class FakeChart : public ChartSink {
 public:
  void CreateLineSeries(int count) override {
    series.assign(static_cast<std::size_t>(count), {});
    ++creations;
  }
  void BeginUpdate() override { ++depth, ++begins; }
  void EndUpdate() override { --depth; }
  void ClearSeries(int s) override { series.at(static_cast<std::size_t>(s)).clear(); }
  void AddPoint(int s, double x, double y) override {
    if (fail_after >= 0 && points_added++ >= fail_after) {
      throw std::runtime_error("chart failure");
    }
    series.at(static_cast<std::size_t>(s)).push_back({x, y});
  }
  std::size_t TotalPoints() const {
    std::size_t n = 0;
    for (const auto& s : series) {
      n += s.size();
    }
    return n;
  }

  std::vector<std::vector<Point>> series;
  int creations = 0;
  int begins = 0;
  int depth = 0;
  int fail_after = -1;
  int points_added = 0;
};

}  // namespace korvane::model::testing
