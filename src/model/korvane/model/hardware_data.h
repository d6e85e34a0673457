// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <atomic>
#include <cstddef>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "korvane/model/chart_sink.h"
#include "korvane/model/date_time.h"
#include "korvane/model/history.h"
#include "korvane/model/live_view.h"
#include "korvane/model/record.h"
#include "korvane/model/record_sink.h"
#include "korvane/model/telemetry_sink.h"

namespace korvane::chart {
class TTrendChart;
}  // namespace korvane::chart

namespace korvane::model {

// Chart series in creation order; bit n of the chart mask selects series n.
enum ChartSeries : int {
  kSeriesInputVoltage = 0,
  kSeriesOutputVoltage = 1,
  kSeriesCellVoltage1 = 2,  // cells 1 to 7 follow in order
  kChartSeriesCount = 9,
};

// The telemetry model: decodes frames into a bounded history, tracks charge and discharge runs
// per channel, fills the live view and the chart for the shown channel, and exports the history.
// Decode runs on the acquisition thread; everything else on the UI thread. One lock guards the
// history, the run state and the chart start indexes; it is never held while calling the view.
class THardwareData final : public TelemetrySink {
 public:
  using Clock = std::function<TimeStamp()>;

  // `channel` is the charger channel shown (1 or 2; other values are taken as the nearer one).
  // Creates the chart's nine line series.
  THardwareData(LiveView& view, ChartSink& chart, int channel, unsigned chart_values_mask,
                Clock clock = CurrentTimeStamp);
  // Feeds the window's trend chart, which must outlive the model.
  THardwareData(LiveView& view, chart::TTrendChart& chart, int channel, unsigned chart_values_mask,
                Clock clock = CurrentTimeStamp);
  ~THardwareData() override;

  THardwareData(const THardwareData&) = delete;
  THardwareData& operator=(const THardwareData&) = delete;

  void Decode(std::string_view payload) override;
  // Before the first frame: the placeholders, and the chart is left alone. Otherwise the labels
  // of the shown channel and a chart rebuild; a rebuild failure is raised after the labels.
  void RefreshDisplay() override;

  // Shows charger channel `channel` (1 or 2) and refreshes.
  void UpdateDisplay(int channel);
  // Failures of the chart rebuild are swallowed in these two.
  void SetChartValuesMask(unsigned mask);
  // Restarts the shown channel's chart at the newest entry; the history keeps every entry.
  void ResetChart();

  // Writes the whole history, both channels, as tab-separated text. The file is replaced only
  // once the new one is complete; on failure throws std::runtime_error naming file and reason.
  void ExportData(const std::string& file_name);

  // Every decoded record is handed on to `sink` (nullptr: none). The sink must outlive the
  // model or be replaced before it goes.
  void SetRecordSink(RecordSink* sink) { record_sink_.store(sink); }

  bool HasData() const { return has_data_.load(); }
  int ChannelIndex() const { return channel_index_.load(); }
  unsigned ChartValuesMask() const;
  std::size_t ChartStartIndex(int channel_index) const;
  TimeStamp StartTime(int channel_index) const;
  std::size_t HistorySize() const;
  std::vector<S_HARDWARE_DATA> CopyHistory() const;
  std::optional<S_HARDWARE_DATA> LastRecord() const;

 private:
  // All of these expect `mutex_` held.
  void Append(const S_HARDWARE_DATA& record, const TimeStamp& now);
  void AppendToHistory(const S_HARDWARE_DATA& record, std::array<bool, kChannelCount> new_run);
  void RebuildChart();
  void RebuildChartQuietly();
  LiveValues BuildLiveValues(int k) const;

  LiveView& view_;
  std::unique_ptr<ChartSink> owned_chart_;
  ChartSink& chart_;
  const Clock clock_;
  std::atomic<int> channel_index_;
  std::atomic<bool> has_data_{false};
  std::atomic<RecordSink*> record_sink_{nullptr};

  mutable std::mutex mutex_;
  THistory history_;
  unsigned chart_values_mask_;
  std::array<std::uint8_t, kChannelCount> last_charge_mode_{};
  std::array<TimeStamp, kChannelCount> start_time_{};
  std::array<std::size_t, kChannelCount> chart_start_index_{};
};

}  // namespace korvane::model
