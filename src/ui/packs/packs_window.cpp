// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/packs_window.h"

#include <QAction>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QSplitter>
#include <QStatusBar>
#include <QTableView>
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
#include "packs/packs_table_model.h"

namespace korvane::ui {

PacksWindow::PacksWindow(std::string store_path, SettingsStorage& settings, Prompter& prompter,
                         std::ostream& errors, QWidget* parent)
    : QMainWindow(parent),
      store_path_(std::move(store_path)),
      settings_(settings),
      prompter_(prompter),
      errors_(errors) {
  setObjectName("PacksWindow");
  setWindowTitle(QString("Packs - %1").arg(kApplicationTitle));
  packs_ = new PacksTableModel(this);
  rows_ = new PacksFilterModel(*packs_, this);
  splitter_ = new QSplitter(Qt::Vertical, this);
  splitter_->setObjectName("PacksSplitter");
  splitter_->setChildrenCollapsible(false);
  splitter_->addWidget(BuildTablePane());
  chart_ = new PackLifeChart(splitter_);
  splitter_->addWidget(chart_);
  setCentralWidget(splitter_);
  BuildMenu();
  statusBar()->setObjectName("PacksStatus");

  const PacksWindowSettings saved = settings_.PacksWindow();
  PlaceOnScreen(*this, QSize(saved.Width, saved.Height), screen());
  if (saved.SplitterSizes.size() == 2) {
    splitter_->setSizes({saved.SplitterSizes[0], saved.SplitterSizes[1]});
  } else {
    splitter_->setSizes({saved.Height * 2 / 5, saved.Height * 3 / 5});
  }

  table_->sortByColumn(static_cast<int>(PackColumn::kName), Qt::AscendingOrder);
  Reload();

  connect(table_->selectionModel(), &QItemSelectionModel::selectionChanged, this, [this] {
    UpdateChart();
    UpdateActions();
  });
  connect(show_retired_, &QCheckBox::toggled, this, [this](bool show) {
    rows_->SetShowRetired(show);
    UpdateChart();
    UpdateActions();
  });
  connect(table_, &QTableView::doubleClicked, this, &PacksWindow::EditSelected);
  connect(chart_, &PackLifeChart::RunActivated, this, &PacksWindow::ShowRunRequested);
  UpdateActions();
}

PacksWindow::~PacksWindow() = default;

QWidget* PacksWindow::BuildTablePane() {
  auto* pane = new QWidget(this);
  show_retired_ = new QCheckBox("Show &retired", pane);
  show_retired_->setObjectName("PacksShowRetired");

  note_ = new QLabel(pane);
  note_->setObjectName("PacksNote");
  note_->setWordWrap(true);
  note_->setTextInteractionFlags(Qt::TextSelectableByMouse);
  note_->hide();

  table_ = new QTableView(pane);
  table_->setObjectName("PacksTable");
  table_->setModel(rows_);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::ExtendedSelection);
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSortingEnabled(true);
  table_->setAlternatingRowColors(true);
  table_->setWordWrap(false);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setStretchLastSection(true);

  const auto button = [&](QAction* action) {
    auto* tool = new QToolButton(pane);
    tool->setDefaultAction(action);
    tool->setToolButtonStyle(Qt::ToolButtonTextOnly);
    return tool;
  };
  const auto action = [&](const char* text, const char* name, void (PacksWindow::*slot)()) {
    auto* made = new QAction(text, this);
    made->setObjectName(name);
    connect(made, &QAction::triggered, this, slot);
    addAction(made);
    return made;
  };
  QAction* add = action("&New...", "PacksNew", &PacksWindow::NewPack);
  add->setShortcut(QKeySequence::New);
  edit_ = action("&Edit...", "PacksEdit", &PacksWindow::EditSelected);
  retire_ = action("Re&tire", "PacksRetire", &PacksWindow::RetireSelected);
  delete_ = action("&Delete", "PacksDelete", &PacksWindow::DeleteSelected);
  delete_->setShortcut(QKeySequence::Delete);
  delete_->setShortcutContext(Qt::WindowShortcut);

  auto* bar = new QHBoxLayout;
  for (QAction* command : {add, edit_, retire_, delete_}) {
    bar->addWidget(button(command));
  }
  bar->addStretch(1);
  bar->addWidget(show_retired_);
  auto* layout = new QVBoxLayout(pane);
  layout->setContentsMargins(6, 6, 6, 0);
  layout->addLayout(bar);
  layout->addWidget(note_);
  layout->addWidget(table_, 1);
  return pane;
}

void PacksWindow::BuildMenu() {
  QMenu* file = menuBar()->addMenu("&File");
  file->setObjectName("PacksMenuFile");
  QAction* report = file->addAction("Export Pack &Report (PDF)...");
  report->setObjectName("PacksMenuFileReport");
  connect(report, &QAction::triggered, this, &PacksWindow::ExportReportClick);
  file->addSeparator();
  QAction* close_window = file->addAction("&Close");
  close_window->setObjectName("PacksMenuFileClose");
  close_window->setShortcut(QKeySequence::Close);
  connect(close_window, &QAction::triggered, this, &QWidget::close);
  QMenu* pack = menuBar()->addMenu("&Pack");
  pack->setObjectName("PacksMenuPack");
  pack->addActions(actions());
}

