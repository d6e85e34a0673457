// SPDX-License-Identifier: GPL-3.0-or-later
#include "packs/pack_dialog.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QSpinBox>
#include <QVBoxLayout>

#include "korvane/ui/screen_fit.h"

namespace korvane::ui {
namespace {

constexpr int kMaxRatedMah = 1'000'000;

}  // namespace

PackDialog::PackDialog(const record::Pack& pack, StoreCall store, QWidget* parent)
    : QDialog(parent), edited_(pack), store_(std::move(store)) {
  setObjectName("PackDialog");
  setWindowTitle(pack.id == 0 ? "New Pack" : "Edit Pack");
  name_ = new QLineEdit(QString::fromStdString(pack.name), this);
  name_->setObjectName("PackName");
  chemistry_ = new QComboBox(this);
  chemistry_->setObjectName("PackChemistry");
  chemistry_->setEditable(true);
  chemistry_->setInsertPolicy(QComboBox::NoInsert);
  for (const std::string& chemistry : record::Chemistries()) {
    chemistry_->addItem(QString::fromStdString(chemistry));
  }
  chemistry_->setCurrentText(QString::fromStdString(pack.chemistry));
  cells_ = new QSpinBox(this);
  cells_->setObjectName("PackCells");
  cells_->setRange(1, record::kMaxPackCells);
  cells_->setValue(pack.cells);
  cells_->setSuffix(" S");
  rated_ = new QSpinBox(this);
  rated_->setObjectName("PackRated");
  // 0 reads as blank, so a new pack asks for its capacity instead of offering a guess.
  rated_->setRange(0, kMaxRatedMah);
  rated_->setSpecialValueText(" ");
  rated_->setSuffix(" mAh");
  rated_->setGroupSeparatorShown(true);
  rated_->setValue(pack.rated_mah);
  note_ = new QPlainTextEdit(QString::fromStdString(pack.note), this);
  note_->setObjectName("PackNote");
  note_->setTabChangesFocus(true);
  note_->setFixedHeight(note_->fontMetrics().lineSpacing() * 4);
  problem_ = new QLabel(this);
  problem_->setObjectName("PackProblem");
  problem_->setWordWrap(true);
  problem_->setStyleSheet("color: #b00020;");
  problem_->hide();

  auto* form = new QFormLayout;
  form->addRow("&Name:", name_);
  form->addRow("&Chemistry:", chemistry_);
  form->addRow("Cells in &series:", cells_);
  form->addRow("&Rated capacity:", rated_);
  form->addRow("N&ote:", note_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &PackDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(form);
  layout->addWidget(problem_);
  layout->addWidget(buttons);
  setMinimumWidth(360);
  adjustSize();
  FitDialogOnScreen(*this);
}

record::Pack PackDialog::Pack() const {
  record::Pack pack = edited_;
  pack.name = name_->text().toStdString();
  pack.chemistry = chemistry_->currentText().trimmed().toStdString();
  pack.cells = cells_->value();
  pack.rated_mah = rated_->value();
  pack.note = note_->toPlainText().toStdString();
  return pack;
}

QString PackDialog::Problem() const {
  return problem_->text();
}

void PackDialog::accept() {
  const record::Pack pack = Pack();
  std::string problem = record::PackProblem(pack);
  if (problem.empty()) {
    problem = store_(pack);
  }
  if (!problem.empty()) {
    ShowProblem(problem);
    return;
  }
  QDialog::accept();
}

void PackDialog::ShowProblem(const std::string& problem) {
  problem_->setText(QString::fromStdString(problem));
  problem_->show();
  adjustSize();
  name_->setFocus();
}

}  // namespace korvane::ui
