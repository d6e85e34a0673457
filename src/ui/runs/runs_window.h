// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "korvane/chart/review_plot.h"

#include <QByteArray>
#include <QMainWindow>
#include <QString>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "korvane/record/packs.h"
#include "korvane/record/run.h"
#include "korvane/ui/app_services.h"
#include "runs/channel_pack_bar.h"

class QAction;
class QComboBox;
class QLabel;
class QSplitter;
class QStackedWidget;
class QTableView;
class QTimer;

namespace korvane::record {
class Store;
}

namespace korvane::ui {

class Prompter;
class RunsFilterModel;
class RunsPlotPanel;
class RunsTableModel;

// "Runs - Korvane Connect": the runs of one recordings file, newest first, with a channel and a
// pack filter, and the selected runs plotted aligned at their starts. A bar above the table
// shows and sets the pack chosen for each channel (kept in the file, so korvane-log follows it
// too); selected runs can be given to a pack or to none. Once a second it reads the runs
// begun since and those still in progress, so a run being recorded grows and shows its end.
// Runs can be deleted, exported as TSV and imported; the plot saved as PNG or SVG or copied. The
// file dialogs open in the folder of the last export (the settings' EXPORT section, shared with
// File > Export Data), offering a name after the run.
// Everything runs on the UI thread. A missing file is not created until something is imported.
// The window reads the file read-only (a file the user may only read is shown too) and opens it
// for writing only to delete, import or assign runs and to choose a channel's pack. A file replaced
// at the path (moved aside as damaged and started anew, deleted) is opened again at the next
// refresh.
class RunsWindow final : public QMainWindow {
  Q_OBJECT

 public:
  static constexpr int kRefreshMs = 1000;
  // Selecting more runs plots the first ones only, so a select-all stays quick.
  static constexpr int kMaxPlottedRuns = 16;

  // `errors` receives what must not hold anything up (a failed save of the window's settings).
  RunsWindow(std::string store_path, SettingsStorage& settings, Prompter& prompter,
             std::ostream& errors, QWidget* parent = nullptr);
  ~RunsWindow() override;

  // The menu's commands once a file is chosen; each reports a failure in a box and returns
  // false.
  bool ExportSelectedRun(const QString& file);
  // The imported runs belong to the pack `pack_id` (0: none).
  bool ImportRuns(const QString& file, std::int64_t pack_id = 0);
  bool ExportPlotPng(const QString& file);
  bool ExportPlotSvg(const QString& file);
  void CopyPlot();
  // Asks first; runs in progress are never deleted.
  void DeleteSelected();
  // What the timer does: reads new runs and those still in progress, and the packs and each
  // channel's choice.
  void Refresh();

  // Shows and raises the window with the run selected and plotted, clearing a filter that hides
  // it; a run not in the file is said so in the status bar.
  void ShowRun(std::int64_t run_id);
  // The selected runs (one in progress too) then belong to the pack (0: none); a refusal is
  // shown in a box. Returns whether the file took it.
  bool AssignSelected(std::int64_t pack_id);
  // Keeps the pack (0: none) chosen for channel 1 or 2 in the file. When the file cannot be
  // written the bar goes back to the file's choice and the status bar says why.
  bool ChoosePack(int channel, std::int64_t pack_id);

  // Selects the runs of these ids that the filter shows (and nothing else).
  void SelectRuns(const std::vector<std::int64_t>& ids);
  std::vector<record::RunSummary> SelectedRuns() const;

  QTableView* Table() const { return table_; }
  const RunsFilterModel& Rows() const { return *rows_; }
  RunsPlotPanel& PlotPanel() const { return *plot_; }
  QComboBox* ChannelFilter() const { return filter_; }
  QComboBox* PackFilter() const { return pack_filter_; }
  ChannelPackBar& PackBar() const { return *pack_bar_; }
  QSplitter* Splitter() const { return splitter_; }
  QAction* DeleteAction() const { return delete_; }
  QAction* AssignAction() const { return assign_; }
  QAction* NoPackAction() const { return no_pack_; }
  // The note above the table ("No recordings yet: <path>", why the file cannot be opened); empty
  // when the runs are shown.
  QString Note() const;
  RunsWindowSettings CurrentSettings() const;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  // The plotted frames of a run, kept while it is selected so a run in progress only reads its
  // new frames.
  struct PlottedRun {
    record::RunSummary run;
    chart::ReviewRun review;
  };

  static constexpr int kMessageMs = 5000;

  void BuildMenu();
  QWidget* BuildTablePane();
  void BuildPackActions();
  // Export, assign and delete on the table's rows; after BuildMenu.
  void BuildContextMenu();
  // Reads the packs and the channels' choice; what shows them follows when they changed.
  void ReadPacks();
  void ShowPackFilter();
  // Clears the filters that hide any of these runs.
  void RevealRuns(const std::vector<std::int64_t>& ids);
  void ApplySettings(const RunsWindowSettings& settings);
  bool OpenStore();
  void ShowNote(const QString& text);
  void UpdateEmptyHint();
  // Whether the file at the path is still the one `store_` reads.
  bool SameFile() const;
  void UpdatePlot();
  void UpdateActions();
  void Warn(const QString& text);
  bool WritePlot(const QString& file, QByteArray (RunsPlotPanel::*encode)() const);
  std::optional<QString> ChooseFile(const QString& title, const QString& filter,
                                    const QString& suffix, bool save);
  void RememberFolder(const QString& file);
  void ExportSelectedRunClick();
  void ImportClick();
  void AssignClick();
  void ExportPlotPngClick();
  void ExportPlotSvgClick();

  const std::string store_path_;
  SettingsStorage& settings_;
  Prompter& prompter_;
  std::ostream& errors_;
  std::unique_ptr<record::Store> store_;
  std::int64_t newest_id_ = 0;
  // The device and inode of the file `store_` reads.
  std::optional<std::pair<std::uint64_t, std::uint64_t>> file_id_;
  std::map<std::int64_t, PlottedRun> plotted_;
  std::vector<record::Pack> packs_;  // as last read, by name
  ChannelPackBar::Choice chosen_{};

  RunsTableModel* runs_ = nullptr;
  RunsFilterModel* rows_ = nullptr;
  QTableView* table_ = nullptr;
  QStackedWidget* table_place_ = nullptr;
  QLabel* empty_ = nullptr;  // how runs get here, in the table's place while there are none
  QLabel* note_ = nullptr;
  QComboBox* filter_ = nullptr;
  QComboBox* pack_filter_ = nullptr;
  ChannelPackBar* pack_bar_ = nullptr;
  QSplitter* splitter_ = nullptr;
  RunsPlotPanel* plot_ = nullptr;
  QAction* delete_ = nullptr;
  QAction* assign_ = nullptr;
  QAction* no_pack_ = nullptr;
  QAction* export_run_ = nullptr;
  std::vector<QAction*> plot_actions_;
  QTimer* timer_ = nullptr;
  bool capped_ = false;  // the status bar says that not every selected run is plotted
  bool saved_ = false;
};

}  // namespace korvane::ui
