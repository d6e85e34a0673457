// SPDX-License-Identifier: GPL-3.0-or-later
#include "korvane/ui/prompter.h"

#include <QDialog>
#include <QMessageBox>

namespace korvane::ui {

Answer QtPrompter::Ask(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox box(QMessageBox::Question, caption, text,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, owner);
  box.setDefaultButton(QMessageBox::No);
  box.setEscapeButton(QMessageBox::Cancel);
  switch (box.exec()) {
    case QMessageBox::Yes:
      return Answer::kYes;
    case QMessageBox::No:
      return Answer::kNo;
    default:
      return Answer::kCancel;
  }
}

void QtPrompter::Inform(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::information(owner, caption, text, QMessageBox::Ok);
}

void QtPrompter::Warn(QWidget* owner, const QString& caption, const QString& text) {
  QMessageBox::warning(owner, caption, text, QMessageBox::Ok);
}

void QtPrompter::Tell(QWidget* owner, const QString& caption, const QString& text) {
  auto* box = new QMessageBox(QMessageBox::Information, caption, text, QMessageBox::Ok, owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setModal(false);
  box->show();
}

int QtPrompter::Exec(QDialog& dialog) {
  return dialog.exec();
}

}  // namespace korvane::ui
