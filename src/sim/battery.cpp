// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/sim/battery.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <utility>

namespace korvane::sim {
namespace {

constexpr double kPolarisationOhm = 0.06;
constexpr double kPolarisationTauS = 600;
constexpr double kHeatCapacityJPerK = 120;  // per cell
constexpr double kCoolingWPerK = 0.08;      // per cell

// State of charge -> open-circuit voltage of a typical Li-ion cell.
constexpr std::array<std::pair<double, double>, 12> kOcvCurve{{{0.00, 3000},
                                                               {0.05, 3450},
                                                               {0.10, 3580},
                                                               {0.20, 3680},
                                                               {0.30, 3740},
                                                               {0.40, 3790},
                                                               {0.50, 3840},
                                                               {0.60, 3900},
                                                               {0.70, 3970},
                                                               {0.80, 4050},
                                                               {0.90, 4120},
                                                               {1.00, 4200}}};

}  // namespace

LiIonPack::LiIonPack(const PackSpec& params, std::mt19937_64& rng)
    : ambient_c_(params.ambient_c), temperature_c_(params.ambient_c) {
  std::uniform_real_distribution<double> capacity_spread(0.96, 1.04);
  const double r0_ohm = params.cell_r0_mohm / 1000;
  std::uniform_real_distribution<double> resistance(0.95 * r0_ohm, 1.05 * r0_ohm);
  const int count = std::clamp(params.cells, 1, 7);
  for (int i = 0; i < count; ++i) {
    cells_.push_back(
        Cell{params.capacity_mah * capacity_spread(rng), params.start_soc, resistance(rng)});
  }
}

double LiIonPack::OpenCircuitMv(double soc) {
  if (soc <= kOcvCurve.front().first) {
    return kOcvCurve.front().second + (soc - kOcvCurve.front().first) * 9000;
  }
  for (std::size_t i = 1; i < kOcvCurve.size(); ++i) {
    const auto [s1, v1] = kOcvCurve[i];
    if (soc <= s1) {
      const auto [s0, v0] = kOcvCurve[i - 1];
      return v0 + (v1 - v0) * (soc - s0) / (s1 - s0);
    }
  }
  return kOcvCurve.back().second + (soc - kOcvCurve.back().first) * 1000;
}

double LiIonPack::CellMv(int index, double current_ma) const {
  const Cell& cell = cells_[static_cast<std::size_t>(index)];
  return OpenCircuitMv(cell.soc) + cell.polarisation_mv + current_ma * cell.r0_ohm;
}

double LiIonPack::TerminalMv(double current_ma) const {
  double sum = 0;
  for (int i = 0; i < Cells(); ++i) {
    sum += CellMv(i, current_ma);
  }
  return sum;
}

double LiIonPack::CurrentForTerminalMv(double terminal_mv) const {
  double resting = 0;
  double resistance = 0;
  for (const Cell& cell : cells_) {
    resting += OpenCircuitMv(cell.soc) + cell.polarisation_mv;
    resistance += cell.r0_ohm;
  }
  return (terminal_mv - resting) / resistance;
}

void LiIonPack::Advance(double current_ma, double dt_s) {
  const double decay = std::exp(-dt_s / kPolarisationTauS);
  const double amps = current_ma / 1000;
  double heat_w = 0;
  for (Cell& cell : cells_) {
    const double target_mv = current_ma * kPolarisationOhm;
    cell.polarisation_mv = target_mv + (cell.polarisation_mv - target_mv) * decay;
    cell.soc += current_ma * dt_s / 3600 / cell.capacity_mah;
    heat_w += amps * amps * (cell.r0_ohm + kPolarisationOhm);
  }
  charged_mah_ += current_ma * dt_s / 3600;
  const double cells = static_cast<double>(cells_.size());
  const double tau_s = kHeatCapacityJPerK / kCoolingWPerK;
  const double settled_c = ambient_c_ + heat_w / (kCoolingWPerK * cells);
  temperature_c_ = settled_c + (temperature_c_ - settled_c) * std::exp(-dt_s / tau_s);
}

}  // namespace korvane::sim
