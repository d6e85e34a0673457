// SPDX-License-Identifier: GPL-3.0-or-later
#include "runs/pack_chooser.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QVBoxLayout>

namespace korvane::ui {

PackChooser::PackChooser(const QString& title, const QString& text,
                         const std::vector<record::Pack>& packs, bool offer_none, QWidget* parent)
    : QDialog(parent) {
  setObjectName("PackChooser");
  setWindowTitle(title);
  combo_ = new QComboBox(this);
  combo_->setObjectName("PackChooserCombo");
  combo_->setMinimumContentsLength(24);
  if (offer_none) {
    combo_->addItem("No pack", QVariant::fromValue<qlonglong>(0));
  }
  for (const bool retired : {false, true}) {
    for (const record::Pack& pack : packs) {
      if (pack.retired == retired) {
        const QString name = QString::fromStdString(pack.name);
        combo_->addItem(retired ? name + " (retired)" : name,
                        QVariant::fromValue<qlonglong>(pack.id));
      }
    }
  }
  auto* label = new QLabel(text, this);
  label->setBuddy(combo_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(label);
  layout->addWidget(combo_);
  layout->addWidget(buttons);
}

std::int64_t PackChooser::ChosenId() const {
  return combo_->currentData().toLongLong();
}

}  // namespace korvane::ui
