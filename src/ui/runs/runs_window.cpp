// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/runs_window.h"

#include <sys/stat.h>
#include <QAction>
#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStackedWidget>
#include <QStatusBar>
#include <QTableView>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>
#include <filesystem>
#include <system_error>

#include "korvane/record/store.h"
#include "korvane/ui/prompter.h"
#include "korvane/ui/screen_fit.h"
#include "korvane/ui/table_selection.h"
#include "korvane/ui/version.h"
#include "runs/review_frames.h"
#include "runs/runs_plot_panel.h"
#include "runs/runs_table_model.h"

namespace korvane::ui {

RunsWindow::RunsWindow(std::string store_path, SettingsStorage& settings, Prompter& prompter,
                       std::ostream& errors, QWidget* parent)
    : QMainWindow(parent),
      store_path_(std::move(store_path)),
      settings_(settings),
      prompter_(prompter),
      errors_(errors) {
  setObjectName("RunsWindow");
  setWindowTitle(QString("Runs - %1").arg(kApplicationTitle));
  runs_ = new RunsTableModel(this);
  rows_ = new RunsFilterModel(*runs_, this);
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName("RunsSplitter");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(BuildTablePane());
  plot_ = new RunsPlotPanel(splitter_);
  splitter_->addWidget(plot_);
  setCentralWidget(splitter_);
  BuildMenu();
  BuildContextMenu();
  statusBar()->setObjectName("RunsStatus");
  ApplySettings(settings_.RunsWindow());

  table_->sortByColumn(static_cast<int>(RunColumn::kStart), Qt::DescendingOrder);
  OpenStore();

  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    UpdatePlot();
    UpdateActions();
  });
  connect(filter_, &QComboBox::currentIndexChanged, this, [this](int index) {
    rows_->SetChannel(index);
    UpdatePlot();
    UpdateActions();
  });
  connect(pack_filter_, &QComboBox::currentIndexChanged, this, [this] {
    rows_->SetPack(pack_filter_->currentData().toLongLong());
    UpdatePlot();
    UpdateActions();
  });
  connect(pack_bar_, &ChannelPackBar::Chosen, this, &RunsWindow::ChoosePack);
  timer_ = new QTimer(this);
  connect(timer_, &QTimer::timeout, this, &RunsWindow::Refresh);
  timer_->start(kRefreshMs);
  UpdateActions();
}

RunsWindow::~RunsWindow() = default;

QWidget* RunsWindow::BuildTablePane() {
  auto* pane = new QWidget(this);
  filter_ = new QComboBox(pane);
  filter_->setObjectName("RunsChannelFilter");
  filter_->addItems({"All channels", "Channel 1", "Channel 2"});
  pack_filter_ = new QComboBox(pane);
  pack_filter_->setObjectName("RunsPackFilter");
  pack_filter_->setSizeAdjustPolicy(QComboBox::AdjustToContents);
  pack_bar_ = new ChannelPackBar(pane);
  ShowPackFilter();

  delete_ = new QAction("&Delete", this);
  delete_->setObjectName("RunsDelete");
  delete_->setShortcut(QKeySequence::Delete);
  delete_->setShortcutContext(Qt::WindowShortcut);
  addAction(delete_);
  connect(delete_, &QAction::triggered, this, &RunsWindow::DeleteSelected);
  auto* delete_button = new QToolButton(pane);
  delete_button->setObjectName("RunsDeleteButton");
  delete_button->setDefaultAction(delete_);
  delete_button->setToolButtonStyle(Qt::ToolButtonTextOnly);

  note_ = new QLabel(pane);
  note_->setObjectName("RunsNote");
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  note_->hide();

  table_ = new QTableView(pane);
  table_->setObjectName("RunsTable");
  table_->setModel(rows_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setSortingEnabled(true);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);
  // Column widths from the rows on screen, not from every row of a long list.
  table_->horizontalHeader()->setResizeContentsPrecision(50);
  BuildPackActions();

  empty_ = new QLabel(
      "Runs are recorded while the charger is connected; File > Import... reads an export file",
      pane);
  empty_->setObjectName("RunsEmpty");
  empty_->setAlignment(Qt::AlignCenter);
  empty_->setWordWrap(true);
  table_place_ = new QStackedWidget(pane);
  table_place_->addWidget(table_);
  table_place_->addWidget(empty_);
  connect(runs_, &QAbstractItemModel::modelReset, this, &RunsWindow::UpdateEmptyHint);
  connect(runs_, &QAbstractItemModel::rowsInserted, this, &RunsWindow::UpdateEmptyHint);
  connect(runs_, &QAbstractItemModel::rowsRemoved, this, &RunsWindow::UpdateEmptyHint);
  UpdateEmptyHint();

  auto* bar = new QHBoxLayout;
  bar->addWidget(new QLabel("Show:", pane));
  bar->addWidget(filter_);
  bar->addWidget(pack_filter_);
  bar->addStretch(1);
  for (QAction* action : {assign_, no_pack_}) {
    auto* button = new QToolButton(pane);
    button->setDefaultAction(action);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    bar->addWidget(button);
  }
  bar->addWidget(delete_button);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(6, 6, 6, 0);
  layout->addWidget(pack_bar_);
  layout->addLayout(bar);
  layout->addWidget(note_);
  layout->addWidget(table_place_, 1);
  return pane;
}

