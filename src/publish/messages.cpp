// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/publish/messages.h"

#include <cmath>
#include <cstdio>
#include <ctime>
#include <nlohmann/json.hpp>

#include "korvane/model/vocabulary.h"

namespace korvane::publish {
namespace {

// Fields in the order a reader expects them, not alphabetical.
using json = nlohmann::ordered_json;

double Milli(std::int64_t raw) {
  return static_cast<double>(raw) / 1000.0;
}

// The sign flag is 0 for a negative temperature; "-0.0" is never sent.
double Temperature(std::uint16_t magnitude, std::uint8_t sign) {
  const double value = static_cast<double>(magnitude) / 10.0;
  return sign == 0 && magnitude != 0 ? -value : value;
}

const char* TemperatureUnit(int unit) {
  return unit == 1 ? "\u00B0F" : "\u00B0C";
}

// A pack's name, or null for none.
json PackName(std::string_view name) {
  return name.empty() ? json(nullptr) : json(std::string(name));
}

json Channel(const model::S_HARDWARE_DATA& record, int index, std::string_view pack) {
  const model::S_CHANNEL_DATA& ch = record.Channels[static_cast<std::size_t>(index)];
  std::string status;
  const std::string mode = model::GetModeText(record, index, status);
  json cells = json::array();
  for (const std::uint16_t cell : ch.CellVoltage) {
    cells.push_back(Milli(cell));
  }
  return {{"channel", index + 1},
          {"mode", mode},
          {"status", status},
          {"cycle", ch.CycleNumber},
          {"input_v", Milli(ch.InputVoltage)},
          {"output_v", Milli(ch.OutputVoltage)},
          {"current_a", Milli(ch.OutputCurrent)},
          {"capacity_ah", Milli(ch.OutputCapacity)},
          {"temperature", Temperature(ch.Temperature, ch.TemperatureSign)},
          {"temperature_unit", TemperatureUnit(ch.TemperatureUnit)},
          {"cells_v", std::move(cells)},
          {"pack", PackName(pack)}};
}

// The id first, then the file it numbers within.
json Numbered(const char* key, std::int64_t id, const std::string& store_identity) {
  json message = {{key, id}};
  if (!store_identity.empty()) {
    message["store"] = store_identity;
  }
  return message;
}

}  // namespace

std::string IsoUtc(std::int64_t utc_ms) {
  const std::int64_t ms = ((utc_ms % 1000) + 1000) % 1000;
  const std::time_t seconds = static_cast<std::time_t>((utc_ms - ms) / 1000);
  std::tm parts{};
  ::gmtime_r(&seconds, &parts);
  char text[40];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &parts);
  char with_ms[48];
  std::snprintf(with_ms, sizeof with_ms, "%s.%03dZ", text, static_cast<int>(ms));
  return with_ms;
}

std::string TelemetryJson(const record::StoredFrame& frame, const std::string& store_identity,
                          const ChannelPacks& packs) {
  json channels = json::array();
  for (int index = 0; index < model::kChannelCount; ++index) {
    channels.push_back(Channel(frame.record, index, packs[static_cast<std::size_t>(index)]));
  }
  json message = Numbered("seq", frame.id, store_identity);
  message.update(json{{"time", IsoUtc(frame.record.UtcMs)}, {"channels", std::move(channels)}});
  return message.dump();
}

std::string RunJson(const record::RunSummary& run, const std::string& store_identity) {
  // To the tenth of a milliohm: a step of 1 mV at 1 A is a whole one.
  const json ir = run.ir_mohm ? json(std::round(*run.ir_mohm * 10.0) / 10.0) : json(nullptr);
  json message = Numbered("run", run.id, store_identity);
  message.update(json{{"channel", run.channel},
                      {"kind", record::RunKindWord(run.kind)},
                      {"state", record::EndStateWord(run.end_state)},
                      {"end_text", run.end_text},
                      {"start", IsoUtc(run.start_ms)},
                      {"end", IsoUtc(run.end_ms)},
                      {"duration_s", static_cast<double>(run.DurationMs()) / 1000.0},
                      {"frames", run.frames},
                      {"first_seq", run.first_frame},
                      {"last_seq", run.last_frame},
                      {"capacity_ah", Milli(run.capacity_mah)},
                      // To the mWh, as the capacity is to the mAh: the rest is noise.
                      {"energy_wh", std::round(run.energy_wh * 1000.0) / 1000.0},
                      {"max_current_a", Milli(run.max_current_ma)},
                      {"peak_temperature", static_cast<double>(run.peak_temperature) / 10.0},
                      {"temperature_unit", TemperatureUnit(run.temperature_unit)},
                      {"first_output_v", Milli(run.first_output_mv)},
                      {"last_output_v", Milli(run.last_output_mv)},
                      {"min_cell_v", Milli(run.min_cell_mv)},
                      {"max_cell_v", Milli(run.max_cell_mv)},
                      {"cell_spread_v", Milli(run.cell_spread_mv)},
                      {"pack", PackName(run.pack_name)},
                      {"ir_mohm", ir}});
  return message.dump();
}

}  // namespace korvane::publish
