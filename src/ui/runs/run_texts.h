// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <variant>

#include "korvane/record/run.h"

namespace korvane::ui {

// The Runs table's columns, in their order on screen.
enum class RunColumn : int {
  kStart,
  kChannel,
  kPack,
  kKind,
  kDuration,
  kCapacity,
  kEnergy,
  kIr,
  kPeakTemperature,
  kEndState,
};
inline constexpr int kRunColumnCount = 10;

// "Start", "Channel", "Pack", "Kind", "Duration", "Capacity [Ah]", "Energy [Wh]", "IR [mOhm]",
// "Peak temperature", "End state".
const char* RunColumnTitle(RunColumn column);

// The text of one cell. Numbers use the decimal separator of the current C locale, dates its
// date and time formats and the process's time zone. A run of no pack, or without a resistance
// estimate, has an empty cell there (never 0).
std::string RunCellText(const record::RunSummary& run, RunColumn column);

// What a column sorts by: the value behind its text (a number for every column but the kind and
// the end state and the pack, whose texts are compared; the peak temperature in degrees Celsius
// whatever its unit; a run without a resistance estimate before every one with one).
using RunSortKey = std::variant<double, std::string>;
RunSortKey RunCellSortKey(const record::RunSummary& run, RunColumn column);

// "Charge", "Discharge", "Cycle" (both), "" (none).
std::string RunKindText(int kind);
// `value` with `decimals` decimals (0..9), rounded half away from zero; "-" in front of a value
// that does not round to zero.
std::string FixedText(double value, int decimals);
// Signed tenths of a degree as "21.5°C", or "°F" for unit 1.
std::string TemperatureText(int tenths, int unit);
// The local date-time text of a UTC instant.
std::string LocalDateTimeText(std::int64_t utc_ms);
// The name a file of the run is offered under: "korvane-run-<id>-<yyyyMMdd>.<suffix>", the date
// the run's local start date.
std::string RunFileName(const record::RunSummary& run, const std::string& suffix);
// The plot's legend text of a run: "<start> Ch <channel>".
std::string RunLabel(const record::RunSummary& run);

}  // namespace korvane::ui
