// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/table_selection.h"

#include <QAbstractItemView>
#include <QItemSelectionModel>
#include <algorithm>

namespace korvane::ui {

QModelIndexList SelectedRowsInOrder(const QAbstractItemView& view) {
  QModelIndexList rows = view.selectionModel()->selectedRows();
  std::sort(rows.begin(), rows.end(),
            [](const QModelIndex& a, const QModelIndex& b) { return a.row() < b.row(); });
  return rows;
}

void SelectRows(QAbstractItemView& view, const QModelIndexList& rows) {
  QItemSelection selection;
  for (const QModelIndex& row : rows) {
    if (row.isValid()) {
      selection.select(row, row);
    }
  }
  view.selectionModel()->select(selection,
                                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
  if (!selection.isEmpty()) {
    view.scrollTo(selection.indexes().constFirst());
  }
}

}  // namespace korvane::ui
