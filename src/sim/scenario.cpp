// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/scenario.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace korvane::sim {
namespace {

constexpr std::array<std::pair<std::string_view, ScenarioKind>, 4> kNames{{
    {"charge-discharge", ScenarioKind::kChargeDischarge},
    {"idle", ScenarioKind::kIdle},
    {"error", ScenarioKind::kError},
    {"sequence", ScenarioKind::kSequence},
}};

constexpr double kColdErrorC = -5.5;

// Runs `first` for `lead_s` simulated seconds, then `second` for ever.
class Sequence final : public ChannelModel {
 public:
  Sequence(std::unique_ptr<ChannelModel> first, double lead_s, std::unique_ptr<ChannelModel> second)
      : first_(std::move(first)), lead_s_(lead_s), second_(std::move(second)) {}

  ChannelSample Step(double dt_s, std::mt19937_64& rng) override {
    if (elapsed_s_ < lead_s_) {
      elapsed_s_ += dt_s;
      return first_->Step(dt_s, rng);
    }
    return second_->Step(dt_s, rng);
  }

 private:
  std::unique_ptr<ChannelModel> first_;
  double lead_s_;
  std::unique_ptr<ChannelModel> second_;
  double elapsed_s_ = 0;
};

}  // namespace

std::optional<ScenarioKind> ScenarioFromName(std::string_view name) {
  for (const auto& [text, kind] : kNames) {
    if (text == name) {
      return kind;
    }
  }
  return std::nullopt;
}

std::string_view ScenarioName(ScenarioKind kind) {
  for (const auto& [text, k] : kNames) {
    if (k == kind) {
      return text;
    }
  }
  return {};
}

void SetTemperature(ChannelState& state, double celsius, bool fahrenheit) {
  const double value = fahrenheit ? celsius * 9 / 5 + 32 : celsius;
  const long tenths = std::lround(std::fabs(value) * 10);
  state.temp_tenths = static_cast<std::uint16_t>(std::min(tenths, 65535L));
  state.temp_sign = value < 0 && tenths != 0 ? 0 : 1;
  state.temp_unit = fahrenheit ? 1 : 0;
}

Scenario::Scenario(std::array<std::unique_ptr<ChannelModel>, 2> channels, std::mt19937_64 rng,
                   const ScenarioOptions& options)
    : channels_(std::move(channels)), rng_(std::move(rng)), options_(options) {}

ChargerRecord Scenario::Next() {
  ChargerRecord record;
  record.frame_code = options_.frame_code;
  for (std::size_t k = 0; k < channels_.size(); ++k) {
    ChannelSample sample = channels_[k]->Step(options_.seconds_per_frame, rng_);
    SetTemperature(sample.state, sample.temperature_c, options_.fahrenheit);
    record.channels[k] = sample.state;
  }
  elapsed_s_ += options_.seconds_per_frame;
  return record;
}

std::unique_ptr<Scenario> MakeScenario(ScenarioKind kind, const ScenarioOptions& options) {
  std::mt19937_64 rng(options.seed);
  ChargeParams charge = options.charge;
  charge.pack.ambient_c = options.ambient_c;
  DischargeParams discharge = options.discharge;
  discharge.pack.ambient_c = options.ambient_c;
  std::array<std::unique_ptr<ChannelModel>, 2> channels;
  switch (kind) {
    case ScenarioKind::kChargeDischarge:
      channels = {MakeCcCvCharge(charge, rng), MakeDischarge(discharge, rng)};
      break;
    case ScenarioKind::kIdle:
      channels = {MakeIdle(options.ambient_c), MakeIdle(options.ambient_c)};
      break;
    case ScenarioKind::kError: {
      const bool cold = options.error_code == code::kErrorBatteryTempLow;
      channels = {MakeError(options.error_code, cold ? kColdErrorC : options.ambient_c),
                  MakeError(code::kErrorNoBattery, options.ambient_c)};
      break;
    }
    case ScenarioKind::kSequence:
      channels = {
          std::make_unique<Sequence>(MakeIdle(options.ambient_c), options.sequence_lead_s,
                                     MakeCcCvCharge(charge, rng)),
          std::make_unique<Sequence>(MakeError(code::kErrorNoBattery, options.ambient_c),
                                     options.sequence_lead_s, MakeDischarge(discharge, rng))};
      break;
  }
  return std::make_unique<Scenario>(std::move(channels), std::move(rng), options);
}

}  // namespace korvane::sim
