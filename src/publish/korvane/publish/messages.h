// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::publish {

// UTC milliseconds as ISO 8601 with milliseconds: "2026-12-09T11:48:34.123Z".
std::string IsoUtc(std::int64_t utc_ms);

// The telemetry message of one stored frame: "seq" (the frame's id), "store" (the identity of
// the file it is in: a replaced file numbers its frames anew), "time" and per channel mode and
// status texts, cycle, voltages [V], current [A], capacity [Ah], temperature with its unit and
// the seven cells [V], all numbers as numbers.
std::string TelemetryJson(const record::StoredFrame& frame, const std::string& store_identity);

// The run message: the run's id, "store" as above (left out when empty), channel, kind, state
// and its summary in units.
std::string RunJson(const record::RunSummary& run, const std::string& store_identity = "");

}  // namespace korvane::publish
