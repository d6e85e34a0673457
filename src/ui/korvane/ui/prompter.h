// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

class QDialog;
class QWidget;

namespace korvane::ui {

enum class Answer { kYes, kNo, kCancel };

// Every message box and modal dialog the window shows goes through here, so tests can answer
// them without a user.
class Prompter {
 public:
  virtual ~Prompter() = default;

  // A question box with Yes, No and Cancel; No is the default, dismissing it answers Cancel.
  virtual Answer Ask(QWidget* owner, const QString& caption, const QString& text) = 0;
  // Message boxes with an OK button and an information or a warning icon.
  virtual void Inform(QWidget* owner, const QString& caption, const QString& text) = 0;
  virtual void Warn(QWidget* owner, const QString& caption, const QString& text) = 0;
  // An information box with an OK button that holds nothing up: it returns at once and the box
  // goes away when dismissed.
  virtual void Tell(QWidget* owner, const QString& caption, const QString& text) = 0;
  // Shows a prepared dialog modally and returns its result (QDialog::Accepted for OK).
  virtual int Exec(QDialog& dialog) = 0;
};

// The real boxes and dialogs.
class QtPrompter final : public Prompter {
 public:
  Answer Ask(QWidget* owner, const QString& caption, const QString& text) override;
  void Inform(QWidget* owner, const QString& caption, const QString& text) override;
  void Warn(QWidget* owner, const QString& caption, const QString& text) override;
  void Tell(QWidget* owner, const QString& caption, const QString& text) override;
  int Exec(QDialog& dialog) override;
};

}  // namespace korvane::ui
