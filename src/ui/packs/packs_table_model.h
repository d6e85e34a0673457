// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

#include "korvane/record/packs.h"
#include "packs/pack_texts.h"

namespace korvane::ui {

// The packs of a store with their figures, one row each; the view sorts and hides retired packs
// through PacksFilterModel. The name cell of a weak pack carries a warning icon and, as its
// tooltip, why it is weak; a retired pack's row is greyed.
class PacksTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  explicit PacksTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Replaces every row.
  void Reset(std::vector<record::PackFigures> packs);

  const record::PackFigures& FiguresAt(int row) const {
    return rows_[static_cast<std::size_t>(row)].figures;
  }
  std::optional<int> RowOf(std::int64_t pack_id) const;

 private:
  struct Row {
    record::PackFigures figures;
    std::array<QString, kPackColumnCount> texts;
    QString weak;  // why the pack is weak; empty when it is not
  };

  std::vector<Row> rows_;
};

// Sorts numbers as numbers with empty cells last in either order (ties by name), and hides
// retired packs unless they are asked for.
class PacksFilterModel final : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit PacksFilterModel(PacksTableModel& packs, QObject* parent = nullptr);

  void SetShowRetired(bool show);
  bool ShowRetired() const { return show_retired_; }
  const record::PackFigures& FiguresAt(const QModelIndex& index) const;

 protected:
  bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  PacksTableModel& packs_;
  bool show_retired_ = false;
};

}  // namespace korvane::ui
