// SPDX-License-Identifier: GPL-3.0-or-later
// The Runs window's commands: delete, import (into a pack or none), and the run and plot exports.

#include <QByteArray>
#include <QComboBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fstream>
#include <functional>
#include <sstream>
#include <string_view>

#include "korvane/fileio/atomic_file.h"
#include "korvane/record/import_reader.h"
#include "korvane/record/run_files.h"
#include "korvane/record/store.h"
#include "korvane/ui/export_command.h"
#include "korvane/ui/prompter.h"
#include "runs/pack_chooser.h"
#include "runs/run_texts.h"
#include "runs/runs_plot_panel.h"
#include "runs/runs_table_model.h"
#include "runs/runs_window.h"

namespace korvane::ui {
namespace {

void WriteFile(const QString& file, std::string_view bytes) {
  fileio::WriteFileAtomically(file.toStdString(), bytes);
}

}  // namespace

std::optional<QString> RunsWindow::ChooseFile(const QString& title, const QString& filter,
                                              const QString& suffix, bool save) {
  QFileDialog dialog(this, title, ExportFolder(settings_.Export().Folder));
  dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  dialog.setNameFilter(filter);
  if (save) {
    dialog.setDefaultSuffix(suffix);
    // Named after the run exported, or the first run plotted.
    if (const std::vector<record::RunSummary> selected = SelectedRuns(); !selected.empty()) {
      dialog.selectFile(
          QString::fromStdString(RunFileName(selected.front(), suffix.toStdString())));
    }
  }
  if (prompter_.Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return std::nullopt;
  }
  return dialog.selectedFiles().constFirst();
}

void RunsWindow::RememberFolder(const QString& file) {
  try {
    settings_.SaveExport({.Folder = QFileInfo(file).absolutePath().toStdString()});
  } catch (const std::exception& error) {
    // The file is written; only the folder is not remembered.
    errors_ << error.what() << std::endl;
  }
}

void RunsWindow::DeleteSelected() {
  const std::vector<record::RunSummary> selected = SelectedRuns();
  if (selected.empty() || !store_) {
    return;
  }
  if (std::any_of(selected.begin(), selected.end(), [](const record::RunSummary& run) {
        return run.end_state == record::EndState::kInProgress;
      })) {
    Warn("A run in progress cannot be deleted.");
    return;
  }
  const QString question =
      selected.size() == 1 ? QString("Delete 1 run? This cannot be undone.")
                           : QString("Delete %1 runs? This cannot be undone.").arg(selected.size());
  if (prompter_.Ask(this, windowTitle(), question) != Answer::kYes) {
    return;
  }
  try {
    record::Store writer(store_path_);
    for (const record::RunSummary& run : selected) {
      writer.DeleteRun(run.id);
      runs_->Remove(run.id);
    }
  } catch (const record::StoreError& error) {
    Warn(QString("Unable to delete the run: %1").arg(error.what()));
  }
  UpdatePlot();
  UpdateActions();
}

bool RunsWindow::ExportSelectedRun(const QString& file) {
  const std::vector<record::RunSummary> selected = SelectedRuns();
  if (selected.size() != 1 || !store_) {
    Warn("Select one run to export.");
    return false;
  }
  try {
    std::ostringstream out;
    record::ExportRun(*store_, selected.front().id, out);
    WriteFile(file, out.view());
  } catch (const std::exception& error) {
    Warn(QString("Unable to export the run to %1: %2").arg(file, error.what()));
    return false;
  }
  statusBar()->showMessage(QString("The run was exported to %1.").arg(file), kMessageMs);
  return true;
}

bool RunsWindow::ImportRuns(const QString& file, std::int64_t pack_id) {
  if (store_path_.empty()) {
    Warn("There is no recordings file to import into.");
    return false;
  }
  record::ImportResult result;
  try {
    // The file is read whole first: one that cannot be read creates no store.
    std::ifstream in(file.toStdString(), std::ios::binary);
    if (!in) {
      throw std::runtime_error(std::strerror(errno));
    }
    const std::vector<model::S_HARDWARE_DATA> frames = record::ReadExport(in);
    if (frames.empty()) {
      statusBar()->showMessage(QString("Nothing new in %1: it has no frames.").arg(file),
                               kMessageMs);
      return true;
    }
    record::Store writer(store_path_);  // importing is what creates a missing store
    result = record::ImportFrames(writer, frames, pack_id);
  } catch (const std::exception& error) {
    Warn(QString("Unable to import %1: %2").arg(file, error.what()));
    return false;
  }
  if (result.frames == 0) {
    statusBar()->showMessage(QString("Nothing new in %1: all %2 frames are already in the "
                                     "recordings.")
                                 .arg(file)
                                 .arg(result.frames_existing),
                             kMessageMs);
    return true;
  }
  Refresh();
  std::vector<std::int64_t> ids;
  for (const record::RunSummary& run : result.runs) {
    ids.push_back(run.id);
  }
  RevealRuns(ids);
  SelectRuns(ids);
  const QString imported = result.frames_existing == 0
                               ? QString("Imported %1 frames and %2 runs from %3.")
                                     .arg(result.frames)
                                     .arg(result.runs.size())
                                     .arg(file)
                               : QString(
                                     "Imported %1 new frames (%2 already there) and %3 runs "
                                     "from %4.")
                                     .arg(result.frames)
                                     .arg(result.frames_existing)
                                     .arg(result.runs.size())
                                     .arg(file);
  statusBar()->showMessage(imported, kMessageMs);
  return true;
}

bool RunsWindow::ExportPlotPng(const QString& file) {
  return WritePlot(file, &RunsPlotPanel::PngBytes);
}

bool RunsWindow::ExportPlotSvg(const QString& file) {
  return WritePlot(file, &RunsPlotPanel::SvgBytes);
}

bool RunsWindow::WritePlot(const QString& file, QByteArray (RunsPlotPanel::*encode)() const) {
  try {
    const QByteArray bytes = (plot_->*encode)();
    WriteFile(file, std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
  } catch (const std::exception& error) {
    Warn(QString("Unable to write %1: %2").arg(file, error.what()));
    return false;
  }
  return true;
}

void RunsWindow::CopyPlot() {
  plot_->CopyToClipboard();
}

void RunsWindow::ExportSelectedRunClick() {
  const auto file =
      ChooseFile("Export run to file", "Tab separated values files (*.tsv)", "tsv", true);
  if (file && ExportSelectedRun(*file)) {
    RememberFolder(*file);
  }
}

void RunsWindow::ImportClick() {
  const auto file = ChooseFile("Import runs from file",
                               "Tab separated values files (*.tsv);;All files (*)", {}, false);
  if (!file) {
    return;
  }
  std::int64_t pack_id = 0;
  if (!packs_.empty()) {
    PackChooser chooser("Import runs", "The imported runs belong to:", packs_, true, this);
    if (prompter_.Exec(chooser) != QDialog::Accepted) {
      return;
    }
    pack_id = chooser.ChosenId();
  }
  if (ImportRuns(*file, pack_id)) {
    RememberFolder(*file);
  }
}

void RunsWindow::ExportPlotPngClick() {
  const auto file = ChooseFile("Export plot as PNG", "PNG images (*.png)", "png", true);
  if (file && ExportPlotPng(*file)) {
    RememberFolder(*file);
  }
}

void RunsWindow::ExportPlotSvgClick() {
  const auto file = ChooseFile("Export plot as SVG", "SVG images (*.svg)", "svg", true);
  if (file && ExportPlotSvg(*file)) {
    RememberFolder(*file);
  }
}

}  // namespace korvane::ui
