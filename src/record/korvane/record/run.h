// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace korvane::record {

// Which operating modes a run has seen: bit 0 charge, bit 1 discharge (both: a cycle program).
enum RunKindBits : int { kRunCharge = 1, kRunDischarge = 2, kRunBoth = 3 };

// Stored as these numbers. kStopped: the channel stopped operating (the user stopped it at the
// charger) without the charger reporting finished or error.
enum class EndState : int {
  kInProgress = 0,
  kFinished = 1,
  kError = 2,
  kInterrupted = 3,
  kStopped = 4
};

// The one vocabulary of every output (runs listing, stderr, MQTT, notifications, README):
// "charge", "discharge", "cycle" (a program that charged and discharged); "" for no kind.
const char* RunKindWord(int kind);
// "in progress", "finished", "error", "interrupted", "stopped".
const char* EndStateWord(EndState state);

// One recorded run of one charger channel and its summary, kept up to date while it goes on.
// Values are raw as the charger sends them (mV, mA, mAh, tenths of a degree) unless named
// otherwise, so every text and unit can be made again later.
struct RunSummary {
  std::int64_t id = 0;           // the store's id; 0 until the run is first stored
  int channel = 1;               // charger channel, 1 or 2
  int kind = 0;                  // RunKindBits
  std::int64_t start_ms = 0;     // UTC milliseconds of the run's first frame
  std::int64_t end_ms = 0;       // ... and of its last frame so far
  std::int64_t first_frame = 0;  // the store's frame ids of the first and last frame
  std::int64_t last_frame = 0;
  std::int64_t frames = 0;
  std::uint16_t capacity_mah = 0;  // the charger's own counter at the last frame
  double energy_wh = 0.0;          // output voltage x current over time; gaps over 5 s not bridged
  std::uint16_t max_current_ma = 0;
  int peak_temperature = 0;  // signed tenths of a degree
  int temperature_unit = 0;  // 1 Fahrenheit, anything else Celsius (of the last frame)
  std::uint16_t first_output_mv = 0;
  std::uint16_t last_output_mv = 0;
  std::uint16_t min_cell_mv = 0;     // lowest and highest voltage of a cell in use (non-zero)
  std::uint16_t max_cell_mv = 0;     // over the whole run; 0 when no cell was in use
  std::uint16_t cell_spread_mv = 0;  // highest minus lowest cell in use at the last frame
  EndState end_state = EndState::kInProgress;
  // "In progress", "Finished: " + finish text, "Error: " + error text, "Interrupted" (the
  // recording stopped, the charger fell silent or a crash cut it short) or "Stopped".
  std::string end_text = "In progress";
  // The charger's counter at the run's last charge frame and at its last discharge frame; 0 when
  // the run had none. A cycle program's run has both.
  std::uint16_t charged_mah = 0;
  std::uint16_t discharged_mah = 0;
  // Internal resistance in milliohms: the median of the run's rest-to-load steps, for the pack
  // (output voltage) and for each cell in use, in cell order. Empty when no step gave one.
  std::optional<double> ir_mohm{};
  std::vector<double> cell_ir_mohm{};
  // The pack the run belongs to: its id (0: none) and, as read from the store, its name.
  std::int64_t pack_id = 0;
  std::string pack_name{};

  std::int64_t DurationMs() const { return end_ms - start_ms; }
};

}  // namespace korvane::record