void RunsWindow::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("RunsMenuFile");
  const auto add = [&](const char* text, const char* name, void (RunsWindow::*slot)()) {
    QAction* action = file->addAction(text);
    action->setObjectName(name);
    connect(action, &QAction::triggered, this, slot);
    return action;
  };
  add("&Import...", "RunsMenuFileImport", &RunsWindow::ImportClick);
  file->addSeparator();
  export_run_ =
      add("Export Run as &TSV...", "RunsMenuFileExportRun", &RunsWindow::ExportSelectedRunClick);
  plot_actions_ = {
      add("Export Plot as &PNG...", "RunsMenuFileExportPng", &RunsWindow::ExportPlotPngClick),
      add("Export Plot as &SVG...", "RunsMenuFileExportSvg", &RunsWindow::ExportPlotSvgClick),
      add("C&opy Plot to Clipboard", "RunsMenuFileCopyPlot", &RunsWindow::CopyPlot)};
  file->addSeparator();
  QAction* close_window = file->addAction("&Close");
  close_window->setObjectName("RunsMenuFileClose");
  close_window->setShortcut(QKeySequence::Close);
  connect(close_window, &QAction::triggered, this, &QWidget::close);
}

void RunsWindow::ApplySettings(const RunsWindowSettings& settings) {
  PlaceOnScreen(*this, QSize(settings.Width, settings.Height), screen());
  if (settings.SplitterSizes.size() == 2) {
    splitter_->setSizes({settings.SplitterSizes[0], settings.SplitterSizes[1]});
  } else {
    splitter_->setSizes({settings.Height * 2 / 5, settings.Height * 3 / 5});
  }
  plot_->SetShown(settings.SeriesMask);
  filter_->setCurrentIndex(std::clamp(settings.Channel, 0, 2));
  rows_->SetChannel(filter_->currentIndex());
}

RunsWindowSettings RunsWindow::CurrentSettings() const {
  RunsWindowSettings settings;
  settings.Width = width();
  settings.Height = height();
  const QList<int> sizes = splitter_->sizes();
  settings.SplitterSizes.assign(sizes.begin(), sizes.end());
  settings.SeriesMask = plot_->Shown();
  settings.Channel = filter_->currentIndex();
  return settings;
}

void RunsWindow::closeEvent(QCloseEvent* event) {
  timer_->stop();
  if (!saved_) {
    saved_ = true;
    try {
      settings_.SaveRunsWindow(CurrentSettings());
    } catch (const std::exception& error) {
      // Nothing may hold up a closing window, least of all the main window's close.
      errors_ << error.what() << std::endl;
    }
  }
  event->accept();
}

bool RunsWindow::OpenStore() {
  if (store_path_.empty()) {
    ShowNote("No recordings file: there is no home folder to keep it in.");
    return false;
  }
  std::error_code missing;
  if (!std::filesystem::exists(store_path_, missing)) {
    ShowNote(QString("No recordings yet: %1").arg(QString::fromStdString(store_path_)));
    return false;
  }
  try {
    // Taken before the open: a file replaced in between is opened again at the next refresh.
    struct stat info {};
    file_id_.reset();
    if (::stat(store_path_.c_str(), &info) == 0) {
      file_id_.emplace(info.st_dev, info.st_ino);
    }
    store_ = std::make_unique<record::Store>(store_path_, record::StoreAccess::kRead);
    const std::vector<record::RunSummary> runs = store_->Runs();
    newest_id_ = 0;
    for (const record::RunSummary& run : runs) {
      newest_id_ = std::max(newest_id_, run.id);
    }
    runs_->Reset(runs);
    ReadPacks();
    table_->resizeColumnsToContents();
  } catch (const record::StoreError& error) {
    store_.reset();
    ReadPacks();
    ShowNote(QString("The recordings cannot be shown: %1").arg(error.what()));
    return false;
  }
  ShowNote({});
  return true;
}

void RunsWindow::ShowNote(const QString& text) {
  note_->setText(text);
  note_->setVisible(!text.isEmpty());
}

QString RunsWindow::Note() const {
  return note_->text();
}

void RunsWindow::UpdateEmptyHint() {
  table_place_->setCurrentWidget(runs_->rowCount() == 0 ? static_cast<QWidget*>(empty_) : table_);
}

bool RunsWindow::SameFile() const {
  struct stat info {};
  return file_id_ && ::stat(store_path_.c_str(), &info) == 0 &&
         *file_id_ == std::pair<std::uint64_t, std::uint64_t>(info.st_dev, info.st_ino);
}

