// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/record/run_tracker.h"

#include <algorithm>
#include <string>
#include <utility>

#include "korvane/model/vocabulary.h"

namespace korvane::record {
namespace {

constexpr std::uint8_t kModeIdle = 0;
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

int CellsInUse(const model::S_CHANNEL_DATA& data) {
  return static_cast<int>(std::count_if(data.CellVoltage.begin(), data.CellVoltage.end(),
                                        [](std::uint16_t mv) { return mv != 0; }));
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

    if (ch.idle && record.UtcMs - ch.idle_since_ms >= kIdleEndMs) {
      ended.push_back(End(ch));
    }
    if (ch.open && !ch.idle && record.UtcMs - ch.open->last_ms > kSilenceEndMs) {
      ended.push_back(End(ch));
    }
    if (mode == kModeIdle) {
      if (ch.open) {
        if (!ch.idle) {
          ch.idle = ch.open;
          ch.idle_since_ms = record.UtcMs;
        }
        Update(*ch.idle, frame_id, record.UtcMs, data);
      }
      // A rest for the next step; a frame that does not drive completes none.
      ch.resistance.Add(record.UtcMs, data);
      continue;
    }
    if (ch.open && BeginsAnew(ch, new_run_mark, data)) {
      ended.push_back(End(ch));
    }
    if (ch.idle) {
      // Too short to be a stop: the held frames belong to the run after all.
      ch.open = std::move(ch.idle);
      ch.idle.reset();
    }
    if (!ch.open && IsDrive(mode)) {
      Begin(ch, k, frame_id, record.UtcMs, data);
    }
    const bool stepped = ch.resistance.Add(record.UtcMs, data);
    if (!ch.open) {
      continue;
    }
    if (stepped) {
      ch.open->run.ir_mohm = ch.resistance.PackMohm();
      ch.open->run.cell_ir_mohm = ch.resistance.CellMohm();
    }
    // Every other mode (pause, store, unknown) stays in the run without ending it: the charger
    // reports finished or error before it idles, and a stray code must not cut a run.
    Update(*ch.open, frame_id, record.UtcMs, data);
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
      current.push_back(ch.open->run);
    }
  }
  ended.insert(ended.end(), std::make_move_iterator(current.begin()),
               std::make_move_iterator(current.end()));
  return ended;
}

std::vector<RunSummary> RunTracker::ExpireSilent(std::int64_t now_ms) {
  std::vector<RunSummary> ended;
  for (Channel& ch : channels_) {
    if (ch.idle ? now_ms - ch.idle_since_ms >= kIdleEndMs
                : ch.open && now_ms - ch.open->last_ms > kSilenceEndMs) {
      ended.push_back(End(ch));
    }
  }
  return ended;
}

std::vector<RunSummary> RunTracker::StopAll() {
  std::vector<RunSummary> ended;
  for (Channel& ch : channels_) {
    if (ch.open) {
      ended.push_back(End(ch));
    }
  }
  return ended;
}

std::optional<RunSummary> RunTracker::Open(int channel_index) const {
  const Channel& ch = channels_.at(static_cast<std::size_t>(channel_index));
  return ch.open ? std::optional<RunSummary>(ch.open->run) : std::nullopt;
}

void RunTracker::SetId(int channel_index, std::int64_t id) {
  Channel& ch = channels_.at(static_cast<std::size_t>(channel_index));
  for (std::optional<OpenRun>* open : {&ch.open, &ch.idle}) {
    if (*open) {
      (*open)->run.id = id;
    }
  }
}

// In the same mode with no delay since the last drive frame, a counter that starts again or
// another pack is a new charge; after a delay the cycle program restarts the counter itself.
bool RunTracker::BeginsAnew(const Channel& ch, bool new_run_mark,
                            const model::S_CHANNEL_DATA& data) {
  if (ch.delay_since_drive) {
    return false;
  }
  if (new_run_mark) {
    return true;
  }
  if (!IsDrive(data.OperationMode)) {
    return false;
  }
  const int before = ch.open->drive_mah;
  const int now = data.OutputCapacity;
  return (now * 2 < before && before - now >= kCapacityRestartMah) ||
         CellsInUse(data) != ch.open->drive_cells;
}

void RunTracker::Begin(Channel& ch, int channel_index, std::int64_t frame_id, std::int64_t utc_ms,
                       const model::S_CHANNEL_DATA& data) {
  OpenRun open;
  open.run.channel = channel_index + 1;
  open.run.start_ms = utc_ms;
  open.run.end_ms = utc_ms;
  open.run.first_frame = frame_id;
  open.run.first_output_mv = data.OutputVoltage;
  open.run.peak_temperature = SignedTemperature(data);
  ch.open = std::move(open);
  ch.idle.reset();
  ch.delay_since_drive = false;
  ch.resistance.BeginRun();
}

void RunTracker::Update(OpenRun& open, std::int64_t frame_id, std::int64_t utc_ms,
                        const model::S_CHANNEL_DATA& data) {
  RunSummary& run = open.run;
  const std::uint64_t power_uw =
      std::uint64_t{data.OutputVoltage} * std::uint64_t{data.OutputCurrent};
  if (run.frames > 0) {
    // A gap over the limit, or a wall clock stepped back, adds no energy.
    const std::int64_t dt_ms = utc_ms - open.last_ms;
    if (dt_ms > 0 && dt_ms <= kEnergyGapMs) {
      open.twice_energy_uw_ms +=
          static_cast<double>(open.last_power_uw + power_uw) * static_cast<double>(dt_ms);
    }
  }
  open.last_ms = utc_ms;
  open.last_power_uw = power_uw;

  if (IsDrive(data.OperationMode)) {
    run.kind |= KindBit(data.OperationMode);
    (data.OperationMode == kModeCharge ? run.charged_mah : run.discharged_mah) =
        data.OutputCapacity;
    open.drive_mah = data.OutputCapacity;
    open.drive_cells = CellsInUse(data);
  }
  // A wall clock stepped back must not make the run end before it began.
  run.end_ms = std::max(run.end_ms, utc_ms);
  run.last_frame = frame_id;
  ++run.frames;
  run.capacity_mah = data.OutputCapacity;
  run.energy_wh = open.twice_energy_uw_ms / kTwiceUwMsPerWh;
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

RunSummary RunTracker::End(Channel& ch) {
  return ch.idle ? End(ch, EndState::kStopped, "Stopped")
                 : End(ch, EndState::kInterrupted, "Interrupted");
}

RunSummary RunTracker::End(Channel& ch, EndState state, std::string text) {
  RunSummary run = std::move(ch.open->run);
  ch.open.reset();
  ch.idle.reset();
  run.end_state = state;
  run.end_text = std::move(text);
  return run;
}

}  // namespace korvane::record
