// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <optional>
#include <string>

#include "korvane/record/packs.h"

namespace korvane::ui {

// The Packs table's columns, in their order on screen.
enum class PackColumn : int {
  kName,
  kChemistry,
  kCells,
  kRated,
  kRuns,
  kCycles,
  kLastUsed,
  kLastCapacity,
  kHealth,
  kIr,
};
inline constexpr int kPackColumnCount = 10;

// "Name", "Chemistry", "Cells", "Rated [mAh]", "Runs", "Cycles", "Last used",
// "Last capacity [mAh]", "Health [%]", "IR [mOhm]".
const char* PackColumnTitle(PackColumn column);

// The text of one cell: "" for a figure the pack does not have (no runs, no estimate). Numbers
// use the C locale's decimal separator, the date its date and time formats.
std::string PackCellText(const record::PackFigures& figures, PackColumn column);

// What a column sorts by: a number for the numeric columns (nullopt when the cell is empty), the
// text for the others.
struct PackSortKey {
  std::optional<double> number;
  std::string text;
};
PackSortKey PackCellSortKey(const record::PackFigures& figures, PackColumn column);

// Why PackFigures::Weak() holds, one line per reason ("Health 72.0 % is below 80 %"); "" when
// the pack is not weak.
std::string WeakReason(const record::PackFigures& figures);

// "LiPo, 4 cells, 2200 mAh rated" (the chemistry left out when empty).
std::string PackSummaryText(const record::Pack& pack);

}  // namespace korvane::ui
