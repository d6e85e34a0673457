// SPDX-License-Identifier: GPL-3.0-or-later
#include <algorithm>
#include <nlohmann/json.hpp>

#include "korvane/model/vocabulary.h"
#include "korvane/web/live_slot.h"

namespace korvane::web {
namespace {

// Keys in the order a reader expects them.
using json = nlohmann::ordered_json;

double Milli(std::int64_t raw) {
  return static_cast<double>(raw) / 1000.0;
}

json Channel(const model::S_HARDWARE_DATA& record, int index, const std::optional<LiveRun>& run) {
  const model::S_CHANNEL_DATA& ch = record.Channels[static_cast<std::size_t>(index)];
  std::string status;
  const std::string mode = model::GetModeText(record, index, status);
  json cells = json::array();
  std::uint16_t low = 0;
  std::uint16_t high = 0;
  for (const std::uint16_t cell : ch.CellVoltage) {
    if (cell == 0) {
      continue;  // not in use
    }
    low = cells.empty() ? cell : std::min(low, cell);
    high = std::max(high, cell);
    cells.push_back(Milli(cell));
  }
  const double temperature = static_cast<double>(ch.Temperature) / 10.0;
  json live_run = nullptr;
  if (run) {
    live_run = {{"id", run->id},
                {"start_utc_ms", run->start_ms},
                {"elapsed_s", std::max<std::int64_t>(0, (record.UtcMs - run->start_ms) / 1000)},
                {"pack", run->pack.empty() ? json(nullptr) : json(run->pack)}};
  }
  return {
      {"channel", index + 1},
      {"mode", mode},
      {"status", status},
      {"cycle", ch.CycleNumber},
      {"input_v", Milli(ch.InputVoltage)},
      {"output_v", Milli(ch.OutputVoltage)},
      {"current_a", Milli(ch.OutputCurrent)},
      {"capacity_mah", ch.OutputCapacity},
      // The sign flag is 0 for a negative temperature; "-0.0" is never sent.
      {"temperature", ch.TemperatureSign == 0 && ch.Temperature != 0 ? -temperature : temperature},
      {"temperature_unit", ch.TemperatureUnit == 1 ? "\u00B0F" : "\u00B0C"},
      {"cells_v", std::move(cells)},
      {"cell_spread_mv", high - low},
      {"run", std::move(live_run)}};
}

}  // namespace

std::string LiveJson(const LiveState& state) {
  json channels = json::array();
  if (state.frame) {
    for (int index = 0; index < model::kChannelCount; ++index) {
      channels.push_back(Channel(*state.frame, index, state.runs[static_cast<std::size_t>(index)]));
    }
  }
  const json message = {{"utc_ms", state.frame ? json(state.frame->UtcMs) : json(nullptr)},
                        {"link", {{"status", state.link.status}, {"detail", state.link.detail}}},
                        {"recording",
                         {{"state", state.recording.state},
                          {"reason", state.recording.reason},
                          {"frames", state.recording.frames},
                          {"lost", state.recording.lost}}},
                        {"channels", std::move(channels)}};
  // A text the charger garbled must not make the state unreadable.
  return message.dump(-1, ' ', false, json::error_handler_t::replace);
}

}  // namespace korvane::web
