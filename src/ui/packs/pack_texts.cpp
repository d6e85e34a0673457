// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_texts.h"

#include <cmath>

#include "runs/run_texts.h"

namespace korvane::ui {
namespace {

// Empty for no value, never 0.
std::string OptionalText(const std::optional<double>& value, int decimals) {
  if (!value) {
    return {};
  }
  return FixedText(*value, decimals);
}

std::optional<double> NumberOf(const record::PackFigures& f, PackColumn column) {
  switch (column) {
    case PackColumn::kCells:
      return f.pack.cells;
    case PackColumn::kRated:
      return f.pack.rated_mah;
    case PackColumn::kRuns:
      return f.runs;
    case PackColumn::kCycles:
      return f.cycles;
    case PackColumn::kLastUsed:
      return f.runs == 0 ? std::nullopt : std::optional<double>(f.last_used_ms);
    case PackColumn::kLastCapacity:
      return f.last_capacity_mah ? std::optional<double>(*f.last_capacity_mah) : std::nullopt;
    case PackColumn::kHealth:
      return f.health_percent;
    case PackColumn::kIr:
      return f.ir_mohm;
    case PackColumn::kName:
    case PackColumn::kChemistry:
      break;
  }
  return std::nullopt;
}

}  // namespace

const char* PackColumnTitle(PackColumn column) {
  switch (column) {
    case PackColumn::kName:
      return "Name";
    case PackColumn::kChemistry:
      return "Chemistry";
    case PackColumn::kCells:
      return "Cells";
    case PackColumn::kRated:
      return "Rated [mAh]";
    case PackColumn::kRuns:
      return "Runs";
    case PackColumn::kCycles:
      return "Cycles";
    case PackColumn::kLastUsed:
      return "Last used";
    case PackColumn::kLastCapacity:
      return "Last capacity [mAh]";
    case PackColumn::kHealth:
      return "Health [%]";
    case PackColumn::kIr:
      return "IR [mOhm]";
  }
  return "";
}

std::string PackCellText(const record::PackFigures& f, PackColumn column) {
  switch (column) {
    case PackColumn::kName:
      return f.pack.name;
    case PackColumn::kChemistry:
      return f.pack.chemistry;
    case PackColumn::kLastUsed:
      return f.runs == 0 ? std::string() : LocalDateTimeText(f.last_used_ms);
    case PackColumn::kHealth:
      return OptionalText(f.health_percent, 1);
    case PackColumn::kIr:
      return OptionalText(f.ir_mohm, 1);
    default:
      return OptionalText(NumberOf(f, column), 0);
  }
}

PackSortKey PackCellSortKey(const record::PackFigures& f, PackColumn column) {
  if (column == PackColumn::kName || column == PackColumn::kChemistry) {
    return {.number = std::nullopt, .text = PackCellText(f, column)};
  }
  return {.number = NumberOf(f, column), .text = {}};
}

std::string WeakReason(const record::PackFigures& f) {
  if (!f.Weak()) {
    return {};
  }
  std::string reason;
  if (f.health_percent && *f.health_percent < record::PackFigures::kWeakHealthPercent) {
    reason = "Health " + FixedText(*f.health_percent, 1) + " % is below " +
             OptionalText(record::PackFigures::kWeakHealthPercent, 0) + " %";
  }
  if (f.ir_mohm && f.first_ir_mohm &&
      *f.ir_mohm > *f.first_ir_mohm * record::PackFigures::kRisenIrFactor) {
    reason += reason.empty() ? "" : "\n";
    reason += "IR rose from " + FixedText(*f.first_ir_mohm, 1) + " to " + FixedText(*f.ir_mohm, 1) +
              " mOhm, by more than half";
  }
  return reason;
}

std::string PackSummaryText(const record::Pack& pack) {
  std::string text = pack.chemistry.empty() ? "" : pack.chemistry + ", ";
  text += std::to_string(pack.cells) + (pack.cells == 1 ? " cell, " : " cells, ");
  return text + std::to_string(pack.rated_mah) + " mAh rated";
}

}  // namespace korvane::ui