void RunsWindow::Refresh() {
  if (store_ && !SameFile()) {
    // The open connection still reads the old file, whose runs and ids are not the path's any
    // more: what the table shows starts again from the file now there.
    store_.reset();
    newest_id_ = 0;
    runs_->Reset({});
    ReadPacks();
  }
  if (!store_) {
    // The recorder may have made the file since, or whatever kept it from opening has passed.
    if (OpenStore()) {
      UpdatePlot();
      UpdateActions();
    }
    return;
  }
  try {
    std::vector<record::RunSummary> added = store_->Runs(newest_id_);
    for (const record::RunSummary& run : added) {
      newest_id_ = std::max(newest_id_, run.id);
    }
    runs_->Add(added);
    for (const std::int64_t id : runs_->InProgress()) {
      if (const std::optional<record::RunSummary> run = store_->Run(id)) {
        runs_->Update(*run);
      } else {
        runs_->Remove(id);  // deleted by another program
      }
    }
    ReadPacks();
    ShowNote({});
  } catch (const record::StoreError& error) {
    ShowNote(QString("The recordings cannot be read now: %1").arg(error.what()));
    return;
  }
  UpdatePlot();
  UpdateActions();
}

std::vector<record::RunSummary> RunsWindow::SelectedRuns() const {
  const QModelIndexList selected = SelectedRowsInOrder(*table_);
  std::vector<record::RunSummary> runs;
  runs.reserve(static_cast<std::size_t>(selected.size()));
  for (const QModelIndex& index : selected) {
    runs.push_back(rows_->RunAt(index));
  }
  return runs;
}

void RunsWindow::SelectRuns(const std::vector<std::int64_t>& ids) {
  QModelIndexList shown;
  for (const std::int64_t id : ids) {
    if (const std::optional<int> row = runs_->RowOf(id)) {
      shown.append(rows_->mapFromSource(runs_->index(*row, 0)));
    }
  }
  SelectRows(*table_, shown);
}

void RunsWindow::UpdatePlot() {
  std::vector<record::RunSummary> selected;
  if (store_) {
    selected = SelectedRuns();
  }
  if (selected.size() > static_cast<std::size_t>(kMaxPlottedRuns)) {
    statusBar()->showMessage(QString("The plot shows the first %1 of the %2 selected runs.")
                                 .arg(kMaxPlottedRuns)
                                 .arg(selected.size()));
    selected.resize(static_cast<std::size_t>(kMaxPlottedRuns));
    capped_ = true;
  } else if (capped_) {
    statusBar()->clearMessage();
    capped_ = false;
  }
  bool changed = selected.size() != plotted_.size();
  bool other_runs = changed;  // not only more frames of the runs shown
  std::map<std::int64_t, PlottedRun> next;
  try {
    for (const record::RunSummary& run : selected) {
      auto kept = plotted_.find(run.id);
      if (kept == plotted_.end()) {
        const auto frames =
            store_->Frames(run.first_frame, run.last_frame, std::clamp(run.channel, 1, 2));
        next.emplace(run.id, PlottedRun{run, MakeReviewRun(run, frames, RunLabel(run))});
        changed = true;
        other_runs = true;
        continue;
      }
      PlottedRun plotted = std::move(kept->second);
      if (run.last_frame > plotted.run.last_frame) {
        // A run still being recorded: only its new frames are read.
        AppendReviewFrames(plotted.review, run.channel,
                           store_->Frames(plotted.run.last_frame + 1, run.last_frame,
                                          std::clamp(run.channel, 1, 2)));
        changed = true;
      }
      plotted.run = run;
      next.emplace(run.id, std::move(plotted));
    }
  } catch (const record::StoreError& error) {
    ShowNote(QString("The recordings cannot be read now: %1").arg(error.what()));
    next.clear();
    changed = true;
    other_runs = true;
  }
  plotted_ = std::move(next);
  if (!changed) {
    return;
  }
  std::vector<chart::ReviewRun> runs;
  for (const record::RunSummary& run : selected) {
    if (const auto found = plotted_.find(run.id); found != plotted_.end()) {
      runs.push_back(found->second.review);
    }
  }
  plot_->ShowRuns(std::move(runs), selected.empty() ? 0 : selected.front().temperature_unit,
                  other_runs);
}

void RunsWindow::UpdateActions() {
  const std::vector<record::RunSummary> selected = SelectedRuns();
  const bool in_progress = std::any_of(
      selected.begin(), selected.end(),
      [](const record::RunSummary& run) { return run.end_state == record::EndState::kInProgress; });
  delete_->setEnabled(store_ != nullptr && !selected.empty() && !in_progress);
  delete_->setToolTip(in_progress ? "A run in progress cannot be deleted."
                                  : "Delete the selected runs");
  assign_->setEnabled(store_ != nullptr && !selected.empty());
  no_pack_->setEnabled(assign_->isEnabled());
  export_run_->setEnabled(store_ != nullptr && selected.size() == 1);
  for (QAction* action : plot_actions_) {
    action->setEnabled(!selected.empty());
  }
}

void RunsWindow::Warn(const QString& text) {
  prompter_.Warn(this, windowTitle(), text);
}

}  // namespace korvane::ui
