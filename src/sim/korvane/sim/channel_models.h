// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <memory>
#include <random>

#include "korvane/sim/battery.h"
#include "korvane/sim/frame_encoder.h"

namespace korvane::sim {

// Operation mode codes, and the status codes this simulator uses with them.
namespace code {
inline constexpr std::uint8_t kModeNotOperating = 0;
inline constexpr std::uint8_t kModeCharge = 1;
inline constexpr std::uint8_t kModeDischarge = 2;
inline constexpr std::uint8_t kModeFinished = 5;
inline constexpr std::uint8_t kModeError = 6;

inline constexpr std::uint8_t kChargeCcCv = 4;
inline constexpr std::uint8_t kDischargeNormal = 1;
inline constexpr std::uint8_t kFinishedCcCv = 2;
inline constexpr std::uint8_t kFinishedCutoff = 3;
inline constexpr std::uint8_t kErrorNoBattery = 1;
inline constexpr std::uint8_t kErrorBatteryTempLow = 8;
inline constexpr std::uint8_t kErrorBatteryTempHigh = 9;
}  // namespace code

// One channel's report; the temperature is kept in degrees Celsius until the scenario encodes
// it in the unit the charger is set to.
struct ChannelSample {
  ChannelState state;  // temperature fields left for the scenario
  double temperature_c = 22.0;
};

class ChannelModel {
 public:
  virtual ~ChannelModel() = default;
  // The report for the current simulated time; then the channel runs for `dt_s` seconds.
  virtual ChannelSample Step(double dt_s, std::mt19937_64& rng) = 0;
};

// How a program starts, as a charger does: it first measures the pack at zero current for
// rest_s, then raises the current to the set value over ramp_s (soft start).
struct StartParams {
  double rest_s = 2;
  double ramp_s = 3;
};

struct ChargeParams {
  PackSpec pack{};
  double current_ma = 2200;  // constant-current phase
  double cell_limit_mv = 4200;
  double end_current_ma = 220;  // the constant-voltage phase ends below this
  StartParams start{};
};

// CC-CV charge (mode 1, status CC-CV): after the start, constant current until the pack reaches
// cells x limit, then that voltage held with a tapering current, then finished (mode 5, status
// CC-CV) at rest.
std::unique_ptr<ChannelModel> MakeCcCvCharge(const ChargeParams& params, std::mt19937_64& rng);

struct DischargeParams {
  PackSpec pack{.cells = 3, .capacity_mah = 1500, .start_soc = 0.95, .ambient_c = 22.0};
  double current_ma = 1000;
  double cell_cutoff_mv = 3000;
  StartParams start{};
};

// Constant-current discharge (mode 2, status NORMAL) after the start, until the loaded pack voltage
// falls to cells x cut-off, then finished (mode 5, status CUTOFF DIS) with the voltage recovering.
std::unique_ptr<ChannelModel> MakeDischarge(const DischargeParams& params, std::mt19937_64& rng);

// Not operating (mode 0): no battery, outputs at zero.
std::unique_ptr<ChannelModel> MakeIdle(double ambient_c);

// Error (mode 6) with `error_code` as status, outputs at zero, temperature held.
std::unique_ptr<ChannelModel> MakeError(std::uint8_t error_code, double temperature_c);

}  // namespace korvane::sim
