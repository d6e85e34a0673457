// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QDialog>
#include <functional>
#include <string>

#include "korvane/record/packs.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace korvane::ui {

// New Pack and Edit Pack: name, chemistry (the offered ones or any text), cells, rated capacity
// and note. OK first checks the pack (PackProblem), then hands it to `store`, which stores it
// and returns "" or why it could not (a duplicate name, an unwritable file). A refusal is shown
// in the dialog, which stays open with everything typed; only a stored pack closes it.
class PackDialog final : public QDialog {
  Q_OBJECT

 public:
  using StoreCall = std::function<std::string(const record::Pack&)>;

  // `pack` is the one edited (id 0: a new one; its other fields are the starting values).
  PackDialog(const record::Pack& pack, StoreCall store, QWidget* parent = nullptr);

  // The pack as the fields say now (with the edited pack's id and retired flag).
  record::Pack Pack() const;
  // The last refusal; empty while there is none.
  QString Problem() const;

  QLineEdit* NameEdit() const { return name_; }
  QComboBox* ChemistryBox() const { return chemistry_; }
  QSpinBox* CellsBox() const { return cells_; }
  QSpinBox* RatedBox() const { return rated_; }

  void accept() override;

 private:
  void ShowProblem(const std::string& problem);

  const record::Pack edited_;
  StoreCall store_;
  QLineEdit* name_ = nullptr;
  QComboBox* chemistry_ = nullptr;
  QSpinBox* cells_ = nullptr;
  QSpinBox* rated_ = nullptr;
  QPlainTextEdit* note_ = nullptr;
  QLabel* problem_ = nullptr;
};

}  // namespace korvane::ui
