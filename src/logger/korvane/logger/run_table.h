// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "korvane/record/run.h"

namespace korvane::logger {

// The runs listing: tab-separated, one line per run, texts of the current C locale as the
// window writes them; the pack and the IR estimate are empty fields when there are none.
std::string RunTableHeader();
std::string RunTableLine(const record::RunSummary& run);

// A --since value as UTC milliseconds: "2026-12-01" (its midnight), "2026-12-01T18:30",
// "2026-12-01 18:30:00" or "...18:30:00.250", in local time unless the time ends in "Z" or an
// offset ("+01:00", "+0100", "-05"). Nothing when the text is none of these or no such date.
std::optional<std::int64_t> ParseSince(const std::string& text);

// UTC milliseconds as the window writes a local date and time.
std::string LocalTimeText(std::int64_t utc_ms);

// A text as one field of a tab-separated line: tabs and line breaks become spaces.
std::string FieldText(std::string text);

// The run's peak temperature with its unit, like the live view: "25.0°C".
std::string PeakTemperatureText(const record::RunSummary& run);

}  // namespace korvane::logger
