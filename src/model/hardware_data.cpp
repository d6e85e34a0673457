// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/model/hardware_data.h"

#include <exception>

#include "korvane/model/decoder.h"
#include "korvane/model/export_file.h"
#include "korvane/model/trend_chart_sink.h"
#include "korvane/model/vocabulary.h"

namespace korvane::model {
namespace {

int ToChannelIndex(int channel) {
  return channel >= 2 ? 1 : 0;
}

std::uint16_t ChartedValue(const S_CHANNEL_DATA& ch, int series) {
  switch (series) {
    case kSeriesInputVoltage:
      return ch.InputVoltage;
    case kSeriesOutputVoltage:
      return ch.OutputVoltage;
    default:
      return ch.CellVoltage[static_cast<std::size_t>(series - kSeriesCellVoltage1)];
  }
}

// Leaves the chart's update mode however the rebuild ends.
class UpdateScope {
 public:
  explicit UpdateScope(ChartSink& chart) : chart_(chart) { chart_.BeginUpdate(); }
  ~UpdateScope() {
    try {
      chart_.EndUpdate();
    } catch (...) {
      // A destructor must not throw; the rebuild's own failure, if any, is already on its way.
    }
  }
  UpdateScope(const UpdateScope&) = delete;
  UpdateScope& operator=(const UpdateScope&) = delete;

