// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/channel_models.h"

#include <algorithm>
#include <cmath>

namespace korvane::sim {
namespace {

constexpr double kSupplyMv = 12000;
constexpr double kSupplySagOhm = 0.03;

std::uint16_t ToU16(double value) {
  return static_cast<std::uint16_t>(std::clamp(std::lround(value), 0L, 65535L));
}

int Jitter(std::mt19937_64& rng, int span) {
  return std::uniform_int_distribution<int>(-span, span)(rng);
}

double InputMv(double load_ma, std::mt19937_64& rng) {
  return kSupplyMv - load_ma * kSupplySagOhm + Jitter(rng, 8);
}

// The share of the set current driven in the step that begins `elapsed_s` into the program.
double StartShare(const StartParams& start, double elapsed_s, double dt_s) {
  if (elapsed_s < start.rest_s) {
    return 0;
  }
  return start.ramp_s <= 0 ? 1 : std::min(1.0, (elapsed_s - start.rest_s + dt_s) / start.ramp_s);
}

// Fills the cell voltages from the pack; the cell monitor reads to about a millivolt.
void FillCells(ChannelState& state, const LiIonPack& pack, double current_ma,
               std::mt19937_64& rng) {
  for (int i = 0; i < pack.Cells(); ++i) {
    state.cells_mv[static_cast<std::size_t>(i)] =
        ToU16(pack.CellMv(i, current_ma) + Jitter(rng, 1));
  }
}

class CcCvCharge final : public ChannelModel {
 public:
  CcCvCharge(const ChargeParams& params, std::mt19937_64& rng)
      : params_(params), pack_(params.pack, rng) {}

  ChannelSample Step(double dt_s, std::mt19937_64& rng) override {
    const double limit_mv = params_.cell_limit_mv * pack_.Cells();
    double current_ma = 0;
    const double share = StartShare(params_.start, elapsed_s_, dt_s);
    elapsed_s_ += dt_s;
    if (phase_ != Phase::kFinished && share > 0) {
      const double held_ma = pack_.CurrentForTerminalMv(limit_mv);
      current_ma = std::min(params_.current_ma * share, held_ma);
      if (held_ma < params_.current_ma) {
        phase_ = Phase::kConstantVoltage;
      }
      if (phase_ == Phase::kConstantVoltage && held_ma < params_.end_current_ma) {
        phase_ = Phase::kFinished;
        current_ma = 0;
      }
    }
    ChannelSample sample;
    ChannelState& s = sample.state;
    const bool finished = phase_ == Phase::kFinished;
    s.mode = finished ? code::kModeFinished : code::kModeCharge;
    s.status = finished ? code::kFinishedCcCv : code::kChargeCcCv;
    s.cycle = 1;
    s.input_mv = ToU16(InputMv(current_ma, rng));
    s.output_mv = ToU16(std::min(limit_mv, pack_.TerminalMv(current_ma)));
    s.current_ma = ToU16(current_ma);
    s.capacity_mah = ToU16(pack_.ChargedMah());
    FillCells(s, pack_, current_ma, rng);
    sample.temperature_c = pack_.TemperatureC();
    pack_.Advance(current_ma, dt_s);
    return sample;
  }

 private:
  enum class Phase { kConstantCurrent, kConstantVoltage, kFinished };

  ChargeParams params_;
  LiIonPack pack_;
  Phase phase_ = Phase::kConstantCurrent;
  double elapsed_s_ = 0;
};

class Discharge final : public ChannelModel {
 public:
  Discharge(const DischargeParams& params, std::mt19937_64& rng)
      : params_(params), pack_(params.pack, rng) {}

  ChannelSample Step(double dt_s, std::mt19937_64& rng) override {
    const double cutoff_mv = params_.cell_cutoff_mv * pack_.Cells();
    if (!finished_ && pack_.TerminalMv(-params_.current_ma) <= cutoff_mv) {
      finished_ = true;
    }
    const double current_ma =
        finished_ ? 0 : params_.current_ma * StartShare(params_.start, elapsed_s_, dt_s);
    elapsed_s_ += dt_s;
    ChannelSample sample;
    ChannelState& s = sample.state;
    s.mode = finished_ ? code::kModeFinished : code::kModeDischarge;
    s.status = finished_ ? code::kFinishedCutoff : code::kDischargeNormal;
    s.cycle = 1;
    s.input_mv = ToU16(InputMv(0, rng));
    s.output_mv = ToU16(pack_.TerminalMv(-current_ma));
    s.current_ma = ToU16(current_ma);
    s.capacity_mah = ToU16(-pack_.ChargedMah());
    FillCells(s, pack_, -current_ma, rng);
    sample.temperature_c = pack_.TemperatureC();
    pack_.Advance(-current_ma, dt_s);
    return sample;
  }

 private:
  DischargeParams params_;
  LiIonPack pack_;
  bool finished_ = false;
  double elapsed_s_ = 0;
};

class Steady final : public ChannelModel {
 public:
  Steady(std::uint8_t mode, std::uint8_t status, double temperature_c)
      : mode_(mode), status_(status), temperature_c_(temperature_c) {}

  ChannelSample Step(double /*dt_s*/, std::mt19937_64& rng) override {
    ChannelSample sample;
    sample.state.mode = mode_;
    sample.state.status = status_;
    sample.state.input_mv = ToU16(InputMv(0, rng));
    sample.temperature_c = temperature_c_;
    return sample;
  }

 private:
  std::uint8_t mode_;
  std::uint8_t status_;
  double temperature_c_;
};

}  // namespace

std::unique_ptr<ChannelModel> MakeCcCvCharge(const ChargeParams& params, std::mt19937_64& rng) {
  return std::make_unique<CcCvCharge>(params, rng);
}

std::unique_ptr<ChannelModel> MakeDischarge(const DischargeParams& params, std::mt19937_64& rng) {
  return std::make_unique<Discharge>(params, rng);
}

std::unique_ptr<ChannelModel> MakeIdle(double ambient_c) {
  return std::make_unique<Steady>(code::kModeNotOperating, 0, ambient_c);
}

std::unique_ptr<ChannelModel> MakeError(std::uint8_t error_code, double temperature_c) {
  return std::make_unique<Steady>(code::kModeError, error_code, temperature_c);
}

}  // namespace korvane::sim
