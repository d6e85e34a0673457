// SPDX-License-Identifier: GPL-3.0-or-later
// The Runs window's packs: the channels' choice, the pack filter, assigning runs, and opening the
// window at one run.

#include <QAction>
#include <QComboBox>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>
#include <algorithm>
#include <tuple>

#include "korvane/record/store.h"
#include "korvane/ui/prompter.h"
#include "runs/pack_chooser.h"
#include "runs/runs_table_model.h"
#include "runs/runs_window.h"

namespace korvane::ui {
namespace {

bool SamePacks(const std::vector<record::Pack>& a, const std::vector<record::Pack>& b) {
  const auto fields = [](const record::Pack& pack) {
    return std::tie(pack.id, pack.name, pack.retired);
  };
  return std::equal(
      a.begin(), a.end(), b.begin(), b.end(),
      [&](const record::Pack& x, const record::Pack& y) { return fields(x) == fields(y); });
}

QString RunCount(std::size_t count) {
  return count == 1 ? QString("1 run") : QString("%1 runs").arg(count);
}

}  // namespace

void RunsWindow::BuildPackActions() {
  assign_ = new QAction("Assign to &Pack...", this);
  assign_->setObjectName("RunsAssignPack");
  assign_->setToolTip("Give the selected runs to a pack");
  connect(assign_, &QAction::triggered, this, &RunsWindow::AssignClick);
  no_pack_ = new QAction("&No Pack", this);
  no_pack_->setObjectName("RunsNoPack");
  no_pack_->setToolTip("The selected runs belong to no pack");
  connect(no_pack_, &QAction::triggered, this, [this] { AssignSelected(0); });
  pack_bar_->setEnabled(false);  // until a file is read
}

void RunsWindow::BuildContextMenu() {
  auto* separator = new QAction(this);
  separator->setSeparator(true);
  table_->setContextMenuPolicy(Qt::ActionsContextMenu);
  table_->addActions({export_run_, assign_, no_pack_, separator, delete_});
}

void RunsWindow::ReadPacks() {
  std::vector<record::Pack> packs;
  ChannelPackBar::Choice chosen{};
  if (store_) {
    try {
      packs = store_->Packs();
      chosen = store_->ChosenPacks();
    } catch (const record::StoreError& error) {
      // The runs are still worth showing without their packs' names.
      statusBar()->showMessage(QString("The packs cannot be read: %1").arg(error.what()));
      return;
    }
  }
  pack_bar_->setEnabled(store_ != nullptr);
  const bool renamed = !SamePacks(packs, packs_);
  if (!renamed && chosen == chosen_ && pack_bar_->Shown() == chosen) {
    return;
  }
  packs_ = std::move(packs);
  chosen_ = chosen;
  pack_bar_->Show(packs_, chosen_);
  if (renamed) {
    std::map<std::int64_t, std::string> names;
    for (const record::Pack& pack : packs_) {
      names.emplace(pack.id, pack.name);
    }
    runs_->RenamePacks(names);
    ShowPackFilter();
  }
}

void RunsWindow::ShowPackFilter() {
  const qlonglong shown = rows_->Pack();
  {
    const QSignalBlocker quiet(pack_filter_);
    pack_filter_->clear();
    pack_filter_->addItem("All packs", QVariant::fromValue<qlonglong>(RunsFilterModel::kAllPacks));
    pack_filter_->addItem("No pack", QVariant::fromValue<qlonglong>(0));
    for (const record::Pack& pack : packs_) {
      const QString name = QString::fromStdString(pack.name);
      pack_filter_->addItem(pack.retired ? name + " (retired)" : name,
                            QVariant::fromValue<qlonglong>(pack.id));
    }
  }
  // A pack gone from the file shows every run again.
  const int index = pack_filter_->findData(QVariant::fromValue(shown));
  pack_filter_->setCurrentIndex(index >= 0 ? index : 0);
  if (index < 0) {
    rows_->SetPack(RunsFilterModel::kAllPacks);
  }
}

void RunsWindow::RevealRuns(const std::vector<std::int64_t>& ids) {
  for (const std::int64_t id : ids) {
    const std::optional<int> row = runs_->RowOf(id);
    if (!row || rows_->Shows(runs_->RunAt(*row))) {
      continue;
    }
    const record::RunSummary& run = runs_->RunAt(*row);
    if (rows_->Channel() != 0 && rows_->Channel() != run.channel) {
      filter_->setCurrentIndex(0);
    }
    if (rows_->Pack() != RunsFilterModel::kAllPacks && rows_->Pack() != run.pack_id) {
      pack_filter_->setCurrentIndex(0);
    }
  }
}

void RunsWindow::ShowRun(std::int64_t run_id) {
  if (isMinimized()) {
    showNormal();
  } else {
    show();
  }
  raise();
  activateWindow();
  Refresh();  // the run may have begun since the last refresh
  if (!runs_->RowOf(run_id)) {
    statusBar()->showMessage(QString("Run %1 is not in the recordings.").arg(run_id), kMessageMs);
    return;
  }
  RevealRuns({run_id});
  SelectRuns({run_id});
}

bool RunsWindow::AssignSelected(std::int64_t pack_id) {
  const std::vector<record::RunSummary> selected = SelectedRuns();
  if (selected.empty() || !store_) {
    return false;
  }
  std::vector<std::int64_t> ids;
  for (const record::RunSummary& run : selected) {
    ids.push_back(run.id);
  }
  try {
    record::Store writer(store_path_);
    writer.AssignRuns(ids, pack_id);
  } catch (const record::PackError& error) {
    Warn(error.what());
    return false;
  } catch (const record::StoreError& error) {
    Warn(QString("Unable to assign the runs: %1").arg(error.what()));
    return false;
  }
  QString pack = "no pack";
  try {
    for (const std::int64_t id : ids) {
      if (const std::optional<record::RunSummary> run = store_->Run(id)) {
        pack = pack_id != 0 ? QString::fromStdString(run->pack_name) : pack;
        runs_->Update(*run);
      }
    }
  } catch (const record::StoreError& error) {
    ShowNote(QString("The recordings cannot be read now: %1").arg(error.what()));
  }
  statusBar()->showMessage(
      QString("%1 now belong%2 to %3.").arg(RunCount(ids.size()), ids.size() == 1 ? "s" : "", pack),
      kMessageMs);
  UpdatePlot();
  UpdateActions();
  return true;
}

void RunsWindow::AssignClick() {
  const std::size_t count = SelectedRuns().size();
  if (count == 0) {
    return;
  }
  if (packs_.empty()) {
    prompter_.Inform(this, windowTitle(),
                     "There are no packs yet: the main window's File > Packs... adds them.");
    return;
  }
  PackChooser chooser("Assign to Pack",
                      count == 1 ? QString("The selected run belongs to:")
                                 : QString("The selected %1 runs belong to:").arg(count),
                      packs_, false, this);
  if (prompter_.Exec(chooser) == QDialog::Accepted) {
    AssignSelected(chooser.ChosenId());
  }
}

bool RunsWindow::ChoosePack(int channel, std::int64_t pack_id) {
  try {
    record::Store writer(store_path_);
    writer.ChoosePack(channel, pack_id);
  } catch (const record::PackError& error) {
    pack_bar_->Show(packs_, chosen_);
    Warn(error.what());
    return false;
  } catch (const record::StoreError& error) {
    // Unchanged in the file: the bar shows what is kept there.
    pack_bar_->Show(packs_, chosen_);
    statusBar()->showMessage(
        QString("The pack for channel %1 cannot be kept: %2").arg(channel).arg(error.what()));
    return false;
  }
  ReadPacks();
  const auto pack = std::find_if(packs_.begin(), packs_.end(),
                                 [&](const record::Pack& p) { return p.id == pack_id; });
  statusBar()->showMessage(
      QString("Runs begun on channel %1 from now on belong to %2.")
          .arg(channel)
          .arg(pack != packs_.end() ? QString::fromStdString(pack->name) : QString("no pack")),
      kMessageMs);
  return true;
}

}  // namespace korvane::ui
