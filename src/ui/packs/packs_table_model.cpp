// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/packs_table_model.h"

#include <QApplication>
#include <QBrush>
#include <QPalette>
#include <QStyle>
#include <algorithm>

namespace korvane::ui {

PacksTableModel::PacksTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int PacksTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int PacksTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kPackColumnCount;
}

QVariant PacksTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kPackColumnCount) {
    return {};
  }
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  const auto column = static_cast<PackColumn>(index.column());
  const bool name = column == PackColumn::kName;
  switch (role) {
    case Qt::DisplayRole:
      return row.texts[static_cast<std::size_t>(index.column())];
    case Qt::TextAlignmentRole:
      return name || column == PackColumn::kChemistry || column == PackColumn::kLastUsed
                 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                 : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case Qt::DecorationRole:
      if (name && !row.weak.isEmpty()) {
        return QApplication::style()->standardIcon(QStyle::SP_MessageBoxWarning);
      }
      return {};
    case Qt::ToolTipRole:
      if (name && row.figures.pack.retired) {
        return row.weak.isEmpty() ? QString("Retired") : "Retired\n" + row.weak;
      }
      return name && !row.weak.isEmpty() ? QVariant(row.weak) : QVariant();
    case Qt::ForegroundRole:
      if (row.figures.pack.retired) {
        return QApplication::palette().brush(QPalette::Disabled, QPalette::Text);
      }
      return {};
    default:
      return {};
  }
}

QVariant PacksTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kPackColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return QString(PackColumnTitle(static_cast<PackColumn>(section)));
}

void PacksTableModel::Reset(std::vector<record::PackFigures> packs) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(packs.size());
  for (record::PackFigures& figures : packs) {
    Row row{.figures = std::move(figures), .texts = {}, .weak = {}};
    for (int column = 0; column < kPackColumnCount; ++column) {
      row.texts[static_cast<std::size_t>(column)] =
          QString::fromStdString(PackCellText(row.figures, static_cast<PackColumn>(column)));
    }
    row.weak = QString::fromStdString(WeakReason(row.figures));
    rows_.push_back(std::move(row));
  }
  endResetModel();
}

std::optional<int> PacksTableModel::RowOf(std::int64_t pack_id) const {
  const auto found = std::find_if(rows_.begin(), rows_.end(),
                                  [&](const Row& row) { return row.figures.pack.id == pack_id; });
  if (found == rows_.end()) {
    return std::nullopt;
  }
  return static_cast<int>(found - rows_.begin());
}

PacksFilterModel::PacksFilterModel(PacksTableModel& packs, QObject* parent)
    : QSortFilterProxyModel(parent), packs_(packs) {
  setSourceModel(&packs);
}

void PacksFilterModel::SetShowRetired(bool show) {
  show_retired_ = show;
  invalidateFilter();
}

const record::PackFigures& PacksFilterModel::FiguresAt(const QModelIndex& index) const {
  return packs_.FiguresAt(mapToSource(index).row());
}

bool PacksFilterModel::filterAcceptsRow(int source_row, const QModelIndex&) const {
  return show_retired_ || !packs_.FiguresAt(source_row).pack.retired;
}

bool PacksFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const record::PackFigures& a = packs_.FiguresAt(left.row());
  const record::PackFigures& b = packs_.FiguresAt(right.row());
  const auto column = static_cast<PackColumn>(left.column());
  const PackSortKey ka = PackCellSortKey(a, column);
  const PackSortKey kb = PackCellSortKey(b, column);
  const bool numeric = column != PackColumn::kName && column != PackColumn::kChemistry;
  if (numeric && ka.number.has_value() != kb.number.has_value()) {
    // The view reverses this for a descending sort: an empty cell is last either way.
    return ka.number.has_value() == (sortOrder() == Qt::AscendingOrder);
  }
  if (numeric && ka.number && *ka.number != *kb.number) {
    return *ka.number < *kb.number;
  }
  if (!numeric && ka.text != kb.text) {
    const int order = QString::localeAwareCompare(QString::fromStdString(ka.text),
                                                  QString::fromStdString(kb.text));
    if (order != 0) {
      return order < 0;
    }
  }
  return a.pack.name < b.pack.name;
}

}  // namespace korvane::ui
