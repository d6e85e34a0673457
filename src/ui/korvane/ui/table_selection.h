// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QModelIndexList>

class QAbstractItemView;

namespace korvane::ui {

// The view's selected rows (column 0), top to bottom as shown.
QModelIndexList SelectedRowsInOrder(const QAbstractItemView& view);

// Selects exactly these rows of the view's model (invalid indexes are left out) and scrolls to
// the first of them.
void SelectRows(QAbstractItemView& view, const QModelIndexList& rows);

}  // namespace korvane::ui
