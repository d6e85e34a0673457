// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <random>
#include <string_view>

#include "korvane/sim/channel_models.h"
#include "korvane/sim/frame_encoder.h"

namespace korvane::sim {

enum class ScenarioKind {
  kChargeDischarge,  // channel 1 CC-CV charge, channel 2 discharge (the default)
  kIdle,             // both channels not operating
  kError,            // channel 1 `error_code`, channel 2 NO BATT
  kSequence,         // channel 1 idle, then charge; channel 2 NO BATT, then discharge
};

// Accepted names: "charge-discharge", "idle", "error", "sequence".
std::optional<ScenarioKind> ScenarioFromName(std::string_view name);
std::string_view ScenarioName(ScenarioKind kind);

struct ScenarioOptions {
  std::uint64_t seed = 1;
  double seconds_per_frame = 1.0;  // simulated time between two records
  bool fahrenheit = false;         // the charger's temperature unit setting
  std::uint8_t frame_code = 0;
  double ambient_c = 22.0;
  ChargeParams charge{};
  DischargeParams discharge{};
  std::uint8_t error_code = code::kErrorBatteryTempLow;  // shown at -5.5 degC, others at ambient
  double sequence_lead_s = 20;  // how long the first state of the sequence lasts
};

// Produces one record per simulated time step. Deterministic for a given seed and options.
class Scenario {
 public:
  Scenario(std::array<std::unique_ptr<ChannelModel>, 2> channels, std::mt19937_64 rng,
           const ScenarioOptions& options);

  ChargerRecord Next();
  double ElapsedS() const { return elapsed_s_; }

 private:
  std::array<std::unique_ptr<ChannelModel>, 2> channels_;
  std::mt19937_64 rng_;
  ScenarioOptions options_;
  double elapsed_s_ = 0;
};

std::unique_ptr<Scenario> MakeScenario(ScenarioKind kind, const ScenarioOptions& options);

// Writes a Celsius temperature into the state's magnitude, sign and unit fields.
void SetTemperature(ChannelState& state, double celsius, bool fahrenheit);

}  // namespace korvane::sim
