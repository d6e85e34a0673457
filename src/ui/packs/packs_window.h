// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <unordered_map>
#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"
#include "korvane/ui/app_services.h"
#include "packs/pack_life_chart.h"

class QAction;
class QCheckBox;
class QLabel;
class QSplitter;
class QTableView;

namespace korvane::record {
class Store;
}

namespace korvane::ui {

class Prompter;
class PacksFilterModel;
class PacksTableModel;
struct PackReportPack;

// "Packs - Korvane Connect": the packs of one recordings file with their figures (retired ones
// only when asked for), the life chart of the selected packs, and the commands to add, edit,
// retire, reactivate and delete packs and to export a PDF report.
// Everything runs on the UI thread. The window reads the file read-only and opens it for writing
// only to change a pack; it reads the packs and runs again after each change and whenever it is
// activated (runs assigned in the Runs window or by the logger show up when the user comes
// back). A pack operation refused by the store (a duplicate name, a pack with runs) is shown in
// the pack dialog or a box and changes nothing.
class PacksWindow final : public QMainWindow {
  Q_OBJECT

 public:
  // `errors` receives what must not hold anything up (a failed save of the window's settings).
  PacksWindow(std::string store_path, SettingsStorage& settings, Prompter& prompter,
              std::ostream& errors, QWidget* parent = nullptr);
  ~PacksWindow() override;

  // Reads the packs and their runs again, keeping the selection.
  void Reload();

  // The commands; each asks or reports through the prompter.
  void NewPack();
  void EditSelected();
  // Retires the selected packs, or reactivates them when all are retired.
  void RetireSelected();
  // Asks first; a pack with runs is offered retirement instead.
  void DeleteSelected();
  // The report of the selected packs (none selected: every pack shown) into `file`; false after
  // a box said why not.
  bool ExportReport(const QString& file);

  // Selects the packs of these ids that the table shows (and nothing else).
  void SelectPacks(const std::vector<std::int64_t>& ids);
  std::vector<record::PackFigures> SelectedPacks() const;

  QTableView* Table() const { return table_; }
  const PacksFilterModel& Rows() const { return *rows_; }
  QCheckBox* ShowRetiredBox() const { return show_retired_; }
  PackLifeChart& Chart() const { return *chart_; }
  QAction* RetireAction() const { return retire_; }
  // The note above the table (no file yet, why it cannot be read); empty while packs are shown.
  QString Note() const;
  PacksWindowSettings CurrentSettings() const;

 signals:
  // A point of the life chart was double-clicked: the Runs window should show the run.
  void ShowRunRequested(qint64 run_id);

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool event(QEvent* event) override;

 private:
  QWidget* BuildTablePane();
  void BuildMenu();
  void ShowNote(const QString& text);
  void UpdateChart();
  void UpdateActions();
  // Opens the file for writing (creating it when missing), runs `change`, reads everything
  // again; "" or why it failed (a refusal's own text).
  std::string Change(const std::function<void(record::Store&)>& change);
  void SetRetired(const std::vector<record::PackFigures>& packs, bool retired);
  std::vector<PackReportPack> ReportPacks() const;
  void ExportReportClick();
  void Warn(const QString& text);

  const std::string store_path_;
  SettingsStorage& settings_;
  Prompter& prompter_;
  std::ostream& errors_;
  // The runs of each pack, oldest first.
  std::unordered_map<std::int64_t, std::vector<record::RunSummary>> runs_of_;

  PacksTableModel* packs_ = nullptr;
  PacksFilterModel* rows_ = nullptr;
  QTableView* table_ = nullptr;
  QLabel* note_ = nullptr;
  QCheckBox* show_retired_ = nullptr;
  QSplitter* splitter_ = nullptr;
  PackLifeChart* chart_ = nullptr;
  QAction* edit_ = nullptr;
  QAction* retire_ = nullptr;
  QAction* delete_ = nullptr;
  bool stale_ = false;  // deactivated since the last reload
  bool saved_ = false;
};

}  // namespace korvane::ui
