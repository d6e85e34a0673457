// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "korvane/record/run.h"

namespace korvane::record {

// A battery the user charges and discharges; runs belong to at most one pack.
struct Pack {
  std::int64_t id = 0;    // the store's id; 0 until stored
  std::string name;       // unique in the store, 1..kMaxPackName characters of UTF-8
  std::string chemistry;  // free text; the programs offer kChemistries
  int cells = 1;          // in series
  int rated_mah = 0;      // above 0
  std::string note;
  bool retired = false;
};

inline constexpr int kMaxPackName = 64;
inline constexpr int kMaxPackCells = 30;
// What the programs offer for Pack::chemistry, in this order.
const std::vector<std::string>& Chemistries();

// A refused pack operation (an invalid or duplicate name, a capacity of 0, an unknown pack, the
// delete of a pack with runs); what() is one line to show as it is.
class PackError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// "" when the pack may be stored as it is, else why not ("A pack needs a name", ...). Names are
// counted in characters (UTF-8 code points), not bytes; invalid UTF-8 is refused.
std::string PackProblem(const Pack& pack);

// A pack's figures over the runs that belong to it.
struct PackFigures {
  Pack pack;
  int runs = 0;
  int cycles = 0;                 // finished discharges
  std::int64_t last_used_ms = 0;  // end of its newest run; 0 when it has none
  // The last finished discharge's capacity, else the last finished charge's.
  std::optional<int> last_capacity_mah;
  std::optional<double> health_percent;  // last capacity / rated x 100
  std::optional<double> ir_mohm;         // the newest run's estimate that has one
  std::optional<double> first_ir_mohm;   // the oldest run's estimate that has one

  static constexpr double kWeakHealthPercent = 80.0;
  static constexpr double kRisenIrFactor = 1.5;
  // Health below kWeakHealthPercent, or the IR risen by more than half since the first estimate.
  bool Weak() const;
};

// The figures of each pack from all runs (any order; runs of no pack or another pack ignored),
// in the order of `packs`.
std::vector<PackFigures> ComputeFigures(const std::vector<Pack>& packs,
                                        const std::vector<RunSummary>& runs);

// The capacity a finished run moved: charged for a finished charge, delivered for a finished
// discharge (the last of a cycle program's); empty for a run that did not finish.
std::optional<int> ChargedCapacity(const RunSummary& run);
std::optional<int> DeliveredCapacity(const RunSummary& run);

}  // namespace korvane::record
