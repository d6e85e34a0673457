#include "korvane/record/run_tracker.h"

#include <algorithm>
#include <string>
#include <utility>

#include "korvane/model/vocabulary.h"

namespace korvane::record {
namespace {

constexpr std::uint8_t kModeCharge = 1;
constexpr std::uint8_t kModeDischarge = 2;
constexpr std::uint8_t kModeDelay = 3;
constexpr std::uint8_t kModeFinished = 5;
constexpr std::uint8_t kModeError = 6;

// uW x ms is nJ; twice the trapezoid area, hence 2 x 3600 x 10^9 per Wh.
constexpr double kTwiceUwMsPerWh = 7.2e12;

bool IsDrive(std::uint8_t mode) {
  return mode == kModeCharge || mode == kModeDischarge;
}

int KindBit(std::uint8_t mode) {
  return mode == kModeCharge ? kRunCharge : kRunDischarge;
}

int SignedTemperature(const model::S_CHANNEL_DATA& data) {
  const int magnitude = data.Temperature;
  return data.TemperatureSign == 0 ? -magnitude : magnitude;
}

}  // namespace

std::vector<RunSummary> RunTracker::Add(std::int64_t frame_id,
                                        const model::S_HARDWARE_DATA& record) {
  std::vector<RunSummary> ended;
  std::vector<RunSummary> current;
  for (int k = 0; k < model::kChannelCount; ++k) {
    Channel& ch = channels_[static_cast<std::size_t>(k)];
    const model::S_CHANNEL_DATA& data = record.Channels[static_cast<std::size_t>(k)];
    const std::uint8_t mode = data.OperationMode;
    const bool new_run_mark = IsDrive(mode) && ch.last_charge_mode != mode;
    if (IsDrive(mode)) {
      ch.last_charge_mode = mode;
    }

    if (ch.run && record.UtcMs - ch.last_ms > kSilenceEndMs) {
      ended.push_back(End(ch, EndState::kInterrupted, "Interrupted"));
    }
    // A switch between charge and discharge after a delay is the cycle program going on.
    if (ch.run && new_run_mark && !ch.delay_since_drive) {
      ended.push_back(End(ch, EndState::kInterrupted, "Interrupted"));
    }
    if (!ch.run) {
      if (!IsDrive(mode)) {
        continue;
      }
      Begin(ch, k, frame_id, record.UtcMs, data);
    }
    // Every other mode (not operating, store, unknown) stays in the run without ending it: the
    // charger reports finished or error before it idles, and a stray code must not cut a run.
    Update(ch, frame_id, record.UtcMs, data);
    if (IsDrive(mode)) {
      ch.delay_since_drive = false;
    } else if (mode == kModeDelay) {
      ch.delay_since_drive = true;
    }

    if (mode == kModeFinished || mode == kModeError) {
      std::string status;
      model::GetModeText(record, k, status);
      ended.push_back(mode == kModeFinished ? End(ch, EndState::kFinished, "Finished: " + status)
                                            : End(ch, EndState::kError, "Error: " + status));
    } else {
      current.push_back(*ch.run);
    }
  }
  ended.insert(ended.end(), std::make_move_iterator(current.begin()),
               std::make_move_iterator(current.end()));
  return ended;
}

std::vector<RunSummary> RunTracker::ExpireSilent(std::int64_t now_ms) {
  std::vector<RunSummary> ended;
  for (Channel& ch : channels_) {
    if (ch.run && now_ms - ch.last_ms > kSilenceEndMs) {
      ended.push_back(End(ch, EndState::kInterrupted, "Interrupted"));
    }
  }
  return ended;
}

std::vector<RunSummary> RunTracker::StopAll() {
  std::vector<RunSummary> ended;
  for (Channel& ch : channels_) {
    if (ch.run) {
      ended.push_back(End(ch, EndState::kInterrupted, "Interrupted"));
    }
  }
  return ended;
}

const std::optional<RunSummary>& RunTracker::Open(int channel_index) const {
  return channels_.at(static_cast<std::size_t>(channel_index)).run;
}

void RunTracker::SetId(int channel_index, std::int64_t id) {
  std::optional<RunSummary>& run = channels_.at(static_cast<std::size_t>(channel_index)).run;
  if (run) {
    run->id = id;
  }
}

void RunTracker::Begin(Channel& ch, int channel_index, std::int64_t frame_id, std::int64_t utc_ms,
                       const model::S_CHANNEL_DATA& data) {
  RunSummary run;
  run.channel = channel_index + 1;
  run.start_ms = utc_ms;
  run.end_ms = utc_ms;
  run.first_frame = frame_id;
  run.first_output_mv = data.OutputVoltage;
  run.peak_temperature = SignedTemperature(data);
  ch.run = std::move(run);
  ch.delay_since_drive = false;
  ch.twice_energy_uw_ms = 0.0;
}

void RunTracker::Update(Channel& ch, std::int64_t frame_id, std::int64_t utc_ms,
                        const model::S_CHANNEL_DATA& data) {
  RunSummary& run = *ch.run;
  const std::uint64_t power_uw =
      std::uint64_t{data.OutputVoltage} * std::uint64_t{data.OutputCurrent};
  if (run.frames > 0) {
    // A gap over the limit, or a wall clock stepped back, adds no energy.
    const std::int64_t dt_ms = utc_ms - ch.last_ms;
    if (dt_ms > 0 && dt_ms <= kEnergyGapMs) {
      ch.twice_energy_uw_ms +=
          static_cast<double>(ch.last_power_uw + power_uw) * static_cast<double>(dt_ms);
    }
  }
  ch.last_ms = utc_ms;
  ch.last_power_uw = power_uw;

  if (IsDrive(data.OperationMode)) {
    run.kind |= KindBit(data.OperationMode);
  }
  // A wall clock stepped back must not make the run end before it began.
  run.end_ms = std::max(run.end_ms, utc_ms);
  run.last_frame = frame_id;
  ++run.frames;
  run.capacity_mah = data.OutputCapacity;
  run.energy_wh = ch.twice_energy_uw_ms / kTwiceUwMsPerWh;
  run.max_current_ma = std::max(run.max_current_ma, data.OutputCurrent);
  run.peak_temperature = std::max(run.peak_temperature, SignedTemperature(data));
  run.temperature_unit = data.TemperatureUnit;
  run.last_output_mv = data.OutputVoltage;

  std::uint16_t low = 0;
  std::uint16_t high = 0;
  int in_use = 0;
  for (const std::uint16_t mv : data.CellVoltage) {
    if (mv == 0) {
      continue;
    }
    low = in_use == 0 ? mv : std::min(low, mv);
    high = std::max(high, mv);
    ++in_use;
  }
  if (in_use > 0) {
    run.min_cell_mv = run.min_cell_mv == 0 ? low : std::min(run.min_cell_mv, low);
    run.max_cell_mv = std::max(run.max_cell_mv, high);
  }
  run.cell_spread_mv = in_use >= 2 ? static_cast<std::uint16_t>(high - low) : std::uint16_t{0};
}

RunSummary RunTracker::End(Channel& ch, EndState state, std::string text) {
  RunSummary run = std::move(*ch.run);
  ch.run.reset();
  run.end_state = state;
  run.end_text = std::move(text);
  return run;
}

}  // namespace korvane::record