 private:
  ChartSink& chart_;
};

}  // namespace

THardwareData::THardwareData(LiveView& view, ChartSink& chart, int channel,
                             unsigned chart_values_mask, Clock clock)
    : view_(view),
      chart_(chart),
      clock_(std::move(clock)),
      channel_index_(ToChannelIndex(channel)),
      chart_values_mask_(chart_values_mask) {
  chart_.CreateLineSeries(kChartSeriesCount);
}

THardwareData::THardwareData(LiveView& view, chart::TTrendChart& chart, int channel,
                             unsigned chart_values_mask, Clock clock)
    : view_(view),
      owned_chart_(std::make_unique<TrendChartSink>(chart)),
      chart_(*owned_chart_),
      clock_(std::move(clock)),
      channel_index_(ToChannelIndex(channel)),
      chart_values_mask_(chart_values_mask) {
  chart_.CreateLineSeries(kChartSeriesCount);
}

THardwareData::~THardwareData() = default;

void THardwareData::Decode(std::string_view payload) {
  try {
    S_HARDWARE_DATA record = DecodePayload(payload);
    const TimeStamp now = clock_();
    record.Time = now.Local;
    record.UtcMs = now.UtcMs;

    {
      std::lock_guard guard(mutex_);
      Append(record, now);
    }
    if (RecordSink* sink = record_sink_.load()) {
      sink->Record(record);
    }
  } catch (...) {
    // The acquisition thread must keep running; this frame is lost.
  }
}

void THardwareData::Append(const S_HARDWARE_DATA& record, const TimeStamp& now) {
  std::array<bool, kChannelCount> new_run{};
  for (std::size_t k = 0; k < kChannelCount; ++k) {
    const std::uint8_t mode = record.Channels[k].OperationMode;
    if ((mode == 1 || mode == 2) && last_charge_mode_[k] != mode) {
      new_run[k] = true;
      start_time_[k] = now;
      last_charge_mode_[k] = mode;
    }
    if (start_time_[k].Local == 0.0) {
      start_time_[k] = now;
    }
  }
  has_data_.store(true);
  AppendToHistory(record, new_run);
}

void THardwareData::AppendToHistory(const S_HARDWARE_DATA& record,
                                    std::array<bool, kChannelCount> new_run) {
  if (history_.Size() >= history_.Capacity()) {
    history_.PopFront();
    for (std::size_t& start : chart_start_index_) {
      if (start > 0) {
        --start;
      }
    }
  }
  history_.PushBack(record);
  for (std::size_t k = 0; k < kChannelCount; ++k) {
    if (new_run[k]) {
      chart_start_index_[k] = history_.Size() - 1;
    }
  }
}

void THardwareData::RebuildChart() {
  const auto k = static_cast<std::size_t>(channel_index_.load());
  UpdateScope update(chart_);
  for (int series = 0; series < kChartSeriesCount; ++series) {
    chart_.ClearSeries(series);
  }
  const std::size_t start = chart_start_index_[k];
  for (std::size_t j = start; j < history_.Size(); ++j) {
    const S_CHANNEL_DATA& ch = history_[j].Channels[k];
    const auto x = static_cast<double>(j - start);
    for (int series = 0; series < kChartSeriesCount; ++series) {
      if ((chart_values_mask_ >> series) & 1U) {
        chart_.AddPoint(series, x, ChartedValue(ch, series));
      }
    }
  }
}

void THardwareData::RebuildChartQuietly() {
  try {
    RebuildChart();
  } catch (...) {
    // A chart that cannot be refilled shows less; the model and the lock stay sound.
  }
}

LiveValues THardwareData::BuildLiveValues(int k) const {
  const S_HARDWARE_DATA& last = history_.Back();
  const S_CHANNEL_DATA& ch = last.Channels[static_cast<std::size_t>(k)];
  const TimeStamp& start = start_time_[static_cast<std::size_t>(k)];
  LiveValues v;
  v.CurrentTime = DateTimeText(last.Time);
  v.StartTime = DateTimeText(start.Local);
  v.OperatingTime = OperatingTimeText(last.UtcMs - start.UtcMs);
  v.OperationMode = GetModeText(last, k, v.OperationStatus);
  v.CycleNumber = FormatCycleNumber(last, k);
  v.InputVoltage = FormatMilli(ch.InputVoltage);
  v.OutputVoltage = FormatMilli(ch.OutputVoltage);
  v.OutputCurrent = FormatMilli(ch.OutputCurrent);
  v.OutputCapacity = FormatMilli(ch.OutputCapacity);
  v.Temperature = FormatTemperature(last, k, true);
  for (std::size_t cell = 0; cell < kCellCount; ++cell) {
    v.CellVoltage[cell] = FormatMilli(ch.CellVoltage[cell]);
  }
  return v;
}

void THardwareData::RefreshDisplay() {
  if (!has_data_.load()) {
    view_.ShowLiveValues(PlaceholderLiveValues());
    return;
  }
  LiveValues values = PlaceholderLiveValues();
  std::exception_ptr chart_failure;
  {
    std::lock_guard guard(mutex_);
    if (!history_.Empty()) {
      values = BuildLiveValues(channel_index_.load());
    }
    try {
      RebuildChart();
    } catch (...) {
      chart_failure = std::current_exception();
    }
  }
  view_.ShowLiveValues(values);
  if (chart_failure) {
    std::rethrow_exception(chart_failure);
  }
}

void THardwareData::UpdateDisplay(int channel) {
  channel_index_.store(ToChannelIndex(channel));
  RefreshDisplay();
}

void THardwareData::SetChartValuesMask(unsigned mask) {
  std::lock_guard guard(mutex_);
  chart_values_mask_ = mask;
  RebuildChartQuietly();
}

void THardwareData::ResetChart() {
  std::lock_guard guard(mutex_);
  const auto k = static_cast<std::size_t>(channel_index_.load());
  chart_start_index_[k] = history_.Empty() ? 0 : history_.Size() - 1;
  RebuildChartQuietly();
}

void THardwareData::ExportData(const std::string& file_name) {
  // The copy lets the acquisition thread go on while the disk is written.
  const std::vector<S_HARDWARE_DATA> records = CopyHistory();
  WriteExportFile(file_name, records);
}

unsigned THardwareData::ChartValuesMask() const {
  std::lock_guard guard(mutex_);
  return chart_values_mask_;
}

std::size_t THardwareData::ChartStartIndex(int channel_index) const {
  std::lock_guard guard(mutex_);
  return chart_start_index_.at(static_cast<std::size_t>(channel_index));
}

TimeStamp THardwareData::StartTime(int channel_index) const {
  std::lock_guard guard(mutex_);
  return start_time_.at(static_cast<std::size_t>(channel_index));
}

std::size_t THardwareData::HistorySize() const {
  std::lock_guard guard(mutex_);
  return history_.Size();
}

std::vector<S_HARDWARE_DATA> THardwareData::CopyHistory() const {
  std::lock_guard guard(mutex_);
  return history_.Copy();
}

std::optional<S_HARDWARE_DATA> THardwareData::LastRecord() const {
  std::lock_guard guard(mutex_);
  if (history_.Empty()) {
    return std::nullopt;
  }
  return history_.Back();
}

}  // namespace korvane::model
