// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/runs_table_model.h"

#include <algorithm>
#include <unordered_set>

namespace korvane::ui {

RunsTableModel::RunsTableModel(QObject* parent) : QAbstractTableModel(parent) {}

int RunsTableModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(rows_.size());
}

int RunsTableModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kRunColumnCount;
}

QVariant RunsTableModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount() || index.column() >= kRunColumnCount) {
    return {};
  }
  const Row& row = rows_[static_cast<std::size_t>(index.row())];
  const auto column = static_cast<RunColumn>(index.column());
  switch (role) {
    case Qt::DisplayRole:
      return row.texts[static_cast<std::size_t>(index.column())];
    case Qt::TextAlignmentRole:
      return column == RunColumn::kKind || column == RunColumn::kEndState ||
                     column == RunColumn::kStart || column == RunColumn::kPack
                 ? QVariant(Qt::AlignLeft | Qt::AlignVCenter)
                 : QVariant(Qt::AlignRight | Qt::AlignVCenter);
    case kSortRole: {
      const RunSortKey key = RunCellSortKey(row.run, column);
      if (const auto* number = std::get_if<double>(&key)) {
        return *number;
      }
      return QString::fromStdString(std::get<std::string>(key));
    }
    default:
      return {};
  }
}

QVariant RunsTableModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
      section >= kRunColumnCount) {
    return QAbstractTableModel::headerData(section, orientation, role);
  }
  return QString(RunColumnTitle(static_cast<RunColumn>(section)));
}

RunsTableModel::Row RunsTableModel::MakeRow(const record::RunSummary& run) {
  Row row{.run = run, .texts = {}};
  for (int column = 0; column < kRunColumnCount; ++column) {
    row.texts[static_cast<std::size_t>(column)] =
        QString::fromStdString(RunCellText(run, static_cast<RunColumn>(column)));
  }
  return row;
}

void RunsTableModel::Reset(const std::vector<record::RunSummary>& runs) {
  beginResetModel();
  rows_.clear();
  rows_.reserve(runs.size());
  for (const record::RunSummary& run : runs) {
    rows_.push_back(MakeRow(run));
  }
  endResetModel();
}

void RunsTableModel::Add(const std::vector<record::RunSummary>& runs) {
  std::vector<Row> added;
  for (const record::RunSummary& run : runs) {
    if (RowOf(run.id)) {
      Update(run);
    } else {
      added.push_back(MakeRow(run));
    }
  }
  if (added.empty()) {
    return;
  }
  const int first = rowCount();
  beginInsertRows({}, first, first + static_cast<int>(added.size()) - 1);
  std::move(added.begin(), added.end(), std::back_inserter(rows_));
  endInsertRows();
}

void RunsTableModel::Update(const record::RunSummary& run) {
  const std::optional<int> row = RowOf(run.id);
  if (!row) {
    return;
  }
  rows_[static_cast<std::size_t>(*row)] = MakeRow(run);
  emit dataChanged(index(*row, 0), index(*row, kRunColumnCount - 1));
}

void RunsTableModel::Remove(std::int64_t id) {
  if (const std::optional<int> row = RowOf(id)) {
    beginRemoveRows({}, *row, *row);
    rows_.erase(rows_.begin() + *row);
    endRemoveRows();
  }
}

void RunsTableModel::RenamePacks(const std::map<std::int64_t, std::string>& names) {
  const int pack_column = static_cast<int>(RunColumn::kPack);
  for (std::size_t i = 0; i < rows_.size(); ++i) {
    record::RunSummary& run = rows_[i].run;
    const auto name = names.find(run.pack_id);
    if (run.pack_id != 0 && name != names.end() && name->second != run.pack_name) {
      run.pack_name = name->second;
      rows_[i].texts[static_cast<std::size_t>(pack_column)] = QString::fromStdString(run.pack_name);
      const QModelIndex cell = index(static_cast<int>(i), pack_column);
      emit dataChanged(cell, cell);
    }
  }
}

std::optional<int> RunsTableModel::RowOf(std::int64_t id) const {
  const auto found =
      std::find_if(rows_.begin(), rows_.end(), [id](const Row& row) { return row.run.id == id; });
  if (found == rows_.end()) {
    return std::nullopt;
  }
  return static_cast<int>(found - rows_.begin());
}

std::vector<std::int64_t> RunsTableModel::InProgress() const {
  std::vector<std::int64_t> ids;
  for (const Row& row : rows_) {
    if (row.run.end_state == record::EndState::kInProgress) {
      ids.push_back(row.run.id);
    }
  }
  return ids;
}

std::int64_t RunsTableModel::NewestId() const {
  std::int64_t newest = 0;
  for (const Row& row : rows_) {
    newest = std::max(newest, row.run.id);
  }
  return newest;
}

RunsFilterModel::RunsFilterModel(RunsTableModel& runs, QObject* parent)
    : QSortFilterProxyModel(parent), runs_(runs) {
  setSourceModel(&runs);
  setSortRole(RunsTableModel::kSortRole);
}

void RunsFilterModel::SetChannel(int channel) {
  channel_ = channel;
  invalidateFilter();
}

const record::RunSummary& RunsFilterModel::RunAt(const QModelIndex& index) const {
  return runs_.RunAt(mapToSource(index).row());
}

void RunsFilterModel::SetPack(std::int64_t pack_id) {
  pack_ = pack_id;
  invalidateFilter();
}

bool RunsFilterModel::Shows(const record::RunSummary& run) const {
  return (channel_ == 0 || run.channel == channel_) && (pack_ == kAllPacks || run.pack_id == pack_);
}

bool RunsFilterModel::filterAcceptsRow(int source_row, const QModelIndex&) const {
  return Shows(runs_.RunAt(source_row));
}

bool RunsFilterModel::lessThan(const QModelIndex& left, const QModelIndex& right) const {
  const QVariant a = left.data(RunsTableModel::kSortRole);
  const QVariant b = right.data(RunsTableModel::kSortRole);
  const QPartialOrdering order = QVariant::compare(a, b);
  if (order == QPartialOrdering::Less || order == QPartialOrdering::Greater) {
    return order == QPartialOrdering::Less;
  }
  return runs_.RunAt(left.row()).id < runs_.RunAt(right.row()).id;
}

}  // namespace korvane::ui
