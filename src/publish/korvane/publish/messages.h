// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

#include "korvane/record/run.h"
#include "korvane/record/store.h"

namespace korvane::publish {

// UTC milliseconds as ISO 8601 with milliseconds: "2026-12-09T11:48:34.123Z".
std::string IsoUtc(std::int64_t utc_ms);

// The name of the pack of each channel's run at a frame (index 0: channel 1); empty for none.
using ChannelPacks = std::array<std::string_view, model::kChannelCount>;

// The telemetry message of one stored frame: "seq" (the frame's id), "store" (the identity of
// the file it is in: a replaced file numbers its frames anew), "time" and per channel mode and
// status texts, cycle, voltages [V], current [A], capacity [Ah], temperature with its unit, the
// seven cells [V] and "pack" (null for none), all numbers as numbers.
std::string TelemetryJson(const record::StoredFrame& frame, const std::string& store_identity,
                          const ChannelPacks& packs = {});

// The run message: the run's id, "store" as above (left out when empty), channel, kind, state,
// its summary in units, "pack" (its name) and "ir_mohm" (the estimate), each null when none.
std::string RunJson(const record::RunSummary& run, const std::string& store_identity = "");

}  // namespace korvane::publish
