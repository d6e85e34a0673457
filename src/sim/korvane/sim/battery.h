// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <random>
#include <vector>

namespace korvane::sim {

struct PackSpec {
  int cells = 4;               // 1..7 in series
  double capacity_mah = 2200;  // nominal, per cell
  double start_soc = 0.2;      // state of charge at the start, 0..1
  double ambient_c = 22.0;
  double cell_r0_mohm = 47.5;  // each cell's ohmic resistance, drawn within 5 % of this
};

// A series pack of Li-ion cells. Each cell has an open-circuit voltage that follows its state of
// charge, an ohmic resistance and a polarisation (RC) voltage that builds up under current, so
// that the terminal voltage reaches the charge limit before the cell is full and the current
// tapers during constant-voltage charging. Cells differ slightly in capacity and resistance
// (drawn from the generator), so their voltages drift apart towards the ends of a run. The pack
// warms with I^2*R losses and cools towards ambient.
//
// Currents are in mA, positive when charging; voltages in mV; time in seconds.
class LiIonPack {
 public:
  LiIonPack(const PackSpec& params, std::mt19937_64& rng);

  int Cells() const { return static_cast<int>(cells_.size()); }
  double CellMv(int index, double current_ma) const;
  double TerminalMv(double current_ma) const;
  // The current that puts the terminal at `terminal_mv` (may be negative).
  double CurrentForTerminalMv(double terminal_mv) const;
  double TemperatureC() const { return temperature_c_; }
  double CellR0Mohm(int index) const {
    return cells_[static_cast<std::size_t>(index)].r0_ohm * 1000;
  }
  double ChargedMah() const { return charged_mah_; }  // net charge moved since the start

  void Advance(double current_ma, double dt_s);

  // Open-circuit voltage of a Li-ion cell at a state of charge, extrapolated beyond 0..1.
  static double OpenCircuitMv(double soc);

 private:
  struct Cell {
    double capacity_mah;
    double soc;
    double r0_ohm;
    double polarisation_mv = 0;
  };

  std::vector<Cell> cells_;
  double ambient_c_;
  double temperature_c_;
  double charged_mah_ = 0;
};

}  // namespace korvane::sim