PacksWindowSettings PacksWindow::CurrentSettings() const {
  PacksWindowSettings settings;
  settings.Width = width();
  settings.Height = height();
  const QList<int> sizes = splitter_->sizes();
  settings.SplitterSizes.assign(sizes.begin(), sizes.end());
  return settings;
}

void PacksWindow::closeEvent(QCloseEvent* event) {
  if (!saved_) {
    saved_ = true;
    try {
      settings_.SavePacksWindow(CurrentSettings());
    } catch (const std::exception& error) {
      // Nothing may hold up a closing window, least of all the main window's close.
      errors_ << error.what() << std::endl;
    }
  }
  event->accept();
}

bool PacksWindow::event(QEvent* event) {
  // Coming back from the Runs window or the logger: assignments may have changed meanwhile.
  if (event->type() == QEvent::WindowDeactivate) {
    stale_ = true;
  } else if (event->type() == QEvent::WindowActivate && stale_) {
    Reload();
  }
  return QMainWindow::event(event);
}

void PacksWindow::Reload() {
  std::vector<std::int64_t> selected;
  for (const record::PackFigures& figures : SelectedPacks()) {
    selected.push_back(figures.pack.id);
  }
  stale_ = false;
  const bool was_empty = packs_->rowCount() == 0;
  runs_of_.clear();
  std::error_code missing;
  if (store_path_.empty()) {
    packs_->Reset({});
    ShowNote("No recordings file: there is no home folder to keep it in.");
  } else if (!std::filesystem::exists(store_path_, missing)) {
    packs_->Reset({});
    ShowNote(QString("No packs yet: the New button adds one to %1.")
                 .arg(QString::fromStdString(store_path_)));
  } else {
    try {
      const record::Store store(store_path_, record::StoreAccess::kRead);
      const std::vector<record::Pack> packs = store.Packs();
      std::vector<record::RunSummary> runs = store.Runs();
      std::vector<record::PackFigures> figures = record::ComputeFigures(packs, runs);
      for (record::RunSummary& run : runs) {
        if (run.pack_id != 0) {
          runs_of_[run.pack_id].push_back(std::move(run));
        }
      }
      packs_->Reset(std::move(figures));
      ShowNote(packs.empty() ? "No packs yet: the New button adds one." : QString());
    } catch (const record::StoreError& error) {
      runs_of_.clear();
      packs_->Reset({});
      ShowNote(QString("The packs cannot be shown: %1").arg(error.what()));
    }
  }
  if (was_empty && packs_->rowCount() > 0) {
    // Widths the user set stay; only the first packs size the columns.
    table_->resizeColumnsToContents();
  }
  SelectPacks(selected);
  UpdateChart();
  UpdateActions();
}

void PacksWindow::ShowNote(const QString& text) {
  note_->setText(text);
  note_->setVisible(!text.isEmpty());
}

QString PacksWindow::Note() const {
  return note_->text();
}

std::vector<record::PackFigures> PacksWindow::SelectedPacks() const {
  const QModelIndexList selected = SelectedRowsInOrder(*table_);
  std::vector<record::PackFigures> packs;
  packs.reserve(static_cast<std::size_t>(selected.size()));
  for (const QModelIndex& index : selected) {
    packs.push_back(rows_->FiguresAt(index));
  }
  return packs;
}

void PacksWindow::SelectPacks(const std::vector<std::int64_t>& ids) {
  QModelIndexList shown;
  for (const std::int64_t id : ids) {
    if (const std::optional<int> row = packs_->RowOf(id)) {
      shown.append(rows_->mapFromSource(packs_->index(*row, 0)));
    }
  }
  SelectRows(*table_, shown);
}

void PacksWindow::UpdateChart() {
  const std::vector<record::PackFigures> selected = SelectedPacks();
  std::vector<record::RunSummary> runs;
  for (const record::PackFigures& figures : selected) {
    if (const auto found = runs_of_.find(figures.pack.id); found != runs_of_.end()) {
      runs.insert(runs.end(), found->second.begin(), found->second.end());
    }
  }
  chart_->SetPacks(selected, runs);
}

void PacksWindow::UpdateActions() {
  const std::vector<record::PackFigures> selected = SelectedPacks();
  const bool all_retired =
      !selected.empty() && std::all_of(selected.begin(), selected.end(),
                                       [](const auto& figures) { return figures.pack.retired; });
  edit_->setEnabled(selected.size() == 1);
  delete_->setEnabled(selected.size() == 1);
  retire_->setEnabled(!selected.empty());
  retire_->setText(all_retired ? "Re&activate" : "Re&tire");
  retire_->setToolTip(all_retired ? "Use the selected packs again"
                                  : "Keep the selected packs and their runs, hidden from the list");
}

void PacksWindow::Warn(const QString& text) {
  prompter_.Warn(this, windowTitle(), text);
}

}  // namespace korvane::ui
