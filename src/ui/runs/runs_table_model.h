// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QAbstractTableModel>
#include <QSortFilterProxyModel>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "korvane/record/run.h"
#include "runs/run_texts.h"

namespace korvane::ui {

// The runs of a store, one row each in the order they were added; the view sorts and filters
// through RunsFilterModel. Texts are made when a run is added or updated, in the locale of then.
class RunsTableModel final : public QAbstractTableModel {
  Q_OBJECT

 public:
  // data() under kSortRole gives a column's underlying value (a number, or the text where the
  // text is the value).
  static constexpr int kSortRole = Qt::UserRole;

  explicit RunsTableModel(QObject* parent = nullptr);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
  QVariant headerData(int section, Qt::Orientation orientation,
                      int role = Qt::DisplayRole) const override;

  // Replaces every row.
  void Reset(const std::vector<record::RunSummary>& runs);
  // Adds runs not shown yet (an id shown already updates its row instead).
  void Add(const std::vector<record::RunSummary>& runs);
  // Replaces the row of `run.id` in place; nothing when it is not shown.
  void Update(const record::RunSummary& run);
  void Remove(std::int64_t id);
  // Gives each run of a pack in `names` (by id) that pack's name: another program renamed it.
  void RenamePacks(const std::map<std::int64_t, std::string>& names);

  const record::RunSummary& RunAt(int row) const {
    return rows_[static_cast<std::size_t>(row)].run;
  }
  std::optional<int> RowOf(std::int64_t id) const;
  // The ids of the rows whose run is still being recorded.
  std::vector<std::int64_t> InProgress() const;
  // The greatest id shown, 0 for none.
  std::int64_t NewestId() const;

 private:
  struct Row {
    record::RunSummary run;
    std::array<QString, kRunColumnCount> texts;
  };
  static Row MakeRow(const record::RunSummary& run);

  std::vector<Row> rows_;
};

// Sorts by the values behind the texts (ties by run id, so the order is stable) and shows one
// channel or all, and one pack's runs, those of no pack, or all.
class RunsFilterModel final : public QSortFilterProxyModel {
  Q_OBJECT

 public:
  explicit RunsFilterModel(RunsTableModel& runs, QObject* parent = nullptr);

  // 0: all channels.
  void SetChannel(int channel);
  int Channel() const { return channel_; }
  static constexpr std::int64_t kAllPacks = -1;
  // kAllPacks, 0: the runs of no pack, else a pack's id.
  void SetPack(std::int64_t pack_id);
  std::int64_t Pack() const { return pack_; }
  bool Shows(const record::RunSummary& run) const;
  // The run of a row of this model.
  const record::RunSummary& RunAt(const QModelIndex& index) const;

 protected:
  bool filterAcceptsRow(int source_row, const QModelIndex& source_parent) const override;
  bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

 private:
  RunsTableModel& runs_;
  int channel_ = 0;
  std::int64_t pack_ = kAllPacks;
};

}  // namespace korvane::ui
