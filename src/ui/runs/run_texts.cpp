// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/run_texts.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include "korvane/model/date_time.h"
#include "korvane/model/vocabulary.h"

namespace korvane::ui {

const char* RunColumnTitle(RunColumn column) {
  switch (column) {
    case RunColumn::kStart:
      return "Start";
    case RunColumn::kChannel:
      return "Channel";
    case RunColumn::kPack:
      return "Pack";
    case RunColumn::kKind:
      return "Kind";
    case RunColumn::kDuration:
      return "Duration";
    case RunColumn::kCapacity:
      return "Capacity [Ah]";
    case RunColumn::kEnergy:
      return "Energy [Wh]";
    case RunColumn::kIr:
      return "IR [mOhm]";
    case RunColumn::kPeakTemperature:
      return "Peak temperature";
    case RunColumn::kEndState:
      return "End state";
  }
  return "";
}

std::string RunCellText(const record::RunSummary& run, RunColumn column) {
  switch (column) {
    case RunColumn::kStart:
      return LocalDateTimeText(run.start_ms);
    case RunColumn::kChannel:
      return std::to_string(run.channel);
    case RunColumn::kPack:
      return run.pack_name;
    case RunColumn::kKind:
      return RunKindText(run.kind);
    case RunColumn::kDuration:
      return model::OperatingTimeText(run.DurationMs());
    case RunColumn::kCapacity:
      return model::FormatMilli(run.capacity_mah);
    case RunColumn::kEnergy:
      return FixedText(run.energy_wh, 3);
    case RunColumn::kIr:
      return run.ir_mohm ? FixedText(*run.ir_mohm, 1) : "";
    case RunColumn::kPeakTemperature:
      return TemperatureText(run.peak_temperature, run.temperature_unit);
    case RunColumn::kEndState:
      return run.end_text;
  }
  return "";
}

RunSortKey RunCellSortKey(const record::RunSummary& run, RunColumn column) {
  switch (column) {
    case RunColumn::kStart:
      return static_cast<double>(run.start_ms);
    case RunColumn::kChannel:
      return static_cast<double>(run.channel);
    case RunColumn::kPack:
      return run.pack_name;
    case RunColumn::kKind:
      return RunKindText(run.kind);
    case RunColumn::kDuration:
      return static_cast<double>(run.DurationMs());
    case RunColumn::kCapacity:
      return static_cast<double>(run.capacity_mah);
    case RunColumn::kEnergy:
      return run.energy_wh;
    case RunColumn::kIr:
      return run.ir_mohm.value_or(std::numeric_limits<double>::lowest());
    case RunColumn::kPeakTemperature:
      // Runs may differ in unit: all compare in degrees Celsius.
      return run.temperature_unit == 1 ? (run.peak_temperature / 10.0 - 32.0) * 5.0 / 9.0
                                       : run.peak_temperature / 10.0;
    case RunColumn::kEndState:
      return run.end_text;
  }
  return 0.0;
}

std::string RunKindText(int kind) {
  std::string word = record::RunKindWord(kind);
  if (!word.empty()) {
    word[0] = static_cast<char>(word[0] - 'a' + 'A');  // the words are lower-case ASCII
  }
  return word;
}

std::string FixedText(double value, int decimals) {
  long long scale = 1;
  for (int i = 0; i < decimals; ++i) {
    scale *= 10;
  }
  const long long scaled = std::llround(std::fabs(value) * static_cast<double>(scale));
  std::string text = scaled != 0 && value < 0 ? "-" : "";
  text += std::to_string(scaled / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % scale);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += model::DecimalSeparator() + fraction;
  }
  return text;
}

std::string TemperatureText(int tenths, int unit) {
  return FixedText(tenths / 10.0, 1) + (unit == 1 ? "\u00B0F" : "\u00B0C");
}

std::string LocalDateTimeText(std::int64_t utc_ms) {
  return model::DateTimeText(model::StampFromUnixMs(utc_ms).Local);
}

std::string RunFileName(const record::RunSummary& run, const std::string& suffix) {
  const model::DateTimeParts day =
      model::DecodeDateTime(model::StampFromUnixMs(run.start_ms).Local);
  char date[16];
  std::snprintf(date, sizeof date, "%04d%02d%02d", day.Year, day.Month, day.Day);
  return "korvane-run-" + std::to_string(run.id) + "-" + date + "." + suffix;
}

std::string RunLabel(const record::RunSummary& run) {
  return LocalDateTimeText(run.start_ms) + " Ch " + std::to_string(run.channel);
}

}  // namespace korvane::ui
