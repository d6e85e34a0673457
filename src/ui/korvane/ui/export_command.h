// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <string>

class QDateTime;
class QWidget;

namespace korvane::model {
class THardwareData;
}

namespace korvane::ui {

class Prompter;
class SettingsStorage;

// The folder the file dialogs open in: the remembered one while it is a folder, else the home
// folder.
QString ExportFolder(const std::string& remembered_folder);

// The file name the export dialog offers: "korvane-<yyyyMMdd>-<HHmmss>.tsv" of `now` in the
// remembered folder, or in the home folder when none is remembered or it is no folder any more.
QString SuggestedExportPath(const std::string& remembered_folder, const QDateTime& now);

// File > Export: asks for a .tsv file name (suggesting one, see above), writes the history there
// under a busy cursor and reports the result. A successful export remembers its folder in
// `settings`. A cancelled dialog writes and reports nothing.
void ExportDataCommand(QWidget* owner, Prompter& prompter, model::THardwareData& data,
                       SettingsStorage& settings);

}  // namespace korvane::ui
