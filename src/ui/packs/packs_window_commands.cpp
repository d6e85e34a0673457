// SPDX-License-Identifier: GPL-3.0-or-later
// The Packs window's commands: new, edit, retire, delete and the PDF report.

#include <QDate>
#include <QDateTime>
#include <QDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QStatusBar>
#include <algorithm>
#include <exception>
#include <string_view>

#include "korvane/fileio/atomic_file.h"
#include "korvane/record/store.h"
#include "korvane/ui/export_command.h"
#include "korvane/ui/prompter.h"
#include "packs/pack_dialog.h"
#include "packs/pack_report.h"
#include "packs/packs_table_model.h"
#include "packs/packs_window.h"

namespace korvane::ui {
namespace {

constexpr int kMessageMs = 5000;

QString Name(const record::PackFigures& figures) {
  return QString::fromStdString(figures.pack.name);
}

// "korvane-pack-<name>-<yyyyMMdd>.pdf" for one pack (its name reduced to letters, digits, '-'
// and '_'), "korvane-packs-<yyyyMMdd>.pdf" for several.
QString ReportFileName(const std::vector<PackReportPack>& packs) {
  const QString day = QDate::currentDate().toString("yyyyMMdd");
  if (packs.size() != 1) {
    return QString("korvane-packs-%1.pdf").arg(day);
  }
  QString name = QString::fromStdString(packs.front().figures.pack.name);
  for (QChar& c : name) {
    c = c.isLetterOrNumber() || c == '-' || c == '_' ? c : QChar('-');
  }
  return QString("korvane-pack-%1-%2.pdf").arg(name, day);
}

}  // namespace

std::string PacksWindow::Change(const std::function<void(record::Store&)>& change) {
  if (store_path_.empty()) {
    return "There is no recordings file to keep packs in.";
  }
  try {
    record::Store writer(store_path_);  // a missing file is made by its first pack
    change(writer);
  } catch (const record::PackError& refused) {
    return refused.what();
  } catch (const record::StoreError& error) {
    return std::string("The recordings file cannot be changed: ") + error.what();
  }
  Reload();
  return {};
}

void PacksWindow::NewPack() {
  record::Pack pack;
  pack.chemistry = record::Chemistries().front();
  std::int64_t added = 0;
  PackDialog dialog(
      pack,
      [&](const record::Pack& made) {
        return Change([&](record::Store& store) { added = store.AddPack(made); });
      },
      this);
  if (prompter_.Exec(dialog) == QDialog::Accepted && added != 0) {
    SelectPacks({added});
  }
}

void PacksWindow::EditSelected() {
  const std::vector<record::PackFigures> selected = SelectedPacks();
  if (selected.size() != 1) {
    return;
  }
  PackDialog dialog(
      selected.front().pack,
      [&](const record::Pack& edited) {
        return Change([&](record::Store& store) { store.EditPack(edited); });
      },
      this);
  prompter_.Exec(dialog);
}

void PacksWindow::SetRetired(const std::vector<record::PackFigures>& packs, bool retired) {
  const std::string failed = Change([&](record::Store& store) {
    for (const record::PackFigures& figures : packs) {
      record::Pack pack = figures.pack;
      pack.retired = retired;
      store.EditPack(pack);
    }
  });
  if (!failed.empty()) {
    Warn(QString("Unable to %1 the pack: %2")
             .arg(retired ? "retire" : "reactivate", QString::fromStdString(failed)));
  } else if (retired && !rows_->ShowRetired()) {
    statusBar()->showMessage(
        packs.size() == 1
            ? QString("%1 is retired; Show retired lists it again.").arg(Name(packs.front()))
            : QString("%1 packs are retired; Show retired lists them again.").arg(packs.size()),
        kMessageMs);
  }
}

void PacksWindow::RetireSelected() {
  const std::vector<record::PackFigures> selected = SelectedPacks();
  if (selected.empty()) {
    return;
  }
  const bool all_retired = std::all_of(selected.begin(), selected.end(),
                                       [](const auto& figures) { return figures.pack.retired; });
  SetRetired(selected, !all_retired);
}

void PacksWindow::DeleteSelected() {
  const std::vector<record::PackFigures> selected = SelectedPacks();
  if (selected.size() != 1) {
    return;
  }
  const record::PackFigures& figures = selected.front();
  if (figures.runs > 0) {
    const QString runs =
        figures.runs == 1 ? QString("1 run") : QString("%1 runs").arg(figures.runs);
    if (figures.pack.retired) {
      prompter_.Inform(this, windowTitle(),
                       QString("%1 cannot be deleted: %2 belong to it. It stays retired.")
                           .arg(Name(figures), runs));
    } else if (prompter_.Ask(this, windowTitle(),
                             QString("%1 cannot be deleted: %2 belong to it.\n\nRetire it "
                                     "instead? It keeps its runs and is listed only with Show "
                                     "retired.")
                                 .arg(Name(figures), runs)) == Answer::kYes) {
      SetRetired(selected, true);
    }
    return;
  }
  if (prompter_.Ask(this, windowTitle(),
                    QString("Delete the pack %1? This cannot be undone.").arg(Name(figures))) !=
      Answer::kYes) {
    return;
  }
  const std::string failed =
      Change([&](record::Store& store) { store.DeletePack(figures.pack.id); });
  if (!failed.empty()) {
    Warn(QString("Unable to delete %1: %2").arg(Name(figures), QString::fromStdString(failed)));
  }
}

std::vector<PackReportPack> PacksWindow::ReportPacks() const {
  std::vector<record::PackFigures> packs = SelectedPacks();
  if (packs.empty()) {
    for (int row = 0; row < rows_->rowCount(); ++row) {
      packs.push_back(rows_->FiguresAt(rows_->index(row, 0)));
    }
  }
  std::vector<PackReportPack> report;
  report.reserve(packs.size());
  for (record::PackFigures& figures : packs) {
    const auto found = runs_of_.find(figures.pack.id);
    report.push_back(
        {.figures = std::move(figures),
         .runs = found == runs_of_.end() ? std::vector<record::RunSummary>() : found->second});
  }
  return report;
}

bool PacksWindow::ExportReport(const QString& file) {
  const std::vector<PackReportPack> packs = ReportPacks();
  if (packs.empty()) {
    Warn("There is no pack to report on.");
    return false;
  }
  try {
    PackLifeChart chart;
    const QByteArray pdf = PackReportPdf(
        packs,
        [&chart](QPainter& painter, const QRect& area, const PackReportPack& pack) {
          chart.SetPacks({pack.figures}, pack.runs);
          chart.Render(painter, area);
        },
        QDateTime::currentMSecsSinceEpoch());
    fileio::WriteFileAtomically(
        file.toStdString(),
        std::string_view(pdf.constData(), static_cast<std::size_t>(pdf.size())));
  } catch (const std::exception& error) {
    Warn(QString("Unable to write the pack report to %1: %2").arg(file, error.what()));
    return false;
  }
  statusBar()->showMessage(
      packs.size() == 1
          ? QString("The report of %1 was written to %2.").arg(Name(packs.front().figures), file)
          : QString("The report of %1 packs was written to %2.").arg(packs.size()).arg(file),
      kMessageMs);
  return true;
}

void PacksWindow::ExportReportClick() {
  const std::vector<PackReportPack> packs = ReportPacks();
  if (packs.empty()) {
    Warn("There is no pack to report on.");
    return;
  }
  QFileDialog dialog(this, "Export pack report", ExportFolder(settings_.Export().Folder));
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("PDF files (*.pdf)");
  dialog.setDefaultSuffix("pdf");
  dialog.selectFile(ReportFileName(packs));
  if (prompter_.Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
    return;
  }
  const QString file = dialog.selectedFiles().constFirst();
  if (!ExportReport(file)) {
    return;
  }
  try {
    settings_.SaveExport({.Folder = QFileInfo(file).absolutePath().toStdString()});
  } catch (const std::exception& error) {
    // The report is written; only the folder is not remembered.
    errors_ << error.what() << std::endl;
  }
}

}  // namespace korvane::ui
