#pragma once

class QWidget;

namespace korvane::model {
class THardwareData;
}

namespace korvane::ui {

class Prompter;

// File > Export: asks for a .tsv file name, writes the history there under a busy cursor and
// reports the result. A cancelled dialog writes and reports nothing.
void ExportDataCommand(QWidget* owner, Prompter& prompter, model::THardwareData& data);

}  // namespace korvane::ui
