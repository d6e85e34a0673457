// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/export_command.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <exception>

#include "korvane/model/hardware_data.h"
#include "korvane/ui/app_services.h"
#include "korvane/ui/prompter.h"
#include "korvane/ui/version.h"

namespace korvane::ui {
namespace {

// Restores the cursor however the export ends.
class BusyCursor {
 public:
  BusyCursor() { QApplication::setOverrideCursor(Qt::WaitCursor); }
  ~BusyCursor() { QApplication::restoreOverrideCursor(); }
  BusyCursor(const BusyCursor&) = delete;
  BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace

QString ExportFolder(const std::string& remembered_folder) {
  const QString remembered = QString::fromStdString(remembered_folder);
  return !remembered.isEmpty() && QFileInfo(remembered).isDir() ? remembered : QDir::homePath();
}

QString SuggestedExportPath(const std::string& remembered_folder, const QDateTime& now) {
  return QDir(ExportFolder(remembered_folder))
      .filePath(now.toString("'korvane-'yyyyMMdd-HHmmss'.tsv'"));
}

void ExportDataCommand(QWidget* owner, Prompter& prompter, model::THardwareData& data,
                       SettingsStorage& settings) {
  const QFileInfo suggested(
      SuggestedExportPath(settings.Export().Folder, QDateTime::currentDateTime()));
  QFileDialog dialog(owner, "Export data to file", suggested.absolutePath());
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setNameFilter("Tab separated values files (*.tsv)");
  dialog.setDefaultSuffix("tsv");
  dialog.setOption(QFileDialog::DontConfirmOverwrite, false);
  dialog.setOption(QFileDialog::ReadOnly, false);
  dialog.setSizeGripEnabled(true);
  dialog.selectFile(suggested.fileName());
  QString file;
  for (;;) {
    if (prompter.Exec(dialog) != QDialog::Accepted || dialog.selectedFiles().isEmpty()) {
      return;
    }
    file = dialog.selectedFiles().constFirst();
    // The path must exist: a name in a missing folder goes back to the dialog, as it stands,
    // rather than failing after the dialog has gone.
    const QFileInfo chosen(file);
    if (chosen.absoluteDir().exists()) {
      break;
    }
    prompter.Warn(owner, dialog.windowTitle(),
                  QString("%1\nThe folder does not exist.\nPlease choose an existing folder.")
                      .arg(QDir::toNativeSeparators(chosen.absolutePath())));
  }

  QString failure;
  bool ok = false;
  {
    BusyCursor busy;
    try {
      data.ExportData(file.toStdString());
      ok = true;
    } catch (const std::exception& e) {
      failure = QString::fromStdString(e.what());
    } catch (...) {
      failure = "unknown error";
    }
  }
  if (ok) {
    try {
      settings.SaveExport({.Folder = QFileInfo(file).absolutePath().toStdString()});
    } catch (const std::exception&) {
      // The export itself is done; a settings file that cannot be written is reported when the
      // window saves its settings at close.
    }
    prompter.Inform(owner, kApplicationTitle, "Data successfully exported.");
  } else {
    prompter.Warn(owner, kApplicationTitle, "Unable to export data. Exception: " + failure + ".");
  }
}

}  // namespace korvane::ui
